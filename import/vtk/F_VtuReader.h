#pragma once
// VTK XML unstructured grids (.vtu): data arrays in ascii, inline base64
// binary, or raw appended data, each optionally in zlib-compressed blocks;
// either byte order, 32- or 64-bit block headers, any number of pieces.

#include "import/F_MeshBuilder.h"

void readVtu(F_InputFile& file, F_MeshBuilder& builder);
