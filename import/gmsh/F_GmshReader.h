#pragma once
// Gmsh .msh files, format 2.2 and 4.1, text or binary (either byte order).
// One layer per physical group; elements outside every group go to one layer
// per dimension. Point elements become special nodes of their layer,
// $PhysicalNames name the layers, $NodeData becomes node fields (a vector by
// its magnitude).

#include "import/F_MeshBuilder.h"

void readGmsh(F_InputFile& file, F_MeshBuilder& builder);
