#include "import/vtk/F_VtkLegacyReader.h"
#include "import/vtk/F_VtuReader.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <zlib.h>

#include "ImportFixtures.h"
#include "import/F_WorkShares.h"

namespace {

const std::string kHead = "# vtk DataFile Version 3.0\nsome title\nASCII\n";

// A unit voxel: its points in rows (x fastest), not around its faces.
const std::string kVoxel = kHead +
                           "DATASET UNSTRUCTURED_GRID\nPOINTS 8 float\n0 0 0 1 0 0 0 1 0 1 1 0\n0 0 1 1 0 1 0 1 1 1 1 1\n"
                           "CELLS 1 9\n8 0 1 2 3 4 5 6 7\nCELL_TYPES 1\n11\n";

}  // namespace

TEST(F_VtkLegacyReader, VoxelsArePutInTurnOrderBeforeTheirSkinIsTaken) {
  const ImportRun run = importBytes(kVoxel, "vtk");
  ASSERT_TRUE(run.ok) << run.last();
  const F_S3dLayer& layer = run.mesh.layer(1);
  EXPECT_EQ(layer.name, "Volumes");
  ASSERT_EQ(layer.elementCount(), 6);
  // Each face goes round its square: neighbouring corners one apart, never across.
  for (const F_S3dElement& e : layer.elements) {
    for (int j = 1; j <= 4; ++j) EXPECT_DOUBLE_EQ(layer.point(e.node(j)).distance(layer.point(e.node(j % 4 + 1))), 1.0);
  }
}

TEST(F_VtkLegacyReader, PolyDataCutsStripsAndLinesAndSkipsLargerPolygons) {
  const std::string file = kHead +
                           "DATASET POLYDATA\nPOINTS 6 double\n0 0 0 1 0 0 0 1 0 1 1 0 0 2 0 1 2 0\n"
                           "LINES 1 4\n3 0 1 3\n"
                           "POLYGONS 2 10\n3 0 1 2\n5 0 1 3 5 4\n"
                           "TRIANGLE_STRIPS 1 6\n5 0 1 2 3 4\n";
  const ImportRun run = importBytes(file, "vtk");
  ASSERT_TRUE(run.ok) << run.last();
  ASSERT_EQ(run.mesh.layerCount(), 2);
  EXPECT_EQ(run.mesh.layerName(1), "Lines");
  EXPECT_EQ(run.mesh.layer(1).elementCount(), 2);
  EXPECT_EQ(run.mesh.layerName(2), "Surfaces");
  EXPECT_EQ(run.mesh.layer(2).elementCount(), 4);  // a triangle and a strip of three
  ASSERT_EQ(run.shown.size(), 1u);
  EXPECT_EQ(run.shown[0],
            "WARNING\nElements of these types cannot be shown and were skipped:\n\nVTK polygon of 5 points: 1");
}

