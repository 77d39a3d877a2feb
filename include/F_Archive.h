#pragma once
// The binary document archive: little-endian 4-byte integers, 8-byte IEEE
// doubles and length-prefixed strings, written to and read from the buffered
// file streams. One object either stores or loads, so a class's Serialize keeps
// its writer and reader side by side.
//
// Loading checks after every read: a file that ends early, or that declares
// more data than it still holds, throws F_ArchiveException before anything is
// allocated for it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "include/F_File.h"

// The file does not have the layout of a document; `what` names the item
// being read when it failed (for tests and debugging, never shown as is).
struct F_ArchiveException {
  const char* what;
};

class F_Archive {
 public:
  explicit F_Archive(F_OutputFile& out) : out_(&out) {}
  explicit F_Archive(F_InputFile& in) : in_(&in) {}
  F_Archive(const F_Archive&) = delete;
  F_Archive& operator=(const F_Archive&) = delete;

  bool isStoring() const { return out_ != nullptr; }
  bool isLoading() const { return in_ != nullptr; }

  // ---- storing ----
  void writeInt(std::int32_t v);
  void writeReal(double v);
  // The length prefix (1, 3 or 7 bytes), then the bytes.
  void writeString(std::string_view s);
  void writeBytes(const void* data, std::size_t n);
  void writeInts(const std::int32_t* values, std::size_t n);
  void writeReals(const double* values, std::size_t n);

  // ---- loading ----
  std::int32_t readInt(const char* what = "integer");
  // A real that is not finite fails like a file that ends early.
  double readReal(const char* what = "real");
  std::string readString(const char* what = "string");
  // A string of valid bytes only (visible characters and delimiters).
  std::string readValidString(const char* what = "string");
  void readBytes(void* data, std::size_t n, const char* what = "bytes");
  void readInts(std::int32_t* values, std::size_t n, const char* what = "integers");
  // Every value finite, as readReal.
  void readReals(double* values, std::size_t n, const char* what = "reals");
  // A count of records that each take at least `minRecordBytes` bytes: negative
  // counts, and counts the rest of the file cannot hold, fail.
  int readCount(std::int64_t minRecordBytes, const char* what);
  std::uint64_t remaining() const { return in_ ? in_->remaining() : 0; }

  // Stores or loads one value, by direction.
  void exchange(std::int32_t& v, const char* what = "integer") {
    if (isStoring()) {
      writeInt(v);
    } else {
      v = readInt(what);
    }
  }
  void exchange(double& v, const char* what = "real") {
    if (isStoring()) {
      writeReal(v);
    } else {
      v = readReal(what);
    }
  }

  [[noreturn]] static void fail(const char* what) { throw F_ArchiveException{what}; }

 private:
  F_OutputFile* out_ = nullptr;
  F_InputFile* in_ = nullptr;
};
