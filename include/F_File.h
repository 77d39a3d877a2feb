#pragma once
// Buffered byte streams for the readers and writers. Input is raw bytes with a
// one-byte step back; output is either raw or text (each NewLine stored as
// CarriageReturn NewLine). Both also work on memory, so tests round-trip
// without touching the disk.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The last component of a path.
std::string fileNameOf(std::string_view path);
// The absolute form of a path (without resolving links).
std::string absolutePathOf(std::string_view path);

class F_InputFile {
 public:
  static constexpr int kEof = -1;
  // A file on disk is read in blocks of this many bytes. Large enough that
  // the record readers, which cut each block among the threads, meet rarely
  // (on a busy machine every meeting waits for the slowest thread).
  static constexpr std::size_t kBlockSize = std::size_t{1} << 22;
  // The first block after opening or a seek is this short.
  static constexpr std::size_t kFirstBlock = std::size_t{1} << 16;

  // Opens a regular file for reading; nullptr when it cannot be opened or is
  // anything else (a directory, a FIFO, a device), without ever blocking.
  static std::unique_ptr<F_InputFile> open(const std::string& path);
  // A stream over bytes in memory, reported under `path`.
  static std::unique_ptr<F_InputFile> fromMemory(std::string bytes, std::string path = "memory");

  ~F_InputFile();
  F_InputFile(const F_InputFile&) = delete;
  F_InputFile& operator=(const F_InputFile&) = delete;

  // The next byte (0..255), or kEof.
  int get() {
    if (pos_ < end_) return static_cast<unsigned char>(buf_[pos_++]);
    return refill();
  }
  // Steps back over the byte just read; valid once after each get() that returned a byte.
  void unget() {
    if (pos_ == 0) return;
    --pos_;
  }
  // Back to the first byte, for readers that pass over a file twice; false
  // when a file on disk cannot be repositioned.
  bool rewind();
  // Reads up to n bytes; returns how many were read.
  std::size_t read(void* dst, std::size_t n);
  // The bytes already buffered after the current position (empty at the end
  // of the file), for readers that scan many records at once; skip(n) then
  // consumes n <= buffered().size() of them.
  std::string_view buffered();
  void skip(std::size_t n) { pos_ += n; }

  // Reading in place, for readers that hand stretches of a large file to
  // several threads: each copies its own stretch into a buffer small enough
  // to stay in the processor's cache and parses it there, where a whole
  // block copied first and parsed after passes through memory twice.
  // The offset in the file of the byte get() returns next.
  std::uint64_t offset() const { return consumedBefore_ + pos_; }
  // Up to n bytes of the file from `at` into dst, leaving the stream where it
  // is; several threads may call it at once. Fewer bytes only at the end of
  // the file (or when it cannot be read any more).
  std::size_t readAt(std::uint64_t at, char* dst, std::size_t n) const;
  // Goes on from offset `at` (at most size()), which a reader has consumed in
  // place up to there; the line number is the caller's to count.
  void seek(std::uint64_t at);

  // The line the text readers are on: 1 at the first byte (also after a
  // rewind), one more for each NewLine they consume. Error messages quote it.
  int& lineNumber() { return lineNumber_; }
  int lineNumber() const { return lineNumber_; }

  // Set while a reader reads on from a guess about the file that the rest
  // of it has not yet confirmed: a read error then shows nothing and
  // throws F_ReadAgain.
  void setGuessing(bool on) { guessing_ = on; }
  bool guessing() const { return guessing_; }

  const std::string& name() const { return name_; }  // last component
  const std::string& path() const { return path_; }  // absolute path
  // Bytes that are still to come; the readers bound their allocations by it.
  std::uint64_t remaining() const { return (size_ - consumedBefore_) - pos_; }
  std::uint64_t size() const { return size_; }

 private:
  struct ReadAhead;
  F_InputFile() = default;
  int refill();
  // Up to kBlockSize bytes of the file from `offset` into `dst`: fewer only at
  // its end or on a read error.
  std::size_t readBlock(char* dst, std::uint64_t offset) const { return readAt(offset, dst, kBlockSize); }
  // The next block is read on another thread while this one is parsed.
  void startReadAhead();
  // Waits for a block being read ahead and forgets it.
  void dropReadAhead();

  int fd_ = -1;  // of a file on disk; memory streams have none
  std::uint64_t fileOffset_ = 0;  // bytes of the file read into buffers
  std::unique_ptr<ReadAhead> ahead_;
  bool fresh_ = true;  // no block read since opening, a rewind or a seek
  // Bytes that the file fills: a fresh buffer needs no zeros first.
  template <class T>
  struct Unfilled : std::allocator<T> {
    template <class U>
    struct rebind {
      using other = Unfilled<U>;
    };
    Unfilled() = default;
    template <class U>
    Unfilled(const Unfilled<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
      ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... A>
    void construct(U* p, A&&... a) {
      ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
    }
  };
  std::vector<char, Unfilled<char>> buf_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::uint64_t consumedBefore_ = 0;  // bytes of the file before buf_[0]
  std::uint64_t size_ = 0;
  int lineNumber_ = 1;
  bool guessing_ = false;
  std::string name_;
  std::string path_;
};

class F_OutputFile {
 public:
  enum class Mode { Text, Binary };

  // A file to be written at `path`; nullptr when it cannot be created or an
  // existing file there may not be written. The bytes go to a temporary file
  // beside the target that close() renames over it once everything was
  // written, so a failure (or a file never closed) leaves the old file as it
  // was. A symbolic link is written through; devices are written in place.
  static std::unique_ptr<F_OutputFile> create(const std::string& path, Mode mode);
  // Collects the bytes in memory (see bytes()).
  static std::unique_ptr<F_OutputFile> inMemory(Mode mode);

  ~F_OutputFile();
  F_OutputFile(const F_OutputFile&) = delete;
  F_OutputFile& operator=(const F_OutputFile&) = delete;

  void put(char c) {
    if (text_ && c == '\n') putRaw('\r');
    putRaw(c);
  }
  void write(std::string_view s) {
    for (char c : s) put(c);
  }
  void writeRaw(const void* data, std::size_t n);

  // printf-style formats used by the text writers: " %8d " and "%15.8lf" shapes.
  void writeInt(int value, int width);
  void writeFixed(double value, int width, int precision);
  void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // Flushes and closes; false when any write failed.
  bool close();
  bool ok() const { return ok_; }
  // Memory streams: everything written so far.
  const std::string& bytes() const { return memory_; }

 private:
  F_OutputFile() = default;
  void putRaw(char c) {
    if (len_ == buf_.size()) flush();
    buf_[len_++] = c;
  }
  void flush();

  std::FILE* fp_ = nullptr;
  bool text_ = true;
  bool ok_ = true;
  bool inMemory_ = false;
  std::vector<char> buf_;
  std::size_t len_ = 0;
  std::string memory_;
  std::string temporary_;  // the file being written, renamed to target_ by close()
  std::string target_;
};