TEST(F_VtkLegacyReader, MalformedFilesAreRefusedWithWhereAndWhat) {
  const std::string grid = kHead + "DATASET UNSTRUCTURED_GRID\nPOINTS 3 float\n0 0 0 1 0 0 0 1 0\n";
  const std::string poly = kHead + "DATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 0\n";
  const struct {
    const char* name;
    std::string bytes;
    std::string message;
    int line;
  } rows[] = {
      {"not vtk", "hello\n", "ERROR\nExpected # vtk DataFile Version, found \"hello\".", 1},
      {"structured", kHead + "DATASET STRUCTURED_POINTS\n",
       "ERROR\nExpected UNSTRUCTURED_GRID or POLYDATA, found \"STRUCTURED_POINTS\".", 4},
      {"missing point", grid + "CELLS 1 4\n3 0 1 7\nCELL_TYPES 1\n5\n",
       "ERROR\nElement 0 refers to node 7, which the file does not define.", 7},
      {"wrong point count", grid + "CELLS 1 3\n2 0 1\nCELL_TYPES 1\n5\n", "ERROR\nCell 0 of VTK type 5 has 2 points.",
       7},
      // Each run of cells names the line it began on: the first, the last and
      // the cell after a run.
      {"bad cell of the first run", poly + "VERTICES 1 2\n1 0\nLINES 1 2\n1 0\nPOLYGONS 1 4\n3 0 1 2\n",
       "ERROR\nCell 1 of VTK type 4 has 1 points.", 9},
      {"bad cell of the last run", poly + "VERTICES 1 2\n1 0\nLINES 1 3\n2 0 1\nTRIANGLE_STRIPS 1 3\n2 0 1\n",
       "ERROR\nCell 2 of VTK type 6 has 2 points.", 11},
      {"bad second cell of a run", poly + "LINES 1 3\n2 0 1\nTRIANGLE_STRIPS 2 7\n3 0 1 2\n2 0 1\n",
       "ERROR\nCell 2 of VTK type 6 has 2 points.", 9},
      {"cell list too short", grid + "CELLS 2 4\n3 0 1 2\n", "ERROR\nThe cell list ends before its 2 cells.", 8},
      // The list is judged once it has been read: the line is its last.
      {"a cell's count past its list", grid + "CELLS 2 8\n3 0 1 2\n5 0 1 2\nCELL_TYPES 2\n5 5\n",
       "ERROR\nCell 1 has more points than its list holds.", 9},
      {"a count one past its list", grid + "CELLS 1 4\n4 0 1 2\n", "ERROR\nCell 0 has more points than its list holds.", 8},
      {"a cell of no points", grid + "CELLS 2 5\n0\n3 0 1 2\nCELL_TYPES 2\n5 5\n", "ERROR\nCell 0 of VTK type 5 has 0 points.",
       7},
      {"types missing", grid + "CELLS 1 4\n3 0 1 2\n", "ERROR\nExpected 1 cell types, found 0.", 9},
      {"count beyond the file", kHead + "DATASET POLYDATA\nPOINTS 99999999 float\n",
       "ERROR\nThe number of points (99999999) is more than the rest of the file can hold.", 5},
      {"bad value", kHead + "DATASET POLYDATA\nPOINTS 1 float\n0 nan 0\n", "ERROR\nExpected a value, found \"nan\".",
       6},
      {"truncated binary", "# vtk DataFile Version 3.0\nt\nBINARY\nDATASET POLYDATA\nPOINTS 1 float\nabcdef",
       "ERROR\nByte offset 68.\nThe file ends inside a block of float values.", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    expectRefused(row.bytes, "vtk", row.message, row.line);
  }
}

TEST(F_VtuReader, MalformedFilesAreRefusedWithTheByteOffsetAndWhat) {
  std::string zlib = readFileBytes(fixturePath("cube-hex-zlib.vtu"));
  // Spoil the first compressed block: its bytes are the second base64 run of
  // the first array.
  const std::size_t data = zlib.find("==", zlib.find("<DataArray")) + 2;
  zlib.replace(data, 8, "AAAAAAAA");
  std::string raw = readFileBytes(fixturePath("cube-hex-raw.vtu"));
  const std::size_t appended = raw.find('_', raw.find("<AppendedData")) + 1;
  raw.resize(appended + 4400);  // the points, read first, start at 4336
  // Where the appended points of a fixture start.
  auto pointsOf = [](const std::string& bytes) {
    const std::size_t offset = bytes.find("offset=\"", bytes.find("<DataArray", bytes.find("<Points>"))) + 8;
    return bytes.find('_', bytes.find("<AppendedData")) + 1 + std::stoul(bytes.substr(offset, 20));
  };
  // Appended base64 cut inside the points.
  auto cutInPoints = [&](const char* file, std::size_t& pointsAt) {
    std::string bytes = readFileBytes(fixturePath(file));
    pointsAt = pointsOf(bytes);
    bytes.resize(pointsAt + 100);
    return bytes;
  };
  std::size_t plainAt = 0, packedAt = 0;
  const std::string plain64 = cutInPoints("cube-hex-appended-base64.vtu", plainAt);
  const std::string packed64 = cutInPoints("cube-hex-appended-base64-zlib.vtu", packedAt);
  // The zlib header of the appended points (32-bit numbers: one block, its
  // size, the last block's size, then its packed size) with its packed
  // size one past the bytes after the header, or its size one past what
  // its packed size can hold.
  auto pointsHeader = [&](bool longer, std::size_t& pointsAt) {
    std::string bytes = readFileBytes(fixturePath("cube-hex-raw-zlib.vtu"));
    pointsAt = pointsOf(bytes);
    std::uint32_t header[4];
    std::memcpy(header, bytes.data() + pointsAt, sizeof header);
    EXPECT_EQ(header[0], 1u);
    if (longer) {
      header[3] = static_cast<std::uint32_t>(bytes.size() - pointsAt - sizeof header + 1);
    } else {
      header[2] = 1100 * header[3] + 1025;
    }
    std::memcpy(bytes.data() + pointsAt, header, sizeof header);
    return bytes;
  };
  std::size_t longAt = 0, moreAt = 0;
  const std::string longBlock = pointsHeader(true, longAt);
  const std::string moreBlock = pointsHeader(false, moreAt);
  const std::string head = "<VTKFile type=\"UnstructuredGrid\"><UnstructuredGrid><Piece NumberOfPoints=\"1\" NumberOfCells=\"0\">";
  // Two triangles over the connectivity and ends given.
  auto cells = [](const std::string& ends, const std::string& connectivity = "0 1 2 2 1 0") {
    return "<VTKFile type=\"UnstructuredGrid\"><UnstructuredGrid><Piece NumberOfPoints=\"3\" NumberOfCells=\"2\"><Points>"
           "<DataArray type=\"Float32\" NumberOfComponents=\"3\" format=\"ascii\">0 0 0 1 0 0 0 1 0</DataArray></Points>"
           "<Cells><DataArray type=\"Int32\" Name=\"connectivity\" format=\"ascii\">" +
           connectivity + "</DataArray><DataArray type=\"Int32\" Name=\"offsets\" format=\"ascii\">" + ends +
           "</DataArray><DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">5 5</DataArray></Cells></Piece>";
  };
  const std::string offsetsAt = std::to_string(cells("").find("<DataArray type=\"Int32\" Name=\"offsets\""));
  // The last end on the connectivity's end, or before it (the rest is no cell's).
  for (const char* connectivity : {"0 1 2 2 1 0", "0 1 2 2 1 0 1"}) {
    const ImportRun run = importBytes(cells("3 6", connectivity), "vtu");
    ASSERT_TRUE(run.ok) << run.last();
    EXPECT_EQ(run.mesh.layer(1).elementCount(), 2);
  }
  const struct {
    const char* name;
    std::string bytes;
    std::string message;
  } rows[] = {
      {"poly data", "<VTKFile type=\"PolyData\">", "Byte offset 0.\nExpected type=\"UnstructuredGrid\", found \"PolyData\"."},
      {"no piece", "<VTKFile type=\"UnstructuredGrid\"></VTKFile>", "Byte offset 0.\nExpected a <Piece>."},
      {"spoilt block", zlib, "Byte offset " + std::to_string(zlib.find('>', zlib.find("<DataArray")) + 1) +
                                 ".\nA compressed block cannot be inflated."},
      {"cut appended data", raw, "Byte offset " + std::to_string(appended + 4336) +
                                     ".\nThe block declares more bytes than the file holds."},
      {"cut appended base64", plain64,
       "Byte offset " + std::to_string(plainAt) + ".\nThe appended data ends inside this array."},
      {"cut appended base64, compressed", packed64,
       "Byte offset " + std::to_string(packedAt) + ".\nThe appended data ends inside this array."},
      {"a block longer than the data", longBlock,
       "Byte offset " + std::to_string(longAt) + ".\nA compressed block is longer than the data that holds it."},
      {"a block declaring more than it can hold", moreBlock,
       "Byte offset " + std::to_string(moreAt) + ".\nA compressed block declares more bytes than it can hold."},
      {"too few points", head + "<Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" format=\"ascii\">0 0"
                                "</DataArray></Points></Piece>",
       "Byte offset " + std::to_string(head.size() + 8) + ".\nExpected 3 values in the array , found 2."},
      {"an end before the one before", cells("3 2"),
       "Byte offset " + offsetsAt + ".\nThe offsets of cell 1 lie outside its connectivity."},
      {"an end past the connectivity", cells("3 7"),
       "Byte offset " + offsetsAt + ".\nThe offsets of cell 1 lie outside its connectivity."},
      {"huge count", "<VTKFile type=\"UnstructuredGrid\"><Piece NumberOfPoints=\"99999999999\">",
       "Byte offset 33.\nExpected NumberOfPoints to be a count the file can hold, found \"99999999999\"."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    expectRefused(row.bytes, "vtu", "ERROR\n" + row.message, 0);
  }
}

namespace {

// A strip of `quads` quadrilaterals (and a vertex, a line and a triangle
// at its start) as legacy VTK and as .vtu, in text or binary: its cell list
// spans many blocks of converted values, with cells across their ends.
struct Strip {
  int quads;
  int missingAt = -1;  // the quad whose last point the file lacks
  bool quadsOnly = false;  // without the vertex, line and triangle
  int unevenAt = -1;  // this quad a triangle, the next a polygon of 5 points
  int byteTypeAt = -1;  // in .vtu files, this cell of type 255, a byte's last value
  int points() const { return 2 * (quads + 1); }
  std::vector<std::vector<std::int32_t>> cells() const {
    std::vector<std::vector<std::int32_t>> c = {{0}, {0, 1}, {0, 1, 2}};
    if (quadsOnly) c.clear();
    for (int i = 0; i < quads; ++i) {
      c.push_back({2 * i, 2 * i + 2, 2 * i + 3, i == missingAt ? points() + 7 : 2 * i + 1});
    }
    if (unevenAt >= 0) {
      const std::size_t at = c.size() - static_cast<std::size_t>(quads - unevenAt);
      c[at].pop_back();       // a triangle
      c[at + 1].push_back(0);  // a polygon of five points, which is skipped
    }
    return c;
  }
  static std::int32_t typeOf(std::size_t n) { return n == 1 ? 1 : n == 2 ? 3 : n == 3 ? 5 : n == 4 ? 9 : 7; }
  template <class T>
  static void put(std::string& s, T v, bool bigEndian) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof b);
    if (bigEndian == (std::endian::native == std::endian::little)) std::reverse(b, b + sizeof b);
    s.append(b, sizeof b);
  }
  std::string legacy(bool binary) const {
    const auto all = cells();
    std::size_t size = 0;
    for (const auto& c : all) size += 1 + c.size();
    std::string s = std::string("# vtk DataFile Version 3.0\nstrip\n") + (binary ? "BINARY" : "ASCII") +
                    "\nDATASET UNSTRUCTURED_GRID\nPOINTS " + std::to_string(points()) + " double\n";
    auto value = [&](auto v) {
      if (binary) {
        put(s, v, true);
      } else {
        s += std::to_string(v) + "\n";
      }
    };
    for (int i = 0; i < points(); ++i) {
      for (double v : {i / 2 * 0.5, i % 2 * 1.0, 0.0}) value(v);
    }
    s += "\nCELLS " + std::to_string(all.size()) + " " + std::to_string(size) + "\n";
    for (const auto& c : all) {
      value(static_cast<std::int32_t>(c.size()));
      for (std::int32_t p : c) value(p);
    }
    s += "\nCELL_TYPES " + std::to_string(all.size()) + "\n";
    for (const auto& c : all) value(typeOf(c.size()));
    return s + "\n";
  }
  std::string vtu(bool binary) const {
    const auto all = cells();
    std::string xyz, conn, offsets, types;
    auto add = [&](std::string& to, auto v) {
      if (binary) {
        put(to, v, false);
      } else {
        to += std::to_string(v) + " ";
      }
    };
    for (int i = 0; i < points(); ++i) {
      for (double v : {i / 2 * 0.5, i % 2 * 1.0, 0.0}) add(xyz, v);
    }
    std::int64_t end = 0;
    for (const auto& c : all) {
      for (std::int32_t p : c) add(conn, p);
      end += static_cast<std::int64_t>(c.size());
      add(offsets, end);
      add(types, static_cast<std::uint8_t>(typeOf(c.size())));
    }
    auto array = [&](const char* type, const char* name, const std::string& data, const char* more = "") {
      std::string body = data;
      if (binary) {
        std::string block;
        put(block, static_cast<std::uint32_t>(data.size()), false);
        body = base64Text(block + data);
      }
      return std::string("<DataArray type=\"") + type + "\" Name=\"" + name + "\" " + more + " format=\"" +
             (binary ? "binary" : "ascii") + "\">" + body + "</DataArray>\n";
    };
    return "<VTKFile type=\"UnstructuredGrid\" byte_order=\"LittleEndian\"><UnstructuredGrid><Piece NumberOfPoints=\"" +
           std::to_string(points()) + "\" NumberOfCells=\"" + std::to_string(all.size()) + "\"><Points>" +
           array("Float64", "Points", xyz, "NumberOfComponents=\"3\"") + "</Points><Cells>" +
           array("Int32", "connectivity", conn) + array("Int64", "offsets", offsets) + array("UInt8", "types", types) +
           "</Cells></Piece></UnstructuredGrid></VTKFile>\n";
  }
  // As .vtu with the arrays appended raw (64-bit block headers, 64-bit
  // point numbers), a comment of `pad` bytes before the tags, and the
  // connectivity `short` values short of what the offsets name.
  std::string vtuRaw(std::size_t pad = 0, std::size_t shortBy = 0) const { return appended(pad, shortBy, false, -1); }
  // As vtuRaw, each array in zlib blocks of 4 KiB (a strip of 2 * kMinShare
  // quads has hundreds), block `spoilt` of the points not zlib data (none
  // when negative).
  std::string vtuPacked(int spoilt = -1) const { return appended(0, 0, true, spoilt); }
  std::string appended(std::size_t pad, std::size_t shortBy, bool packed, int spoilt) const {
    const auto all = cells();
    std::string xyz, conn, offsets, types;
    for (int i = 0; i < points(); ++i) {
      for (double v : {i / 2 * 0.5, i % 2 * 1.0, 0.0}) put(xyz, v, false);
    }
    std::int64_t end = 0;
    for (const auto& c : all) {
      for (std::int32_t p : c) put(conn, static_cast<std::int64_t>(p), false);
      end += static_cast<std::int64_t>(c.size());
      put(offsets, end, false);
      const bool byte = &c - all.data() == byteTypeAt;
      put(types, static_cast<std::uint8_t>(byte ? 255 : typeOf(c.size())), false);
    }
    conn.resize(conn.size() - 8 * shortBy);
    std::string data, tags;
    auto array = [&](const char* type, const char* name, const std::string& bytes, const char* more = "") {
      tags += std::string("<DataArray type=\"") + type + "\" Name=\"" + name + "\" " + more +
              " format=\"appended\" offset=\"" + std::to_string(data.size()) + "\"/>\n";
      if (!packed) {
        put(data, static_cast<std::uint64_t>(bytes.size()), false);
        data += bytes;
        return;
      }
      constexpr std::size_t kBlock = 4096;
      const std::size_t blocks = (bytes.size() + kBlock - 1) / kBlock;
      std::string header, blockData;
      for (std::uint64_t v : {std::uint64_t{blocks}, std::uint64_t{kBlock}, std::uint64_t{bytes.size() % kBlock}}) {
        put(header, v, false);
      }
      std::vector<unsigned char> block(compressBound(kBlock));
      for (std::size_t b = 0; b < blocks; ++b) {
        uLongf size = static_cast<uLongf>(block.size());
        const std::size_t n = std::min(kBlock, bytes.size() - b * kBlock);
        compress2(block.data(), &size, reinterpret_cast<const Bytef*>(bytes.data()) + b * kBlock, static_cast<uLong>(n), 1);
        if (&bytes == &xyz && static_cast<int>(b) == spoilt) std::fill_n(block.begin(), size, 'x');
        put(header, static_cast<std::uint64_t>(size), false);
        blockData.append(reinterpret_cast<const char*>(block.data()), size);
      }
      data += header + blockData;
    };
    tags += "<Points>";
    array("Float64", "Points", xyz, "NumberOfComponents=\"3\"");
    tags += "</Points><Cells>";
    array("Int64", "connectivity", conn);
    array("Int64", "offsets", offsets);
    array("UInt8", "types", types);
    return "<!--" + std::string(pad, '-') + "--><VTKFile type=\"UnstructuredGrid\" byte_order=\"LittleEndian\" "
           "header_type=\"UInt64\"" + (packed ? " compressor=\"vtkZLibDataCompressor\"" : "") +
           "><UnstructuredGrid><Piece NumberOfPoints=\"" + std::to_string(points()) + "\" NumberOfCells=\"" +
           std::to_string(all.size()) + "\">" + tags +
           "</Cells></Piece></UnstructuredGrid><AppendedData encoding=\"raw\">_" + data + "</AppendedData></VTKFile>\n";
  }
  static std::string base64Text(const std::string& bytes) {
    static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
      std::uint32_t bits = 0;
      const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
      for (std::size_t k = 0; k < 3; ++k) bits = bits << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0);
      for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[bits >> (18 - 6 * k) & 63] : '=';
    }
    return out;
  }
};

}  // namespace

