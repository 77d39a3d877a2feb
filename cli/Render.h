#pragma once
// kavrilon-cli render IN -o OUT [options]: one view of a new window, painted
// and written as .bmp (the Export View Image bytes) or .png (the same pixels).
// kavrilon-cli script IN SCRIPT: the same view driven by a script of events.

#include <iosfwd>
#include <string>
#include <vector>

int renderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int scriptCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The extension of a path in lower case, without the dot; "" for none.
std::string lowerExtension(const std::string& path);
