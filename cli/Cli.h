#pragma once
// kavrilon-cli as a library call, so tests drive it in-process.

#include <iosfwd>
#include <string>
#include <vector>

// Runs one command line (without the program name); returns the exit status.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
