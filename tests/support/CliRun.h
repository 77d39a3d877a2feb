#pragma once
// kavrilon-cli driven two ways: in-process through runCli, and as the built
// program for what only a process shows (its stdout and exit status).

#include <sys/wait.h>

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