// Values go into the mesh as each block is converted: a large binary file
// gives what its text gives, in both VTK formats.
TEST(F_VtkReaders, LargeBinaryFilesGiveWhatTheirTextGives) {
  const Strip strip{5000};  // 20 000 values in the cell list, in blocks of 16 384
  const struct {
    const char* name;
    std::string text, binary;
    const char* extension;
  } rows[] = {{"legacy", strip.legacy(false), strip.legacy(true), "vtk"},
              {"xml", strip.vtu(false), strip.vtu(true), "vtu"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ImportRun text = importBytes(row.text, row.extension);
    ASSERT_TRUE(text.ok) << text.last();
    ASSERT_EQ(text.mesh.layerCount(), 3);  // points, lines, surfaces
    EXPECT_EQ(text.mesh.layer(3).elementCount(), strip.quads + 1);
    EXPECT_EQ(text.mesh.layer(3).point(text.mesh.layer(3).pointCount()), F_Point3D(strip.quads * 0.5, 1, 0));
    const ImportRun binary = importBytes(row.binary, row.extension);
    ASSERT_TRUE(binary.ok) << binary.last();
    EXPECT_TRUE(binary.mesh == text.mesh);
  }
}

TEST(F_VtkLegacyReader, ARegionArrayAmongTheCellDataChoosesTheLayers) {
  const std::string file = kHead +
                           "DATASET UNSTRUCTURED_GRID\nPOINTS 4 float\n0 0 0 1 0 0 1 1 0 0 1 0\n"
                           "CELLS 3 11\n3 0 1 2\n3 0 2 3\n2 0 1\nCELL_TYPES 3\n5 5 3\n"
                           "CELL_DATA 3\nSCALARS quality float 1\nLOOKUP_TABLE default\n0.5 0.7 0.9\n"
                           "FIELD FieldData 1\nMaterialIds 1 3 int\n7 8 7\nMETADATA\nINFORMATION 0\n\n"
                           "POINT_DATA 4\nVECTORS v float\n3 4 0 0 0 0 0 0 1 0 0 2\n";
  const ImportRun run = importBytes(file, "vtk");
  ASSERT_TRUE(run.ok) << run.last();
  ASSERT_EQ(run.mesh.layerCount(), 2);
  EXPECT_EQ(run.mesh.layerName(1), "MaterialIds 7");
  EXPECT_EQ(run.mesh.layer(1).elementCount(), 2);  // a triangle and a line
  EXPECT_EQ(run.mesh.layerName(2), "MaterialIds 8");
  const std::optional<F_VectorReal> v = run.fields.layerField(1, "v");
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)(1), 5.0);
  EXPECT_EQ((*v)(3), 1.0);
}

