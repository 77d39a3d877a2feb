#include "include/F_File.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Output is written in blocks of this size.
constexpr std::size_t kBufferSize = 1 << 20;
}

std::string fileNameOf(std::string_view path) {
  auto slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string absolutePathOf(std::string_view path) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(std::filesystem::path(path), ec);
  if (ec) return std::string(path);
  return abs.lexically_normal().string();
}

// ---- input ----

std::unique_ptr<F_InputFile> F_InputFile::open(const std::string& path) {
  // Only a regular file is read. Opening without blocking and asking the open
  // descriptor what it is keeps a FIFO from waiting for a writer forever, and
  // leaves no gap between the test and the read; directories and devices
  // (endless /dev/zero) are refused the same way.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<F_InputFile> f(new F_InputFile);
  f->fd_ = fd;
  f->name_ = fileNameOf(path);
  f->path_ = absolutePathOf(path);
  f->size_ = static_cast<std::uint64_t>(st.st_size);
  f->buf_.resize(kBlockSize + 1);
  return f;
}

std::unique_ptr<F_InputFile> F_InputFile::fromMemory(std::string bytes, std::string path) {
  std::unique_ptr<F_InputFile> f(new F_InputFile);
  f->size_ = bytes.size();
  f->buf_.assign(bytes.begin(), bytes.end());
  f->end_ = f->buf_.size();
  f->name_ = fileNameOf(path);
  f->path_ = std::move(path);
  return f;
}

// The block after the one being parsed, read by a thread of its own (the
// copy out of the page cache is a good part of reading a large file). It is
// started only after a whole block, so the end of a file (and a file that
// grows) is read as it always was, on the calling thread.
struct F_InputFile::ReadAhead {
  std::vector<char, Unfilled<char>> buffer;  // the block at buffer[1], as buf_ holds it
  std::thread thread;
  std::uint64_t offset = 0;
  std::size_t bytes = 0;
  bool running = false;
};

F_InputFile::~F_InputFile() {
  dropReadAhead();
  if (fd_ >= 0) ::close(fd_);
}

