#pragma once
// kavrilon-cli render IN -o OUT [options]: one view of a new window, painted
// and written as .bmp (the Export View Image bytes) or .png (the same pixels).

#include <iosfwd>
#include <string>
#include <vector>

int renderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
