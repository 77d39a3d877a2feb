#pragma once
// Shared helpers: a recording message box, streams over strings, temp files.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "include/F_Errors.h"
#include "include/F_File.h"
#include "platform/headless/HeadlessUi.h"

// Installs a HeadlessUi that records instead of printing, for one test.
class RecordingUi {
 public:
  RecordingUi() : ui_(nullptr), previous_(installUiServices(&ui_)) {}
  ~RecordingUi() { installUiServices(previous_); }
  HeadlessUi& operator*() { return ui_; }
  HeadlessUi* operator->() { return &ui_; }
  // The last message box, or "" when none was shown.
  std::string lastMessage() const { return ui_.messages().empty() ? "" : ui_.messages().back(); }

 private:
  HeadlessUi ui_;
  UiServices* previous_;
};

inline std::unique_ptr<F_InputFile> memoryFile(const std::string& bytes, const std::string& path = "/tmp/t.s3d") {
  return F_InputFile::fromMemory(bytes, path);
}

// The message a read would show for `message` on `line` of /tmp/t.s3d.
inline std::string readError(const std::string& message, int line) {
  return readErrorText("t.s3d", "/tmp/t.s3d", message, line);
}

// Runs `read` over `bytes`, reported as the file `path`, with a fresh line
// counter, and returns the last message box it showed ("" for none). A failed
// read must show exactly one box.
std::string readMessage(const std::string& bytes, const std::function<void(F_InputFile&)>& read,
                        const std::string& path = "/tmp/t.s3d");

// A fresh directory under the system temp folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
