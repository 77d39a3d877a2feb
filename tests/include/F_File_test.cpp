#include "include/F_File.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "include/F_WordReader.h"
#include "support/TestSupport.h"

TEST(F_InputFile, StepsBackAcrossTheBufferBoundary) {
  // Put words and NewLines on both sides of the reader's block and make a
  // NewLine that ends a word the first byte of the next fill.
  TempDir dir;
  const std::size_t chunk = F_InputFile::kBlockSize;
  for (std::size_t pad : {chunk - 3, chunk - 2, chunk - 1, chunk, chunk + 1}) {
    SCOPED_TRACE(pad);
    std::string bytes(pad, ' ');
    bytes += "ab\ncd\n";
    const std::string path = dir.path("edge.s3d");
    writeFileBytes(path, bytes);
    auto file = F_InputFile::open(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), bytes.size());
    RecordingUi ui;
    F_Word w;
    readWord(*file, w);
    EXPECT_EQ(w.str(), "ab");
    EXPECT_EQ(file->lineNumber(), 1);
    readWord(*file, w);
    EXPECT_EQ(w.str(), "cd");
    EXPECT_EQ(file->lineNumber(), 2);
    skipRestOfLine(*file);
    EXPECT_EQ(file->lineNumber(), 3);
    EXPECT_EQ(file->get(), F_InputFile::kEof);
    EXPECT_EQ(file->remaining(), 0u);
  }
}

// The block after a whole one is read ahead on another thread: every byte
// still comes in order, with one step back across each boundary, a rewind
// starts again from the first, and a file that changes while it is read is
// read as it stood when each block was read.
TEST(F_InputFile, ReadsBlocksAheadInOrder) {
  TempDir dir;
  const std::size_t block = F_InputFile::kBlockSize;
  std::mt19937 random(7);
  for (std::size_t size : {block - 1, block, block + 1, 2 * block, 2 * block + 1, 3 * block + 5}) {
    SCOPED_TRACE(size);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string path = dir.path("blocks.bin");
    writeFileBytes(path, bytes);
    auto file = F_InputFile::open(path);
    ASSERT_TRUE(file);
    for (int pass = 0; pass < 2; ++pass) {
      std::string read;
      std::size_t stepsBack = 0;
      for (int c; (c = file->get()) != F_InputFile::kEof;) {
        read += static_cast<char>(c);
        if (read.size() % block == 0) {  // the last byte of a block: step back over it
          file->unget();
          EXPECT_EQ(file->get(), c);
          ++stepsBack;
        }
      }
      EXPECT_EQ(read == bytes, true);
      EXPECT_EQ(stepsBack, size / block);
      EXPECT_EQ(file->remaining(), 0u);
      // Again from the first byte, also after only part of the file.
      ASSERT_TRUE(file->rewind());
      char head[16];
      ASSERT_EQ(file->read(head, sizeof head), sizeof head);
      EXPECT_EQ(std::string(head, sizeof head), bytes.substr(0, sizeof head));
      ASSERT_TRUE(file->rewind());
    }
  }

  // Cut short after the first block was read, its successor perhaps being
  // read ahead at that moment: the read ends cleanly, never in a fault, with
  // the ten bytes that stay and at most the block read ahead (whose pages the
  // cut may empty while they are copied).
  const std::string path = dir.path("changing.bin");
  writeFileBytes(path, std::string(3 * block, 'a'));
  auto file = F_InputFile::open(path);
  ASSERT_TRUE(file);
  std::string first(block, '\0');
  ASSERT_EQ(file->read(first.data(), block), block);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(block + 10)), 0);
  std::string rest;
  for (int c; (c = file->get()) != F_InputFile::kEof;) rest += static_cast<char>(c);
  EXPECT_GE(rest.size(), 10u);
  EXPECT_LE(rest.size(), block);
  EXPECT_EQ(rest.substr(0, 10), std::string(10, 'a'));
  EXPECT_EQ(rest.find_first_not_of(std::string("a\0", 2)), std::string::npos);
}

// Stretches read in place, by several threads at once, hold the file's bytes;
// after a seek the stream goes on from there, in or beyond its buffer.
TEST(F_InputFile, ReadsInPlaceAndGoesOnFromAnyOffset) {
  TempDir dir;
  const std::size_t block = F_InputFile::kBlockSize;
  std::string bytes(2 * block + 7, '\0');
  std::mt19937 random(11);
  for (char& c : bytes) c = static_cast<char>(random());
  const std::string path = dir.path("places.bin");
  writeFileBytes(path, bytes);
  for (bool onDisk : {true, false}) {
    SCOPED_TRACE(onDisk);
    auto file = onDisk ? F_InputFile::open(path) : F_InputFile::fromMemory(bytes);
    ASSERT_TRUE(file);
    std::string halves[2];
    std::thread other([&] {
      halves[1].resize(block + 100);
      halves[1].resize(file->readAt(block, halves[1].data(), halves[1].size()));
    });
    halves[0].resize(block);
    halves[0].resize(file->readAt(0, halves[0].data(), block));
    other.join();
    EXPECT_TRUE(halves[0] + halves[1] == bytes);  // the second stretch ends with the file
    char c;
    EXPECT_EQ(file->readAt(bytes.size(), &c, 1), 0u);
    ASSERT_NE(file->get(), F_InputFile::kEof);  // a first block buffered
    for (std::uint64_t at : {std::uint64_t{5}, std::uint64_t{block}, std::uint64_t{0}, std::uint64_t{block + 1},
                             std::uint64_t{bytes.size() - 1}, std::uint64_t{2}}) {
      SCOPED_TRACE(at);
      file->seek(at);
      EXPECT_EQ(file->offset(), at);
      EXPECT_EQ(file->remaining(), bytes.size() - at);
      EXPECT_EQ(file->get(), static_cast<unsigned char>(bytes[at]));
    }
    file->seek(bytes.size());
    EXPECT_EQ(file->get(), F_InputFile::kEof);
  }
}