TEST(F_VtuReader, PiecesFollowOneAnotherInPointNumbers) {
  auto piece = [](const char* points, const char* temperature) {
    return std::string("<Piece NumberOfPoints=\"3\" NumberOfCells=\"1\"><PointData><DataArray type=\"Float64\" "
                       "Name=\"t\" format=\"ascii\">") +
           temperature +
           "</DataArray></PointData><Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" format=\"ascii\">" +
           points +
           "</DataArray></Points><Cells><DataArray type=\"Int32\" Name=\"connectivity\" format=\"ascii\">0 1 2"
           "</DataArray><DataArray type=\"Int32\" Name=\"offsets\" format=\"ascii\">3</DataArray>"
           "<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">5</DataArray></Cells></Piece>";
  };
  const std::string file = "<?xml version=\"1.0\"?>\n<!-- two pieces -->\n<VTKFile type=\"UnstructuredGrid\" "
                           "byte_order=\"BigEndian\"><UnstructuredGrid>" +
                           piece("0 0 0 1 0 0 0 1 0", "1 2 3") + piece("5 0 0 6 0 0 5 1 0", "4 5 6") +
                           "</UnstructuredGrid></VTKFile>";
  const ImportRun run = importBytes(file, "vtu");
  ASSERT_TRUE(run.ok) << run.last();
  ASSERT_EQ(run.mesh.layerCount(), 1);
  const F_S3dLayer& layer = run.mesh.layer(1);
  ASSERT_EQ(layer.pointCount(), 6);
  EXPECT_EQ(layer.element(2).node(1), 4);
  EXPECT_EQ(layer.point(4), F_Point3D(5, 0, 0));
  const std::optional<F_VectorReal> t = run.fields.layerField(1, "t");
  ASSERT_TRUE(t);
  EXPECT_EQ((*t)(6), 6.0);
}

