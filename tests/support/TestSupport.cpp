#include "support/TestSupport.h"

#include <fstream>
#include <random>
#include <sstream>

TempDir::TempDir() {
  std::random_device rd;
  dir_ = std::filesystem::temp_directory_path() / ("kavrilon-test-" + std::to_string(rd()));
  std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string readMessage(const std::string& bytes, const std::function<void(F_InputFile&)>& read,
                        const std::string& path) {
  RecordingUi ui;
  auto file = memoryFile(bytes, path);
  try {
    read(*file);
  } catch (const F_UserException&) {
    EXPECT_EQ(ui->messages().size(), 1u) << "a failed read shows exactly one box";
  }
  return ui.lastMessage();
}
