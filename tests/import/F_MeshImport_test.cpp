#include "import/F_MeshImport.h"

#include <cmath>

#include "ImportFixtures.h"

namespace {

// The 4x4x4 unit cube: the corner point, the 16 bottom quadrilaterals, and
// the hexahedra by their skin (6 sides of 16 quadrilaterals over the 98
// points that are not inside).
void expectHexCube(const F_S3dMesh& mesh) {
  const std::vector<LayerShape> shapes = shapesOf(mesh);
  ASSERT_EQ(shapes.size(), 3u);
  EXPECT_EQ(shapes[0].key(), std::make_tuple(0, 1, 1));
  EXPECT_EQ(shapes[1].key(), std::make_tuple(16, 25, 0));
  EXPECT_EQ(shapes[2].key(), std::make_tuple(96, 98, 0));
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(shapes[0].lo[k], 0.0);
    EXPECT_EQ(shapes[0].hi[k], 0.0);
    EXPECT_EQ(shapes[2].lo[k], 0.0);
    EXPECT_EQ(shapes[2].hi[k], 1.0);
  }
  EXPECT_EQ(shapes[1].hi[2], 0.0);  // the bottom
}

}  // namespace

TEST(F_MeshImport, EveryEncodingOfTheHexCubeGivesTheSameLayers) {
  const char* const files[] = {
      "cube-hex-2.2-ascii.msh", "cube-hex-2.2-bin.msh",    "cube-hex-4.1-ascii.msh", "cube-hex-4.1-bin.msh",
      "cube-hex-ascii.vtk",     "cube-hex-binary.vtk",     "cube-hex-ascii-5.1.vtk", "cube-hex-binary-5.1.vtk",
      "cube-hex-ascii.vtu",     "cube-hex-base64.vtu",     "cube-hex-raw.vtu",       "cube-hex-zlib.vtu",
      "cube-hex-raw-zlib.vtu",  "cube-skin-polydata.vtk",  "cube-hex-appended-base64.vtu",
      "cube-hex-appended-base64-zlib.vtu",
  };
  for (const char* file : files) {
    SCOPED_TRACE(file);
    F_S3dMesh mesh;
    std::vector<std::string> shown;
    ASSERT_TRUE(importFixture(file, mesh, nullptr, &shown)) << (shown.empty() ? "" : shown.back());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(mesh.name, file);
    expectHexCube(mesh);
    for (const F_S3dLayer& layer : mesh.layers) EXPECT_TRUE(layer.nodesInRange());
  }
}

TEST(F_MeshImport, GmshNamesLayersByPhysicalGroupAndMarksPointElements) {
  F_S3dMesh mesh;
  ASSERT_TRUE(importFixture("cube-hex-4.1-bin.msh", mesh));
  ASSERT_EQ(mesh.layerCount(), 3);
  EXPECT_EQ(mesh.layerName(1), "origin");
  EXPECT_EQ(mesh.layerName(2), "bottom");
  EXPECT_EQ(mesh.layerName(3), "cube");
  EXPECT_EQ(mesh.layer(1).point(1), F_Point3D(0, 0, 0));
  EXPECT_EQ(mesh.layer(1).specialNode(1), 1);
}

TEST(F_MeshImport, EveryEncodingOfTheTetCubeGivesTheSameLayers) {
  std::vector<LayerShape> first;
  for (const char* file : {"cube-tet-2.2-ascii.msh", "cube-tet-2.2-bin.msh", "cube-tet-4.1-ascii.msh",
                           "cube-tet-4.1-bin.msh", "cube-tet-2.2-param-ascii.msh", "cube-tet-2.2-param-bin.msh"}) {
    SCOPED_TRACE(file);
    F_S3dMesh mesh;
    ASSERT_TRUE(importFixture(file, mesh));
    const std::vector<LayerShape> shapes = shapesOf(mesh);
    ASSERT_EQ(shapes.size(), 1u);
    // A closed triangulated surface: 3 edges per face, each shared by two
    // faces, so V - E + F = V - F/2 = 2.
    EXPECT_EQ(shapes[0].points - shapes[0].elements / 2, 2);
    for (const F_S3dElement& e : mesh.layer(1).elements) EXPECT_EQ(e.nodeCount(), 3);
    if (first.empty()) first = shapes;
    EXPECT_EQ(shapes[0].key(), first[0].key());
  }
}

// Straight-sided second-order elements: every mid-edge node halfway between
// the corners beside it, every centre node at the mean of the corners. A
// node order taken wrongly from the file puts a corner or another edge's
// node there instead.
TEST(F_MeshImport, SecondOrderFacesKeepTheirMidNodesBetweenTheirCorners) {
  const struct {
    const char* file;
    int nodes;
  } rows[] = {{"cube-tet10.msh", 6}, {"cube-hex20.msh", 8}, {"cube-hex27.msh", 9}, {"cube-deck.inp", 8}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    F_S3dMesh mesh;
    ASSERT_TRUE(importFixture(row.file, mesh));
    int checked = 0;
    for (const F_S3dLayer& layer : mesh.layers) {
      for (const F_S3dElement& e : layer.elements) {
        const int n = e.nodeCount();
        if (n < 6) continue;
        const int corners = n == 6 ? 3 : 4;
        auto at = [&](int j) { return layer.point(e.node(j % (2 * corners) + 1)); };
        F_Point3D centre;
        for (int c = 0; c < corners; ++c) {
          const F_Point3D mid = at(2 * c + 1);
          const F_Point3D expected((at(2 * c).x + at(2 * c + 2).x) / 2, (at(2 * c).y + at(2 * c + 2).y) / 2,
                                   (at(2 * c).z + at(2 * c + 2).z) / 2);
          EXPECT_LT(mid.distance(expected), 1e-9) << "element node " << 2 * c + 2;
          centre += at(2 * c);
        }
        if (n == 9) {
          centre /= 4;
          EXPECT_LT(layer.point(e.node(9)).distance(centre), 1e-9);
        }
        ++checked;
      }
    }
    EXPECT_GT(checked, 0);
    EXPECT_EQ(checked > 0 ? mesh.layer(mesh.layerCount()).element(1).nodeCount() : 0, row.nodes);
  }
}