// Point numbers stored as 64-bit integers are judged as integers: up to
// 10^15 a number names a point (here one the file does not define), past it
// or below 0 none, as the same number read as a real would.
TEST(F_VtuReader, IntegerPointNumbersHaveTheBoundsOfReals) {
  const struct {
    const char* type;
    std::uint64_t third;
    const char* named;  // the node the message names, or "" when the triangle is read
  } rows[] = {
      {"Int64", 2, ""},
      {"Int64", 1000000000000000ull, "1000000000000000"},
      {"Int64", 1000000000000001ull, "-1"},
      {"Int64", static_cast<std::uint64_t>(-1), "-1"},
      {"UInt64", 1000000000000000ull, "1000000000000000"},
      {"UInt64", 1000000000000001ull, "-1"},
      {"UInt64", ~0ull, "-1"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.type) + " " + std::to_string(row.third));
    std::string xyz, conn, offsets;
    for (double v : {0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0}) Strip::put(xyz, v, false);
    for (std::uint64_t p : {std::uint64_t{0}, std::uint64_t{1}, row.third}) Strip::put(conn, p, false);
    Strip::put(offsets, std::int64_t{3}, false);
    auto array = [](const std::string& type, const char* name, const std::string& data, const char* more = "") {
      std::string block;
      Strip::put(block, static_cast<std::uint32_t>(data.size()), false);
      return "<DataArray type=\"" + type + "\" Name=\"" + name + "\" " + more + " format=\"binary\">" +
             Strip::base64Text(block + data) + "</DataArray>\n";
    };
    const std::string file =
        "<VTKFile type=\"UnstructuredGrid\" byte_order=\"LittleEndian\"><UnstructuredGrid>"
        "<Piece NumberOfPoints=\"3\" NumberOfCells=\"1\"><Points>" +
        array("Float64", "Points", xyz, "NumberOfComponents=\"3\"") + "</Points><Cells>" +
        array(row.type, "connectivity", conn) + array("Int64", "offsets", offsets) +
        "<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">5</DataArray>\n"
        "</Cells></Piece></UnstructuredGrid></VTKFile>\n";
    const ImportRun run = importBytes(file, "vtu");
    if (!*row.named) {
      ASSERT_TRUE(run.ok) << run.last();
      EXPECT_EQ(run.mesh.layer(1).elementCount(), 1);
      continue;
    }
    EXPECT_FALSE(run.ok);
    EXPECT_NE(run.last().find("Element 0 refers to node " + std::string(row.named) + ","), std::string::npos)
        << run.last();
  }
}

// A long run of quads is resolved on several threads: the mesh, or the
// message about a point missing where two shares meet, is that of one thread.
// A legacy cell list of cells of one size is converted on several threads,
// and one whose sizes differ only where two shares meet is read value by value.
// Blocks are inflated a few at a time on each thread: a block that is not
// zlib data, first, in the middle or last, is found on any number of them.
TEST(F_VtuReader, CompressedBlocksInflatedOnSeveralThreadsGiveWhatOneGives) {
  const Strip strip{static_cast<int>(2 * F_WorkShares::kMinShare), -1, true};
  const int lastPointBlock = (strip.points() * 24 - 1) / 4096;
  for (const int spoilt : {-1, 0, 200, lastPointBlock}) {
    SCOPED_TRACE(testing::Message() << "spoilt block " << spoilt);
    const std::string bytes = strip.vtuPacked(spoilt);
    setenv("KAVRILON_THREADS", "1", 1);
    const ImportRun one = importBytes(bytes, "vtu");
    EXPECT_EQ(one.ok, spoilt < 0) << one.last();
    if (spoilt >= 0) {
      EXPECT_NE(one.last().find("A compressed block cannot be inflated."), std::string::npos);
    } else {
      EXPECT_TRUE(one.mesh == importBytes(strip.vtuRaw(), "vtu").mesh);
    }
    for (const char* threads : {"2", "3"}) {
      setenv("KAVRILON_THREADS", threads, 1);
      const ImportRun many = importBytes(bytes, "vtu");
      EXPECT_EQ(many.shown, one.shown);
      EXPECT_TRUE(many.mesh == one.mesh);
    }
    unsetenv("KAVRILON_THREADS");
  }
}

