#pragma once
// Legacy VTK files (.vtk), text or binary (big-endian), version 2 to 5.1:
// UNSTRUCTURED_GRID and POLYDATA. Point data (scalars, vectors by their
// magnitude, field arrays) becomes node fields.

#include "import/F_MeshBuilder.h"

void readVtkLegacy(F_InputFile& file, F_MeshBuilder& builder);
