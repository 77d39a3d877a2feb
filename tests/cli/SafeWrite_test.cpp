// Every file kavrilon-cli writes is written whole or not at all: a write that
// fails (here: a file-size limit, a full device) keeps the old file, a
// read-only target is refused, and a symbolic link is written through.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

const std::string kPlate = std::string(KAVRILON_SOURCE_DIR) + "/examples/plate.s3d";
const std::string kOld = "the old file\n";

// Runs kavrilon-cli in a child whose files may not grow beyond `limit` bytes.
int cliWithFileLimit(const std::vector<std::string>& args, rlim_t limit) {
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
    rlimit r{limit, limit};
    setrlimit(RLIMIT_FSIZE, &r);
    _exit(cli(args).status);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

int filesIn(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

}  // namespace

TEST(SafeWrite, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  const struct {
    const char* name;
    std::vector<std::string> args;  // OUT is appended
    const char* out;
  } cases[] = {
      {".s3d export", {"convert", kPlate}, "t.s3d"},
      {".b3d save", {"convert", kPlate}, "t.b3d"},
      {".cfg export", {"convert", kPlate}, "t.cfg"},
      {".bmp image", {"render", kPlate, "--size", "200x100", "-o"}, "t.bmp"},
      {".png image", {"render", kPlate, "--size", "200x100", "-o"}, "t.png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeFileBytes(dir.path(c.out), kOld);
    std::vector<std::string> args = c.args;
    args.push_back(dir.path(c.out));
    EXPECT_EQ(cliWithFileLimit(args, 64), 1);
    EXPECT_EQ(readFileBytes(dir.path(c.out)), kOld);
    EXPECT_EQ(filesIn(dir.path("")), 1);
    // Without the limit the same command replaces the file.
    EXPECT_EQ(cliWithFileLimit(args, RLIM_INFINITY), 0);
    EXPECT_NE(readFileBytes(dir.path(c.out)), kOld);
    EXPECT_EQ(filesIn(dir.path("")), 1);
  }
}

TEST(SafeWrite, AReadOnlyTargetIsRefusedAndKept) {
  TempDir dir;
  writeFileBytes(dir.path("ro.s3d"), kOld);
  chmod(dir.path("ro.s3d").c_str(), 0444);
  const CliRun r = cli({"convert", kPlate, dir.path("ro.s3d"), "--no-cfg"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("No write permission."), std::string::npos) << r.out;
  EXPECT_EQ(readFileBytes(dir.path("ro.s3d")), kOld);
}

TEST(SafeWrite, ASymbolicLinkIsWrittenThrough) {
  TempDir dir;
  writeFileBytes(dir.path("real.s3d"), kOld);
  std::filesystem::create_symlink(dir.path("real.s3d"), dir.path("link.s3d"));
  ASSERT_EQ(cli({"convert", kPlate, dir.path("link.s3d"), "--no-cfg"}).status, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link.s3d")));
  EXPECT_EQ(readFileBytes(dir.path("real.s3d")).rfind("Steel plate", 0), 0u);
}

TEST(SafeWrite, APngOnAFullDeviceIsAFailure) {
  TempDir dir;
  std::filesystem::create_symlink("/dev/full", dir.path("full.png"));
  const CliRun r = cli({"render", kPlate, "--size", "200x100", "-o", dir.path("full.png")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Unable to finish write operation."), std::string::npos) << r.out;
}