std::size_t F_InputFile::readAt(std::uint64_t at, char* dst, std::size_t n) const {
  if (fd_ < 0) {  // a memory stream holds all its bytes from buf_[0]
    if (at >= end_) return 0;
    n = std::min<std::uint64_t>(n, end_ - at);
    std::memcpy(dst, buf_.data() + at, n);
    return n;
  }
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd_, dst + done, n - done, static_cast<off_t>(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

void F_InputFile::seek(std::uint64_t at) {
  if (fd_ < 0) {
    pos_ = static_cast<std::size_t>(std::min<std::uint64_t>(at, end_));
    return;
  }
  if (at >= consumedBefore_ && at - consumedBefore_ <= end_) {
    pos_ = static_cast<std::size_t>(at - consumedBefore_);  // still buffered
    return;
  }
  dropReadAhead();
  consumedBefore_ = fileOffset_ = at;
  pos_ = end_ = 0;
  fresh_ = true;
}

void F_InputFile::startReadAhead() {
  if (!ahead_) ahead_ = std::make_unique<ReadAhead>();
  ReadAhead& a = *ahead_;
  if (a.buffer.size() != buf_.size()) a.buffer.resize(buf_.size());
  a.offset = fileOffset_;
  a.bytes = 0;
  try {
    a.thread = std::thread([this, &a] { a.bytes = readBlock(a.buffer.data() + 1, a.offset); });
    a.running = true;
  } catch (const std::system_error&) {
    a.running = false;  // no thread: the next refill reads on this one
  }
}

void F_InputFile::dropReadAhead() {
  if (ahead_ && ahead_->running) {
    ahead_->thread.join();
    ahead_->running = false;
  }
}

int F_InputFile::refill() {
  if (fd_ < 0) return kEof;
  // Keep the last byte at buf_[0] so that one step back stays possible.
  std::size_t keep = 0;
  const char last = end_ > 0 ? buf_[end_ - 1] : 0;
  if (end_ > 0) keep = 1;
  consumedBefore_ += end_ - keep;
  std::size_t n = 0;
  bool whole;  // a whole block, after which the next is read ahead
  if (ahead_ && ahead_->running && keep == 1 && ahead_->offset == fileOffset_) {
    ahead_->thread.join();
    ahead_->running = false;
    buf_.swap(ahead_->buffer);
    n = ahead_->bytes;
    whole = n == kBlockSize;
  } else {
    dropReadAhead();
    // Blocks end at multiples of kBlockSize. The first after opening or a
    // seek is short: a reader that goes on in place (or stops soon) would
    // not look at the rest of a whole one.
    std::size_t want = kBlockSize - static_cast<std::size_t>(fileOffset_ % kBlockSize);
    if (fresh_) want = std::min(want, kFirstBlock);
    n = readAt(fileOffset_, buf_.data() + keep, want);
    whole = !fresh_ && n == want;
  }
  fresh_ = false;
  if (keep == 1) buf_[0] = last;
  fileOffset_ += n;
  end_ = keep + n;
  pos_ = keep;
  if (consumedBefore_ + end_ > size_) size_ = consumedBefore_ + end_;  // grown or unknown size
  if (n == 0) return kEof;
  if (whole) startReadAhead();
  return static_cast<unsigned char>(buf_[pos_++]);
}

bool F_InputFile::rewind() {
  lineNumber_ = 1;
  if (fd_ < 0) {
    pos_ = 0;  // memory streams hold all their bytes
    return true;
  }
  dropReadAhead();
  pos_ = end_ = 0;
  consumedBefore_ = 0;
  fileOffset_ = 0;
  fresh_ = true;
  return true;
}

std::size_t F_InputFile::read(void* dst, std::size_t n) {
  auto* out = static_cast<char*>(dst);
  std::size_t done = 0;
  while (done < n) {
    if (pos_ == end_) {
      if (refill() == kEof) break;
      --pos_;
    }
    std::size_t chunk = std::min(n - done, end_ - pos_);
    std::memcpy(out + done, buf_.data() + pos_, chunk);
    pos_ += chunk;
    done += chunk;
  }
  return done;
}

std::string_view F_InputFile::buffered() {
  if (pos_ >= end_) {
    if (refill() == kEof) return {};
    --pos_;
  }
  return {buf_.data() + pos_, end_ - pos_};
}

// ---- output ----

std::unique_ptr<F_OutputFile> F_OutputFile::create(const std::string& path, Mode mode) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // A symbolic link is written through, to the file it names.
  fs::path target = fs::weakly_canonical(fs::path(path), ec);
  if (ec || target.empty()) target = path;
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  // An existing file that may not be written is refused, not replaced; one
  // marked read-only for everybody is kept even from the superuser.
  if (exists && (::access(target.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0)) return nullptr;
  std::unique_ptr<F_OutputFile> f(new F_OutputFile);
  if (exists && !S_ISREG(st.st_mode)) {
    // Devices and pipes cannot be replaced: they are written in place.
    f->fp_ = std::fopen(target.c_str(), "wb");
  } else {
    // Everything else is written beside the target and renamed over it only
    // when the whole file is out, so a failed write keeps the old file.
    std::string temporary = target.string() + ".kavrilon-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return nullptr;
    mode_t keep;
    if (exists) {
      keep = st.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      keep = 0666 & ~mask;
    }
    ::fchmod(fd, keep);
    f->fp_ = ::fdopen(fd, "wb");
    if (!f->fp_) {
      ::close(fd);
      ::unlink(temporary.c_str());
      return nullptr;
    }
    f->temporary_ = temporary;
    f->target_ = target.string();
  }
  if (!f->fp_) return nullptr;
  f->text_ = mode == Mode::Text;
  f->buf_.resize(kBufferSize);
  return f;
}

std::unique_ptr<F_OutputFile> F_OutputFile::inMemory(Mode mode) {
  std::unique_ptr<F_OutputFile> f(new F_OutputFile);
  f->inMemory_ = true;
  f->text_ = mode == Mode::Text;
  f->buf_.resize(64 * 1024);
  return f;
}

F_OutputFile::~F_OutputFile() {
  // A file that was never closed is incomplete: the target keeps what it had.
  if (fp_ && !temporary_.empty()) ok_ = false;
  close();
}

void F_OutputFile::flush() {
  if (len_ == 0) return;
  if (inMemory_) {
    memory_.append(buf_.data(), len_);
  } else if (fp_) {
    if (std::fwrite(buf_.data(), 1, len_, fp_) != len_) ok_ = false;
  }
  len_ = 0;
}

void F_OutputFile::writeRaw(const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    if (len_ == buf_.size()) flush();
    std::size_t chunk = std::min(n, buf_.size() - len_);
    std::memcpy(buf_.data() + len_, p, chunk);
    len_ += chunk;
    p += chunk;
    n -= chunk;
  }
}

void F_OutputFile::writeInt(int value, int width) {
  char tmp[16];
  auto res = std::to_chars(tmp, tmp + sizeof tmp, value);
  int len = static_cast<int>(res.ptr - tmp);
  for (int i = len; i < width; ++i) putRaw(' ');
  writeRaw(tmp, static_cast<std::size_t>(len));
}

void F_OutputFile::writeFixed(double value, int width, int precision) {
  // to_chars with a precision gives exactly the digits of printf's %.*f.
  char tmp[400];
  auto res = std::to_chars(tmp, tmp + sizeof tmp, value, std::chars_format::fixed, precision);
  int len;
  if (res.ec == std::errc()) {
    len = static_cast<int>(res.ptr - tmp);
  } else {
    len = std::snprintf(tmp, sizeof tmp, "%.*f", precision, value);
  }
  for (int i = len; i < width; ++i) putRaw(' ');
  writeRaw(tmp, static_cast<std::size_t>(len));
}

void F_OutputFile::printf(const char* format, ...) {
  char tmp[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(tmp, sizeof tmp, format, args);
  va_end(args);
  if (n < 0) {
    ok_ = false;
    return;
  }
  if (static_cast<std::size_t>(n) < sizeof tmp) {
    write(std::string_view(tmp, static_cast<std::size_t>(n)));
    return;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  big.resize(static_cast<std::size_t>(n));
  write(big);
}

bool F_OutputFile::close() {
  flush();
  if (fp_) {
    if (std::fflush(fp_) != 0) ok_ = false;
    if (std::fclose(fp_) != 0) ok_ = false;
    fp_ = nullptr;
    if (!temporary_.empty()) {
      if (ok_ && std::rename(temporary_.c_str(), target_.c_str()) != 0) ok_ = false;
      if (!ok_) ::unlink(temporary_.c_str());
      temporary_.clear();
    }
  }
  return ok_;
}