TEST(F_VtkReaders, LongRunsGiveTheSameMeshOnAnyNumberOfThreads) {
  const int quads = static_cast<int>(2 * F_WorkShares::kMinShare);
  const struct {
    int missingAt;
    bool quadsOnly;
    int unevenAt;
  } rows[] = {{-1, false, -1}, {quads / 2 - 1, false, -1}, {quads / 2, false, -1}, {-1, true, -1},
              {quads / 2, true, -1}, {-1, true, quads / 2 - 1}, {-1, true, quads - 2}};
  for (const auto& row : rows) {
    const int missingAt = row.missingAt;
    const Strip strip{quads, missingAt, row.quadsOnly, row.unevenAt};
    for (const auto& [bytes, extension] :
         {std::pair{strip.legacy(true), "vtk"}, std::pair{strip.vtu(true), "vtu"}, std::pair{strip.vtuRaw(), "vtu"}}) {
      SCOPED_TRACE(testing::Message() << extension << ", missing at " << missingAt << ", quads only " << row.quadsOnly
                                      << ", uneven at " << row.unevenAt);
      setenv("KAVRILON_THREADS", "1", 1);
      const ImportRun one = importBytes(bytes, extension);
      EXPECT_EQ(one.ok, missingAt < 0) << one.last();
      if (missingAt >= 0) {
        EXPECT_NE(one.last().find("Element " + std::to_string(missingAt + (row.quadsOnly ? 0 : 3)) + " refers to node"),
                  std::string::npos)
            << one.last();
      }
      for (const char* threads : {"2", "3"}) {
        setenv("KAVRILON_THREADS", threads, 1);
        const ImportRun many = importBytes(bytes, extension);
        EXPECT_EQ(many.shown, one.shown);
        EXPECT_TRUE(many.mesh == one.mesh);
      }
      unsetenv("KAVRILON_THREADS");
    }
  }
}

// A large .vtu file whose tags lie in its head is read a piece at a time
// where its arrays are used, anything else whole: the meshes and messages
// are the same either way, wherever the head ends.
TEST(F_VtuReader, AFileReadInPiecesGivesWhatAWholeFileGives) {
  constexpr std::size_t kHeadBytes = 64 * 1024;  // the head read first
  const Strip strip{static_cast<int>(2 * F_WorkShares::kMinShare), -1, true};
  const std::string plain = strip.vtuRaw();
  const std::size_t underscore = plain.find("raw\">_") + 5;  // the byte before the appended data
  ASSERT_GT(plain.size(), kHeadBytes);
  ASSERT_LT(underscore, kHeadBytes);
  const ImportRun whole = importBytes(strip.vtu(true), "vtu");  // inline arrays: always read whole
  ASSERT_TRUE(whole.ok) << whole.last();
  const struct {
    const char* name;
    std::size_t pad;
  } rows[] = {
      {"the tags well inside the head", 0},
      {"'_' the head's last byte", kHeadBytes - 1 - underscore},
      {"'_' one past the head", kHeadBytes - underscore},
      {"the tags far past the head", 3 * kHeadBytes},
  };
  for (const char* threads : {"1", "2"}) {
    setenv("KAVRILON_THREADS", threads, 1);
    for (const auto& row : rows) {
      SCOPED_TRACE(testing::Message() << row.name << ", threads " << threads);
      const std::string bytes = strip.vtuRaw(row.pad);
      const ImportRun run = importBytes(bytes, "vtu");
      ASSERT_TRUE(run.ok) << run.last();
      EXPECT_TRUE(run.mesh == whole.mesh);
      // A connectivity one value short of the offsets: the last cell lies outside it.
      const std::string cut = strip.vtuRaw(row.pad, 1);
      const std::string offsetsAt = std::to_string(cut.find("<DataArray type=\"Int64\" Name=\"offsets\""));
      expectRefused(cut, "vtu",
                    "ERROR\nByte offset " + offsetsAt + ".\nThe offsets of cell " +
                        std::to_string(2 * F_WorkShares::kMinShare - 1) + " lie outside its connectivity.",
                    0);
    }
  }
  // A quad whose last point the file lacks, in the second share
  // or last: the message one thread gives.
  const int quads = static_cast<int>(2 * F_WorkShares::kMinShare);
  for (const int missingAt : {quads / 2 + 5, quads - 1}) {
    SCOPED_TRACE(missingAt);
    const Strip bad{quads, missingAt, true};
    const auto [one, two] = importOnOneAndTwo(bad.vtuRaw(), "vtu");
    EXPECT_FALSE(one.ok);
    EXPECT_EQ(two.shown, one.shown);
    EXPECT_NE(one.last().find("Element " + std::to_string(missingAt) + " refers to node " +
                              std::to_string(bad.points() + 7) + ", which the file does not define."),
              std::string::npos)
        << one.last();
  }
  // A cell of type 255 in the second share or last: skipped under that type.
  for (const int byteTypeAt : {quads / 2 + 3, quads - 1}) {
    SCOPED_TRACE(byteTypeAt);
    Strip odd{quads, -1, true};
    odd.byteTypeAt = byteTypeAt;
    const auto [one, two] = importOnOneAndTwo(odd.vtuRaw(), "vtu");
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(two.shown, one.shown);
    EXPECT_TRUE(two.mesh == one.mesh);
    EXPECT_NE(one.last().find("VTK cell type 255"), std::string::npos) << one.last();
  }
  unsetenv("KAVRILON_THREADS");
}

