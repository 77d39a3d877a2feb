#pragma once
// kavrilon-cli driven two ways: in-process through runCli, and as the built
// program for what only a process shows (its stdout and exit status).

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

inline CliRun cli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = runCli(args, out, err);
  return {status, out.str(), err.str()};
}

// The built program with `arguments` as a shell would pass them; stderr dropped.
inline CliRun program(const std::string& arguments) {
  const std::string command = std::string("'") + KAVRILON_CLI + "' " + arguments + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, "", ""};
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int raw = pclose(pipe);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out, ""};
}

// The built program started directly (no shell) with `args`; stdout kept,
// stderr dropped. `peakKb` is the child's own peak resident size. A run past
// `seconds` is stopped by SIGALRM and reported as status -1, so that a hang
// fails its test instead of stopping the suite.
struct MeasuredRun {
  int status;
  std::string out;
  long peakKb;
};

inline MeasuredRun measuredProgram(const std::vector<std::string>& args, unsigned seconds = 30) {
  int fds[2];
  if (pipe(fds) != 0) return {-1, "", 0};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(fds[0]);
    std::vector<char*> argv{const_cast<char*>(KAVRILON_CLI)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    alarm(seconds);
    execv(KAVRILON_CLI, argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int raw = 0;
  struct rusage usage {};
  if (pid < 0 || wait4(pid, &raw, 0, &usage) != pid) return {-1, out, 0};
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out, usage.ru_maxrss};
}
