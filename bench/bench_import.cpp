// Reading the meshes of other programs, against the .s3d reader on the same
// mesh and a plain read of each file; and the skin of a block of hexahedra.
//
// bench_import [--quads N] [--runs R] [--dir DIR] [--keep]
// The surface mesh (N quadrilaterals) is written as .s3d, Gmsh 2.2 text, Gmsh
// 4.1 text and binary, an Abaqus deck, binary legacy VTK and VTK XML appended raw; the block has about N
// hexahedra (100 x 100 x 100 for the default million).

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "bench/FileBench.h"
#include "bench/MeshGenerator.h"
#include "import/F_MeshImport.h"
#include "import/F_SkinFinder.h"
#include "platform/headless/HeadlessUi.h"

namespace {

// Drops the file's pages from the page cache and reads it back in. A writer
// leaves its pages in pieces shaped by its own buffer, and a file in small
// pieces is copied out more slowly; read back by the kernel's read-ahead,
// every file starts from the same state, the one a file opened later has.
void settleInCache(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) std::exit(1);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
  plainRead(path);
}

// Written beside its place and renamed there when complete, so that another
// benchmark reading the same directory never sees half a file.
struct File {
  std::string path;
  std::FILE* f;
  explicit File(const std::string& to) : path(to), f(std::fopen((to + ".part").c_str(), "wb")) {
    if (!f) std::exit(1);
    std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
  }
  ~File() {
    if (std::fclose(f) != 0 || std::rename((path + ".part").c_str(), path.c_str()) != 0) std::exit(1);
  }
  template <class T>
  void put(T v, bool bigEndian = false) {
    if (bigEndian && std::endian::native == std::endian::little) {
      unsigned char b[sizeof(T)];
      std::memcpy(b, &v, sizeof b);
      for (std::size_t i = 0; i < sizeof b / 2; ++i) std::swap(b[i], b[sizeof b - 1 - i]);
      std::fwrite(b, 1, sizeof b, f);
    } else {
      std::fwrite(&v, sizeof v, 1, f);
    }
  }
};

void writeMsh22Text(const F_S3dLayer& layer, const std::string& path) {
  File out(path);
  std::fprintf(out.f, "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n%d\n", layer.pointCount());
  for (int i = 1; i <= layer.pointCount(); ++i) {
    const F_Point3D& p = layer.point(i);
    std::fprintf(out.f, "%d %.16g %.16g %.16g\n", i, p.x, p.y, p.z);
  }
  std::fprintf(out.f, "$EndNodes\n$Elements\n%d\n", layer.elementCount());
  for (int i = 1; i <= layer.elementCount(); ++i) {
    const F_S3dElement& e = layer.element(i);
    std::fprintf(out.f, "%d 3 2 1 1 %d %d %d %d\n", i, e.node(1), e.node(2), e.node(3), e.node(4));
  }
  std::fprintf(out.f, "$EndElements\n");
}

// Gmsh 4.1 text, as Gmsh writes it by default: one block of points (tags,
// then coordinates) and one of quadrilaterals.
void writeMsh41Text(const F_S3dLayer& layer, const std::string& path) {
  File out(path);
  const int n = layer.pointCount(), e = layer.elementCount();
  std::fprintf(out.f, "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Nodes\n1 %d 1 %d\n2 1 0 %d\n", n, n, n);
  for (int i = 1; i <= n; ++i) std::fprintf(out.f, "%d\n", i);
  for (int i = 1; i <= n; ++i) {
    const F_Point3D& p = layer.point(i);
    std::fprintf(out.f, "%.16g %.16g %.16g\n", p.x, p.y, p.z);
  }
  std::fprintf(out.f, "$EndNodes\n$Elements\n1 %d 1 %d\n2 1 3 %d\n", e, e, e);
  for (int i = 1; i <= e; ++i) {
    const F_S3dElement& el = layer.element(i);
    std::fprintf(out.f, "%d %d %d %d %d\n", i, el.node(1), el.node(2), el.node(3), el.node(4));
  }
  std::fprintf(out.f, "$EndElements\n");
}

