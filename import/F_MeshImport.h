#pragma once
// Opening the mesh files of other programs by their extension: Gmsh .msh,
// VTK .vtk and .vtu, Abaqus/CalculiX .inp. Each becomes an ordinary mesh
// (solids by their skin) and, beside it, the node data the file holds.

#include <span>
#include <string>
#include <string_view>

#include "common/F_S3dMesh.h"
#include "import/F_NodeFields.h"
#include "include/F_File.h"

// One entry of the File > Import dialog: a name and its patterns.
struct F_MeshFileFilter {
  const char* name;
  const char* patterns;  // "*.vtk;*.vtu"
};
// Every mesh format the program reads, its own .s3d first.
std::span<const F_MeshFileFilter> meshFileFilters();
// The dialog's filter text: one entry per format, then "All Meshes" and "All Files".
std::string meshImportFilter();

// The extension, lower case and without its dot, when it names a format of
// another program ("msh", "vtk", "vtu", "inp"); empty otherwise.
std::string foreignMeshExtension(std::string_view path);

// Reads the file at `path` by its extension into `mesh` and `fields` (either
// may be left as it was when this fails). False after the failure has been
// shown: "File not found.", or the reader's message naming the line or byte
// offset. A file with element types that cannot be shown imports the rest
// and shows one warning that lists them.
bool importMeshFile(const std::string& path, F_S3dMesh& mesh, F_NodeFields* fields = nullptr);

// The same from an open stream of the given format; throws F_UserException
// after showing the failure.
void readMeshFile(F_InputFile& file, std::string_view extension, F_S3dMesh& mesh, F_NodeFields* fields);