namespace {

// A binary legacy file of a row of `quads` quadrilaterals over 2 * quads + 2
// points: as an unstructured grid (every `pixelEvery`-th cell a pixel, whose
// points are in rows), or as poly data with a second list of lines after
// the polygons; `nanAt` spoils that point's x, `floats` stores the points as floats.
struct LegacyRow {
  std::size_t quads;
  bool polyData = false;
  std::size_t pixelEvery = 0;
  std::size_t nanAt = SIZE_MAX;
  bool floats = false;
  std::size_t pastAt = SIZE_MAX;  // the cell whose last point is one past the last point
  std::size_t oddTypeAt = SIZE_MAX;  // the cell whose type is 300, which no cell has
  bool typesCut = false;  // the file ends one type short
  // The cell whose count is other than 4: a triangle and, in the next cell's
  // place, a poly-line of five points (Mixed), a count past the list (Huge)
  // or one of 3 before its four points (Short).
  std::size_t unlikeAt = SIZE_MAX;
  enum Unlike { Mixed, Huge, Short } unlike = Mixed;
  // The cells as OFFSETS and CONNECTIVITY of 64-bit ints (Huge: the offset
  // after the cell past its connectivity; Short: the cell ends one early).
  bool offsetArrays = false;
  std::string bytes() const {
    auto put32 = [](std::string& s, std::int32_t v) {
      for (int b = 3; b >= 0; --b) s += static_cast<char>(static_cast<std::uint32_t>(v) >> (8 * b) & 0xff);
    };
    auto putReal = [&](std::string& s, double v) {
      if (floats) {
        const float f = static_cast<float>(v);
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        put32(s, static_cast<std::int32_t>(bits));
        return;
      }
      std::uint64_t bits;
      std::memcpy(&bits, &v, 8);
      for (int b = 7; b >= 0; --b) s += static_cast<char>(bits >> (8 * b) & 0xff);
    };
    const std::size_t points = 2 * quads + 2;
    std::string s = std::string("# vtk DataFile Version ") + (offsetArrays ? "5.1" : "3.0") + "\nrow\nBINARY\nDATASET " +
                    (polyData ? "POLYDATA" : "UNSTRUCTURED_GRID") + "\nPOINTS " + std::to_string(points) +
                    (floats ? " float\n" : " double\n");
    for (std::size_t i = 0; i < points; ++i) {
      putReal(s, i == nanAt ? std::nan("") : static_cast<double>(i / 2));
      putReal(s, static_cast<double>(i % 2));
      putReal(s, 0);
    }
    if (offsetArrays) {
      auto put64 = [&](std::string& to, std::int64_t v) {
        put32(to, static_cast<std::int32_t>(v >> 32));
        put32(to, static_cast<std::int32_t>(v & 0xffffffff));
      };
      std::string ends, connectivity;
      std::int64_t end = 0;
      put64(ends, 0);
      for (std::size_t q = 0; q < quads; ++q) {
        const std::int64_t a = static_cast<std::int64_t>(2 * q);
        const std::int64_t last = q == pastAt ? static_cast<std::int64_t>(points) : a + 1;
        std::vector<std::int64_t> ids{a, a + 2, a + 3, last};
        if (q == unlikeAt && unlike == Mixed) ids = {a, a + 2, a + 3};
        if (unlikeAt != SIZE_MAX && q == unlikeAt + 1 && unlike == Mixed) ids = {a, a + 2, a + 3, a + 1, a};
        for (const std::int64_t id : ids) put64(connectivity, id);
        end += static_cast<std::int64_t>(ids.size()) - (q == unlikeAt && unlike == Short ? 1 : 0);
        if (unlikeAt != SIZE_MAX && q == unlikeAt + 1 && unlike == Short) end += 1;
        put64(ends, q == unlikeAt && unlike == Huge ? std::int64_t{1} << 40 : end);
      }
      s += std::string("\n") + (polyData ? "POLYGONS " : "CELLS ") + std::to_string(quads + 1) + " " +
           std::to_string(connectivity.size() / 8) + "\nOFFSETS vtktypeint64\n" + ends +
           "\nCONNECTIVITY vtktypeint64\n" + connectivity;
    } else {
    s += std::string("\n") + (polyData ? "POLYGONS " : "CELLS ") + std::to_string(quads) + " " +
         std::to_string(5 * quads) + "\n";
    }
    for (std::size_t q = 0; q < quads && !offsetArrays; ++q) {
      const bool pixel = pixelEvery > 0 && q % pixelEvery == 0;
      const std::int32_t a = static_cast<std::int32_t>(2 * q);
      const std::int32_t last = q == pastAt ? static_cast<std::int32_t>(points) : pixel ? a + 3 : a + 1;
      if (q == unlikeAt && unlike == Mixed) {
        for (std::int32_t v : {3, a, a + 2, a + 3, 5, a + 2, a + 4, a + 5, a + 3, a}) put32(s, v);
        ++q;
        continue;
      }
      const std::int32_t count = q != unlikeAt ? 4 : unlike == Huge ? 1 << 30 : 3;
      for (std::int32_t v : {count, a, a + 2, pixel ? a + 1 : a + 3, last}) put32(s, v);
    }
    if (polyData && offsetArrays) {
      s += "\nLINES 3 4\nOFFSETS vtktypeint64\n";
      for (std::int32_t v : {0, 0, 0, 2, 0, 4}) put32(s, v);
      s += "\nCONNECTIVITY vtktypeint64\n";
      for (std::int32_t v : {0, 0, 0, 1, 0, 2, 0, 3}) put32(s, v);
    } else if (polyData) {
      s += "\nLINES 2 6\n";
      for (std::int32_t v : {2, 0, 1, 2, 2, 3}) put32(s, v);
    } else {
      s += "\nCELL_TYPES " + std::to_string(quads) + "\n";
      for (std::size_t q = 0; q < quads; ++q) {
        const bool mixed = unlikeAt != SIZE_MAX && unlike == Mixed;
        put32(s, q == oddTypeAt                 ? 300
                 : mixed && q == unlikeAt       ? 5
                 : mixed && q == unlikeAt + 1   ? 4
                 : pixelEvery > 0 && q % pixelEvery == 0 ? 8
                                                         : 9);
      }
      if (typesCut) return s.substr(0, s.size() - 4);
    }
    return s + "\n";
  }
};

}  // namespace