// Gmsh 4.1 binary: points, then cells of `type` with `nodes` nodes each.
void writeMsh41Binary(const std::vector<double>& xyz, const std::vector<int>& cells, int type, int nodes,
                      const std::string& path) {
  File out(path);
  const std::uint64_t n = xyz.size() / 3, e = cells.size() / static_cast<std::size_t>(nodes);
  const int dim = type == 5 ? 3 : 2;
  std::fprintf(out.f, "$MeshFormat\n4.1 1 8\n");
  out.put<std::int32_t>(1);
  std::fprintf(out.f, "\n$EndMeshFormat\n$Entities\n");
  for (std::uint64_t c : {0, 0, dim == 2 ? 1 : 0, dim == 3 ? 1 : 0}) out.put<std::uint64_t>(c);
  out.put<std::int32_t>(1);
  for (int k = 0; k < 6; ++k) out.put<double>(0);
  out.put<std::uint64_t>(0);
  out.put<std::uint64_t>(0);
  std::fprintf(out.f, "\n$EndEntities\n$Nodes\n");
  for (std::uint64_t v : {std::uint64_t{1}, n, std::uint64_t{1}, n}) out.put<std::uint64_t>(v);
  out.put<std::int32_t>(dim);
  out.put<std::int32_t>(1);
  out.put<std::int32_t>(0);
  out.put<std::uint64_t>(n);
  for (std::uint64_t i = 1; i <= n; ++i) out.put<std::uint64_t>(i);
  std::fwrite(xyz.data(), sizeof(double), xyz.size(), out.f);
  std::fprintf(out.f, "\n$EndNodes\n$Elements\n");
  for (std::uint64_t v : {std::uint64_t{1}, e, std::uint64_t{1}, e}) out.put<std::uint64_t>(v);
  out.put<std::int32_t>(dim);
  out.put<std::int32_t>(1);
  out.put<std::int32_t>(type);
  out.put<std::uint64_t>(e);
  for (std::uint64_t i = 0; i < e; ++i) {
    out.put<std::uint64_t>(i + 1);
    for (int j = 0; j < nodes; ++j) out.put<std::uint64_t>(static_cast<std::uint64_t>(cells[i * nodes + j]) + 1);
  }
  std::fprintf(out.f, "\n$EndElements\n");
}

void writeInp(const F_S3dLayer& layer, const std::string& path) {
  File out(path);
  std::fprintf(out.f, "*HEADING\nbenchmark plate\n*NODE\n");
  for (int i = 1; i <= layer.pointCount(); ++i) {
    const F_Point3D& p = layer.point(i);
    std::fprintf(out.f, "%d, %.16g, %.16g, %.16g\n", i, p.x, p.y, p.z);
  }
  std::fprintf(out.f, "*ELEMENT, TYPE=S4R, ELSET=PLATE\n");
  for (int i = 1; i <= layer.elementCount(); ++i) {
    const F_S3dElement& e = layer.element(i);
    std::fprintf(out.f, "%d, %d, %d, %d, %d\n", i, e.node(1), e.node(2), e.node(3), e.node(4));
  }
}

void writeVtkBinary(const F_S3dLayer& layer, const std::string& path) {
  File out(path);
  std::fprintf(out.f, "# vtk DataFile Version 3.0\nbenchmark plate\nBINARY\nDATASET UNSTRUCTURED_GRID\n");
  std::fprintf(out.f, "POINTS %d double\n", layer.pointCount());
  for (const F_Point3D& p : layer.points) {
    out.put(p.x, true);
    out.put(p.y, true);
    out.put(p.z, true);
  }
  std::fprintf(out.f, "\nCELLS %d %d\n", layer.elementCount(), 5 * layer.elementCount());
  for (const F_S3dElement& e : layer.elements) {
    out.put<std::int32_t>(4, true);
    for (int j = 1; j <= 4; ++j) out.put<std::int32_t>(e.node(j) - 1, true);
  }
  std::fprintf(out.f, "\nCELL_TYPES %d\n", layer.elementCount());
  for (int i = 0; i < layer.elementCount(); ++i) out.put<std::int32_t>(9, true);
  std::fprintf(out.f, "\n");
}