TEST(F_MeshImport, TheCalculixDeckGivesOneLayerPerElementSet) {
  F_S3dMesh mesh;
  std::vector<std::string> shown;
  ASSERT_TRUE(importFixture("cube-deck.inp", mesh, nullptr, &shown));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "WARNING\nElements of these types cannot be shown and were skipped:\n\n"
                      "Abaqus element type MASS: 1");
  const struct {
    const char* name;
    int elements, points, specialNodes, nodesEach;
  } rows[] = {
      // 4 three-node beams, 2 segments each; the bottom's 4 eight-node shells;
      // 8 twenty-node bricks of a 2x2x2 grid: 24 faces; SHELLS plus beams 2 and 3.
      {"BEAMS", 8, 9, 3, 2}, {"SHELLS", 4, 21, 4, 8}, {"Bricks", 24, 74, 4, 8}, {"SKIN", 8, 21, 4, 0}};
  ASSERT_EQ(mesh.layerCount(), 4);
  for (int i = 1; i <= 4; ++i) {
    const auto& row = rows[i - 1];
    SCOPED_TRACE(row.name);
    const F_S3dLayer& layer = mesh.layer(i);
    EXPECT_EQ(layer.name, row.name);
    EXPECT_EQ(layer.elementCount(), row.elements);
    EXPECT_EQ(layer.pointCount(), row.points);
    // Nodes 1 to 4 (set FIX) are the bottom corners: marked wherever a layer holds them.
    EXPECT_EQ(layer.specialNodeCount(), row.specialNodes);
    if (row.nodesEach) {
      EXPECT_EQ(layer.element(1).nodeCount(), row.nodesEach);
    }
  }
}

TEST(F_MeshImport, PointDataBecomesFieldsInEachLayersPointOrder) {
  for (const char* file : {"cube-hex-ascii.vtk", "cube-hex-binary-5.1.vtk", "cube-hex-zlib.vtu", "cube-hex-raw.vtu",
                           "cube-hex-appended-base64-zlib.vtu"}) {
    SCOPED_TRACE(file);
    F_S3dMesh mesh;
    F_NodeFields fields;
    ASSERT_TRUE(importFixture(file, mesh, &fields));
    ASSERT_EQ(fields.fields.size(), 2u);
    EXPECT_EQ(fields.fields[0].name, "temperature");
    EXPECT_EQ(fields.fields[1].name, "displacement");
    for (int l = 1; l <= mesh.layerCount(); ++l) {
      const F_S3dLayer& layer = mesh.layer(l);
      const std::optional<F_VectorReal> t = fields.layerField(l, "");  // the first field
      const std::optional<F_VectorReal> d = fields.layerField(l, "displacement");
      ASSERT_TRUE(t && d);
      ASSERT_EQ(t->size(), layer.pointCount());
      for (int i = 1; i <= layer.pointCount(); ++i) {
        const F_Point3D& p = layer.point(i);
        EXPECT_DOUBLE_EQ((*t)(i), p.x + 2 * p.y + 3 * p.z);
        EXPECT_DOUBLE_EQ((*d)(i), std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z));
      }
    }
    EXPECT_FALSE(fields.layerField(1, "pressure"));
    EXPECT_FALSE(fields.layerField(mesh.layerCount() + 1, ""));
    EXPECT_FALSE(fields.layerField(0, ""));
  }
}

TEST(F_MeshImport, FormatsAreChosenByExtensionInAnyCase) {
  const struct {
    const char* path;
    const char* extension;
  } rows[] = {{"a.msh", "msh"}, {"dir.v/A.VTK", "vtk"}, {"b.Vtu", "vtu"}, {"deck.INP", "inp"},
              {"m.s3d", ""},    {"msh", ""},            {"dir.msh/m", ""}, {"m.msh.gz", ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(foreignMeshExtension(row.path), row.extension);
  }
}

TEST(F_MeshImport, TheImportFilterOffersEachFormatAndAllMeshes) {
  EXPECT_EQ(meshImportFilter(),
            "Kavrilon Text File (*.s3d)|*.s3d|Gmsh Mesh (*.msh)|*.msh|VTK Mesh (*.vtk;*.vtu)|*.vtk;*.vtu|"
            "Abaqus/CalculiX Input (*.inp)|*.inp|All Meshes (*.s3d;*.msh;*.vtk;*.vtu;*.inp)|"
            "*.s3d;*.msh;*.vtk;*.vtu;*.inp|All Files (*.*)|*.*||");
}

TEST(F_MeshImport, AFileThatCannotBeOpenedIsNotFound) {
  RecordingUi ui;
  F_S3dMesh mesh;
  mesh.name = "kept";
  EXPECT_FALSE(importMeshFile("/nonexistent/dir/m.msh", mesh));
  EXPECT_EQ(ui.lastMessage(), readErrorText("m.msh", "/nonexistent/dir/m.msh", "ERROR\nFile not found.", 0));
  EXPECT_EQ(mesh.name, "kept");
}