// A legacy cell list of cells of one size stays in the file until the layers
// are built, unless cells of another type need it read first; points of reals
// are read on several threads. Any number of threads gives what one gives.
TEST(F_VtkLegacyReader, CellListsLeftInTheFileGiveWhatOneThreadGives) {
  const std::size_t shared = 2 * F_WorkShares::kMinShare;
  const struct {
    const char* name;
    LegacyRow row;
    int elements;         // of the last layer; 0: refused
    const char* message;  // a part of the refusal
  } rows[] = {
      {"quadrilaterals", {shared}, static_cast<int>(shared), ""},
      {"one short of two shares", {shared - 1}, static_cast<int>(shared - 1), ""},
      {"float points", {shared, false, 0, SIZE_MAX, true}, static_cast<int>(shared), ""},
      {"pixels among them", {shared, false, 3}, static_cast<int>(shared), ""},
      {"a pixel last", {shared, false, shared - 1}, static_cast<int>(shared), ""},
      {"polygons, then lines", {shared, true}, 2, ""},
      {"a point not finite in the second share", {shared, false, 0, shared + 1}, 0, "Node "},
      {"a cell past the last point in the second share", {shared, false, 0, SIZE_MAX, false, shared - 2}, 0,
       "Element "},
      {"a cell past the last point, the last cell", {shared, false, 0, SIZE_MAX, true, shared - 1}, 0, "Element "},
      {"a type no cell has in the second share", {shared, false, 0, SIZE_MAX, false, SIZE_MAX, shared / 2 + 3},
       static_cast<int>(shared - 1), ""},
      {"a type no cell has among the first eight", {shared, false, 0, SIZE_MAX, false, SIZE_MAX, 6},
       static_cast<int>(shared - 1), ""},
      {"the file ends one type short", {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, true}, 0,
       "The file ends inside a block of int values."},
      // Two threads take a list's sizes from its first cell and check them
      // as they read the cells; one reads it value by value. Another size
      // anywhere gives what one thread gives, its refusal before any later.
      {"a triangle and a poly-line of five in the second share",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, shared / 2 + 5}, 4, ""},
      {"a triangle and a poly-line of five, the last two cells",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, shared - 2}, 4, ""},
      {"a triangle and a poly-line of five, the first two cells, among pixels",
       {shared, false, 3, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, 0}, 4, ""},
      {"a triangle and a poly-line of five after a cell past the last point",
       {shared, false, 0, SIZE_MAX, false, 7, SIZE_MAX, false, shared / 2 + 1}, 0, "Element "},
      {"a count past the list in the second share",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, shared / 2 + 1, LegacyRow::Huge}, 0,
       "Cell 32769 has more points than its list holds."},
      {"a count one short, the last cell",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, shared - 1, LegacyRow::Short}, 0, "ERROR\n"},
      {"a count past the list in the second share, the types cut",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, true, shared / 2 + 1, LegacyRow::Huge}, 0,
       "Cell 32769 has more points than its list holds."},
      {"a count past the list after a cell past the last point",
       {shared, false, 0, SIZE_MAX, false, 7, SIZE_MAX, false, shared / 2 + 1, LegacyRow::Huge}, 0,
       "Cell 32769 has more points than its list holds."},
      {"a count one short in the first cell, the types cut",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, true, 0, LegacyRow::Short}, 0, "ERROR\n"},
      {"a count one short in the polygons", {shared, true, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, 9,
       LegacyRow::Short}, 0, "ERROR\n"},
      // Offset and connectivity arrays of binary integers are read on the
      // threads, and checked as one thread checks them.
      {"offset arrays", {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, SIZE_MAX, LegacyRow::Mixed,
       true}, static_cast<int>(shared), ""},
      {"offset arrays, one short of two shares", {shared - 1, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false,
       SIZE_MAX, LegacyRow::Mixed, true}, static_cast<int>(shared - 1), ""},
      {"offset arrays of polygons, then lines", {shared, true, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, SIZE_MAX,
       LegacyRow::Mixed, true}, 2, ""},
      {"offset arrays with a triangle and a poly-line of five, the last two cells",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, shared - 2, LegacyRow::Mixed, true}, 4, ""},
      {"offset arrays with a cell past the last point", {shared, false, 0, SIZE_MAX, false, shared - 1, SIZE_MAX,
       false, SIZE_MAX, LegacyRow::Mixed, true}, 0, "Element "},
      {"an offset past the connectivity in the second share",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, shared / 2 + 1, LegacyRow::Huge, true}, 0,
       "The offsets of cell 32769 lie outside its connectivity."},
      {"an offset past the connectivity, the last",
       {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, shared - 1, LegacyRow::Huge, true}, 0,
       "The offsets of cell 65535 lie outside its connectivity."},
      {"an offset one early", {shared, false, 0, SIZE_MAX, false, SIZE_MAX, SIZE_MAX, false, 7, LegacyRow::Short,
       true}, 0, "Cell 7 of VTK type 9 has 3 points."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto [one, two] = importOnOneAndTwo(row.row.bytes(), "vtk");
    EXPECT_EQ(two.shown, one.shown);
    EXPECT_TRUE(two.mesh == one.mesh);
    if (row.elements == 0) {
      EXPECT_FALSE(one.ok);
      std::string message = row.message;
      if (row.row.unlikeAt != SIZE_MAX) {
      } else if (row.row.nanAt != SIZE_MAX) {
        message += std::to_string(row.row.nanAt) + " has a coordinate that is not a finite number.";
      } else if (row.row.pastAt != SIZE_MAX) {
        message += std::to_string(row.row.pastAt) + " refers to node " + std::to_string(2 * row.row.quads + 2) +
                   ", which the file does not define.";
      }
      EXPECT_NE(one.last().find(message), std::string::npos) << one.last();
      continue;
    }
    ASSERT_TRUE(one.ok) << one.last();
    EXPECT_EQ(one.mesh.layer(one.mesh.layerCount()).elementCount(), row.elements);
    if (row.row.unlikeAt != SIZE_MAX) continue;
    // Every quadrilateral turns the same way, pixels too.
    const F_S3dLayer& quads = one.mesh.layer(1);
    const F_S3dElement& last = quads.element(quads.elementCount());
    EXPECT_EQ(quads.point(last.node(3)), F_Point3D(static_cast<double>(row.row.quads), 1, 0));
  }
}