// VTK XML with the arrays appended raw (64-bit block headers), as written
// by default: points, then connectivity, offsets and types.
void writeVtuRaw(const F_S3dLayer& layer, const std::string& path) {
  File out(path);
  const std::uint64_t n = static_cast<std::uint64_t>(layer.pointCount());
  const std::uint64_t e = static_cast<std::uint64_t>(layer.elementCount());
  const std::uint64_t sizes[] = {24 * n, 32 * e, 8 * e, e};
  std::uint64_t offsets[4] = {0};
  for (int k = 1; k < 4; ++k) offsets[k] = offsets[k - 1] + 8 + sizes[k - 1];
  std::fprintf(out.f,
               "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" "
               "byte_order=\"LittleEndian\" header_type=\"UInt64\">\n<UnstructuredGrid>\n"
               "<Piece NumberOfPoints=\"%llu\" NumberOfCells=\"%llu\">\n<Points>\n"
               "<DataArray type=\"Float64\" Name=\"Points\" NumberOfComponents=\"3\" format=\"appended\" "
               "offset=\"%llu\"/>\n</Points>\n<Cells>\n"
               "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"appended\" offset=\"%llu\"/>\n"
               "<DataArray type=\"Int64\" Name=\"offsets\" format=\"appended\" offset=\"%llu\"/>\n"
               "<DataArray type=\"UInt8\" Name=\"types\" format=\"appended\" offset=\"%llu\"/>\n"
               "</Cells>\n</Piece>\n</UnstructuredGrid>\n<AppendedData encoding=\"raw\">\n_",
               static_cast<unsigned long long>(n), static_cast<unsigned long long>(e),
               static_cast<unsigned long long>(offsets[0]), static_cast<unsigned long long>(offsets[1]),
               static_cast<unsigned long long>(offsets[2]), static_cast<unsigned long long>(offsets[3]));
  out.put<std::uint64_t>(sizes[0]);
  for (const F_Point3D& p : layer.points) {
    out.put(p.x);
    out.put(p.y);
    out.put(p.z);
  }
  out.put<std::uint64_t>(sizes[1]);
  for (const F_S3dElement& el : layer.elements) {
    for (int j = 1; j <= 4; ++j) out.put<std::int64_t>(el.node(j) - 1);
  }
  out.put<std::uint64_t>(sizes[2]);
  for (std::uint64_t i = 1; i <= e; ++i) out.put<std::int64_t>(static_cast<std::int64_t>(4 * i));
  out.put<std::uint64_t>(sizes[3]);
  for (std::uint64_t i = 0; i < e; ++i) out.put<std::uint8_t>(9);
  std::fprintf(out.f, "\n</AppendedData>\n</VTKFile>\n");
}