TEST(F_InputFile, NamesTheFileAndCountsWhatIsLeft) {
  TempDir dir;
  const std::string path = dir.path("m.s3d");
  writeFileBytes(path, "abc");
  auto file = F_InputFile::open(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->name(), "m.s3d");
  EXPECT_EQ(file->path(), path);
  EXPECT_EQ(file->remaining(), 3u);
  EXPECT_EQ(file->get(), 'a');
  EXPECT_EQ(file->remaining(), 2u);
  file->unget();
  EXPECT_EQ(file->get(), 'a');
  char rest[8];
  EXPECT_EQ(file->read(rest, sizeof rest), 2u);
  EXPECT_EQ(file->get(), F_InputFile::kEof);

  EXPECT_FALSE(F_InputFile::open(dir.path("missing.s3d")));
}

TEST(F_InputFile, OpensRegularFilesOnlyAndNeverWaits) {
  // A FIFO without a writer would block an ordinary open forever; a device
  // never ends. A link to a regular file is that file.
  TempDir dir;
  writeFileBytes(dir.path("m.s3d"), "abc");
  ASSERT_EQ(mkfifo(dir.path("fifo.s3d").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.path("m.s3d"), dir.path("link.s3d"));
  std::filesystem::create_symlink(dir.path("fifo.s3d"), dir.path("fifolink.s3d"));
  const struct {
    std::string path;
    bool opens;
  } rows[] = {{dir.path("m.s3d"), true},        {dir.path("link.s3d"), true},   {dir.path("fifo.s3d"), false},
              {dir.path("fifolink.s3d"), false}, {dir.dir().string(), false},    {"/dev/zero", false},
              {"/dev/null", false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.path);
    auto file = F_InputFile::open(r.path);
    EXPECT_EQ(file != nullptr, r.opens);
    if (file) {
      EXPECT_EQ(file->get(), 'a');  // blocking reads again once open
    }
  }
}

TEST(F_OutputFile, TextModeStoresCarriageReturnNewLine) {
  auto text = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
  text->write("a\nb\n");
  text->close();
  EXPECT_EQ(text->bytes(), "a\r\nb\r\n");
  auto raw = F_OutputFile::inMemory(F_OutputFile::Mode::Binary);
  raw->write("a\nb\n");
  raw->close();
  EXPECT_EQ(raw->bytes(), "a\nb\n");
}

// The writers use their own number formatting in place of printf; it must give
// printf's bytes for every value, including the awkward ones.
TEST(F_OutputFile, NumberFieldsMatchPrintf) {
  std::vector<double> reals = {0.0,       -0.0,      1.0,        -2.0,        0.5,         0.125,
                               0.000000005, 0.000000015, -0.000000005, 2.675e-8, 1e-300,   123456789.123456789,
                               -98765.4321, 1e15,     1e22,       1.7976931348623157e308, -1e-9, 0.1};
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> uniform(-1000.0, 1000.0);
  for (int i = 0; i < 2000; ++i) reals.push_back(uniform(rng));
  for (int i = 0; i < 200; ++i) reals.push_back(std::ldexp(uniform(rng), -40 + i / 4));
  for (double v : reals) {
    SCOPED_TRACE(v);
    auto f = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
    f->writeFixed(v, 15, 8);
    f->close();
    char expected[400];
    std::snprintf(expected, sizeof expected, "%15.8lf", v);
    EXPECT_EQ(f->bytes(), expected);
  }
  for (int v : {0, 1, -1, 9999999, 99999999, 100000000, -9999999, -10000000, 2147483647, -2147483647 - 1}) {
    SCOPED_TRACE(v);
    auto f = F_OutputFile::inMemory(F_OutputFile::Mode::Text);
    f->writeInt(v, 8);
    f->close();
    char expected[32];
    std::snprintf(expected, sizeof expected, "%8d", v);
    EXPECT_EQ(f->bytes(), expected);
  }
}

TEST(F_OutputFile, ReportsAFailedWrite) {
  auto full = F_OutputFile::create("/dev/full", F_OutputFile::Mode::Text);
  if (!full) GTEST_SKIP() << "no /dev/full";
  full->write(std::string(3 << 20, 'x'));
  EXPECT_FALSE(full->close());
}

TEST(F_OutputFile, OnlyAClosedFileReplacesTheTarget) {
  TempDir dir;
  const std::string target = dir.path("t.txt");
  writeFileBytes(target, "old");
  {
    auto file = F_OutputFile::create(target, F_OutputFile::Mode::Binary);
    ASSERT_NE(file, nullptr);
    file->write("new");
    EXPECT_EQ(readFileBytes(target), "old");  // nothing reaches the target before close
  }  // dropped without close: the half-written file is thrown away
  EXPECT_EQ(readFileBytes(target), "old");
  auto file = F_OutputFile::create(target, F_OutputFile::Mode::Binary);
  file->write("new");
  ASSERT_TRUE(file->close());
  EXPECT_EQ(readFileBytes(target), "new");
  // The replacement keeps the permissions of the file it replaced.
  chmod(target.c_str(), 0640);
  auto again = F_OutputFile::create(target, F_OutputFile::Mode::Binary);
  ASSERT_TRUE(again->close());
  struct stat st {};
  stat(target.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(F_OutputFile, ADeviceIsWrittenInPlace) {
  auto file = F_OutputFile::create("/dev/null", F_OutputFile::Mode::Binary);
  ASSERT_NE(file, nullptr);
  file->write("gone");
  EXPECT_TRUE(file->close());
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}
