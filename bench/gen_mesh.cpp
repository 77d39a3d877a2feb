// gen_mesh --quads N [--tri] [--quad8] [--layers L] OUT.s3d [--pva OUT.pva]
// Writes a synthetic mesh (and optionally a field for its first layer).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/MeshGenerator.h"

namespace {
int usage() {
  std::fprintf(stderr, "usage: gen_mesh --quads N [--tri] [--quad8] [--layers L] OUT.s3d [--pva OUT.pva]\n");
  return 2;
}

bool writeFile(const std::string& path, auto&& body) {
  auto file = F_OutputFile::create(path, F_OutputFile::Mode::Text);
  if (!file) {
    std::fprintf(stderr, "gen_mesh: cannot create %s\n", path.c_str());
    return false;
  }
  body(*file);
  if (!file->close()) {
    std::fprintf(stderr, "gen_mesh: write failed on %s\n", path.c_str());
    return false;
  }
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  MeshRecipe recipe;
  std::string out, pva;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--quads" && hasValue) {
      recipe.quads = std::atoll(argv[++i]);
    } else if (a == "--layers" && hasValue) {
      recipe.layers = std::atoi(argv[++i]);
    } else if (a == "--tri") {
      recipe.shape = MeshRecipe::Shape::Tri3;
    } else if (a == "--quad8") {
      recipe.shape = MeshRecipe::Shape::Quad8;
    } else if (a == "--pva" && hasValue) {
      pva = argv[++i];
    } else if (!a.empty() && a[0] != '-' && out.empty()) {
      out = a;
    } else {
      return usage();
    }
  }
  if (out.empty() || recipe.quads < 1 || recipe.layers < 1) return usage();

  const F_S3dMesh mesh = MeshGenerator(recipe).mesh();
  if (!writeFile(out, [&](F_OutputFile& f) { mesh.writeS3d(f); })) return 1;
  if (!pva.empty() && !writeFile(pva, [&](F_OutputFile& f) { MeshGenerator::writePva(f, mesh.layer(1)); })) return 1;
  return 0;
}