// The same grid as VTK's XML writer writes it when given no options: every
// array appended in base64, its zlib blocks of 32 KiB behind a header
// encoded on its own (64-bit numbers), as four arrays one after another.
void writeVtuDefault(const F_S3dLayer& layer, const std::string& path) {
  auto encode = [](const std::vector<unsigned char>& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
      const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
      std::uint32_t v = static_cast<std::uint32_t>(bytes[i]) << 16;
      if (n > 1) v |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
      if (n > 2) v |= bytes[i + 2];
      for (std::size_t k = 0; k < 4; ++k) text += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return text;
  };
  auto put64 = [](std::vector<unsigned char>& out, std::uint64_t v) {
    for (int k = 0; k < 8; ++k) out.push_back(static_cast<unsigned char>(v >> (8 * k)));
  };
  // One array: its header, then its compressed blocks, each part encoded.
  auto array = [&](const std::vector<unsigned char>& data) {
    constexpr std::size_t kBlock = 32768;
    const std::size_t blocks = (data.size() + kBlock - 1) / kBlock;
    std::vector<unsigned char> header, packed;
    put64(header, blocks);
    put64(header, kBlock);
    put64(header, blocks > 0 && data.size() % kBlock != 0 ? data.size() % kBlock : kBlock);
    std::vector<unsigned char> block(compressBound(kBlock));
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::size_t n = std::min(kBlock, data.size() - b * kBlock);
      uLongf size = static_cast<uLongf>(block.size());
      compress2(block.data(), &size, data.data() + b * kBlock, static_cast<uLong>(n), 5);
      put64(header, size);
      packed.insert(packed.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
    }
    return encode(header) + encode(packed);
  };
  auto bytesOf = [](const auto& values) {
    std::vector<unsigned char> bytes(values.size() * sizeof(values[0]));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
  };
  std::vector<double> xyz;
  for (const F_Point3D& p : layer.points) xyz.insert(xyz.end(), {p.x, p.y, p.z});
  std::vector<std::int64_t> connectivity, offsets;
  for (const F_S3dElement& el : layer.elements) {
    for (int j = 1; j <= 4; ++j) connectivity.push_back(el.node(j) - 1);
    offsets.push_back(static_cast<std::int64_t>(connectivity.size()));
  }
  const std::vector<std::uint8_t> types(offsets.size(), 9);
  const std::string arrays[] = {array(bytesOf(xyz)), array(bytesOf(connectivity)), array(bytesOf(offsets)),
                                array(bytesOf(types))};
  std::size_t at[4] = {0};
  for (int k = 1; k < 4; ++k) at[k] = at[k - 1] + arrays[k - 1].size();
  File out(path);
  std::fprintf(out.f,
               "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" "
               "byte_order=\"LittleEndian\" header_type=\"UInt64\" compressor=\"vtkZLibDataCompressor\">\n"
               "<UnstructuredGrid>\n<Piece NumberOfPoints=\"%d\" NumberOfCells=\"%d\">\n<Points>\n"
               "<DataArray type=\"Float64\" Name=\"Points\" NumberOfComponents=\"3\" format=\"appended\" "
               "offset=\"%zu\"/>\n</Points>\n<Cells>\n"
               "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"appended\" offset=\"%zu\"/>\n"
               "<DataArray type=\"Int64\" Name=\"offsets\" format=\"appended\" offset=\"%zu\"/>\n"
               "<DataArray type=\"UInt8\" Name=\"types\" format=\"appended\" offset=\"%zu\"/>\n"
               "</Cells>\n</Piece>\n</UnstructuredGrid>\n<AppendedData encoding=\"base64\">\n_",
               layer.pointCount(), layer.elementCount(), at[0], at[1], at[2], at[3]);
  for (const std::string& a : arrays) std::fwrite(a.data(), 1, a.size(), out.f);
  std::fprintf(out.f, "\n</AppendedData>\n</VTKFile>\n");
}

}  // namespace

