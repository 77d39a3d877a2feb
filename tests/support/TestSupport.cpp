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