int main(int argc, char** argv) {
  const FileBenchOptions options = parseFileBenchOptions(argc, argv, "bench_import");
  HeadlessUi headless(&std::cerr);
  installUiServices(&headless);
  std::filesystem::create_directories(options.dir);

  MeshRecipe recipe;
  recipe.quads = options.quads;
  recipe.corners = false;
  const F_S3dMesh generated = MeshGenerator(recipe).mesh();
  const F_S3dLayer& plate = generated.layer(1);
  std::vector<double> xyz;
  std::vector<int> quads;
  for (const F_Point3D& p : plate.points) xyz.insert(xyz.end(), {p.x, p.y, p.z});
  for (const F_S3dElement& e : plate.elements) {
    for (int j = 1; j <= 4; ++j) quads.push_back(e.node(j) - 1);
  }

  const std::string base = options.dir + "/bench-import-" + std::to_string(options.quads);
  const struct {
    const char* name;
    std::string path;
  } files[] = {{".s3d (baseline reader)", base + ".s3d"}, {".msh 2.2 text", base + "-text.msh"},
               {".msh 4.1 text", base + "-text41.msh"}, {".msh 4.1 binary", base + "-binary.msh"}, {".inp", base + ".inp"},
               {".vtk binary", base + "-binary.vtk"}, {".vtu raw", base + "-raw.vtu"},
               {".vtu base64 zlib (VTK's default)", base + "-default.vtu"}};
  {
    auto f = F_OutputFile::create(files[0].path, F_OutputFile::Mode::Text);
    generated.writeS3d(*f);
    if (!f->close()) return 1;
  }
  writeMsh22Text(plate, files[1].path);
  writeMsh41Text(plate, files[2].path);
  writeMsh41Binary(xyz, quads, 3, 4, files[3].path);
  writeInp(plate, files[4].path);
  writeVtkBinary(plate, files[5].path);
  writeVtuRaw(plate, files[6].path);
  {
    // Written by a child process: its large buffers, freed here, would make
    // this process's allocator keep their pages and hand them to the readers
    // timed after, which then need fewer fresh pages than they do in a fresh
    // process (the .s3d reader gained a tenth that way).
    const pid_t child = ::fork();
    if (child == 0) {
      writeVtuDefault(plate, files[7].path);
      ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "bench_import: writing %s failed\n", files[7].path.c_str());
      return 1;
    }
  }
  // What was just written goes to the disk before anything is timed, so
  // that its write-back does not fall on the first reads.
  ::sync();
  for (const auto& file : files) settleInCache(file.path);
  std::printf("%lld quadrilaterals, %d points; medians of %d runs\n", options.quads, plate.pointCount(), options.runs);

  // KAVRILON_BENCH_ONLY=TEXT reads only the files whose name holds TEXT, beside the .s3d baseline.
  const char* only = std::getenv("KAVRILON_BENCH_ONLY");
  for (const auto& file : files) {
    if (only && &file != &files[0] && std::string(file.name).find(only) == std::string::npos) continue;
    const double bytes = static_cast<double>(std::filesystem::file_size(file.path));
    std::vector<Timing> cat, reading;
    for (int r = 0; r < options.runs; ++r) cat.push_back(timeOf([&] { plainRead(file.path); }));
    for (int r = 0; r < options.runs; ++r) {
      F_S3dMesh mesh;
      reading.push_back(timeOf([&] {
        if (foreignMeshExtension(file.path).empty()) {
          auto f = F_InputFile::open(file.path);
          mesh.readS3d(*f);
        } else if (!importMeshFile(file.path, mesh)) {
          std::exit(1);
        }
      }));
      if (mesh.layer(1).elementCount() != plate.elementCount()) {
        std::fprintf(stderr, "bench_import: %s read back %d elements\n", file.name, mesh.layer(1).elementCount());
        return 1;
      }
    }
    std::printf("== %s, %.1f MB\n", file.name, bytes / 1e6);
    report("cat", cat, bytes, plate.elementCount());
    report("read", reading, bytes, plate.elementCount());
  }

  // A block of hexahedra: the skin alone, then a whole import of it.
  const int side = std::max(1, static_cast<int>(std::cbrt(static_cast<double>(options.quads)) + 0.5));
  std::vector<double> points;
  std::vector<int> hexes;
  auto id = [&](int i, int j, int k) { return i + (side + 1) * (j + (side + 1) * k); };
  for (int k = 0; k <= side; ++k)
    for (int j = 0; j <= side; ++j)
      for (int i = 0; i <= side; ++i) points.insert(points.end(), {double(i), double(j), double(k)});
  for (int k = 0; k < side; ++k)
    for (int j = 0; j < side; ++j)
      for (int i = 0; i < side; ++i)
        hexes.insert(hexes.end(), {id(i, j, k), id(i + 1, j, k), id(i + 1, j + 1, k), id(i, j + 1, k),
                                   id(i, j, k + 1), id(i + 1, j, k + 1), id(i + 1, j + 1, k + 1), id(i, j + 1, k + 1)});
  std::vector<F_SolidCell> cells;
  for (std::size_t c = 0; c < hexes.size(); c += 8) cells.push_back({F_CellKind::Hex8, hexes.data() + c});
  std::vector<Timing> skinning, importing;
  std::size_t faces = 0;
  for (int r = 0; r < options.runs; ++r) skinning.push_back(timeOf([&] { faces = findSkin(cells).size(); }));
  const std::string block = base + "-hexes.msh";
  writeMsh41Binary(points, hexes, 5, 8, block);
  ::sync();
  settleInCache(block);
  for (int r = 0; r < options.runs; ++r) {
    F_S3dMesh mesh;
    importing.push_back(timeOf([&] {
      if (!importMeshFile(block, mesh)) std::exit(1);
    }));
  }
  std::printf("== skin of %zu hexahedra (%d per side): %zu faces\n", cells.size(), side, faces);
  report("skin", skinning, 0, static_cast<double>(cells.size()));
  report("import", importing, static_cast<double>(std::filesystem::file_size(block)), static_cast<double>(cells.size()));

  if (!options.keep) {
    for (const auto& file : files) std::filesystem::remove(file.path);
    std::filesystem::remove(block);
  }
  return 0;
}
