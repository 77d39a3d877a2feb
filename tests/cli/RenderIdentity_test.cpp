// Every picture the renderer makes is pinned by a checksum of its .bmp bytes:
// each sample mesh and a generated wavy plate, in line mode, shading and
// contour fill, with the mesh overprinted or not, at 1, 3 and 10 divisions.
// Each scene is rendered with 1, 2 and 7 drawing threads and must give the
// same bytes every time, so a speed-up that moves one pixel fails here.
//
// When a checksum differs, the picture is kept and its path printed. After a
// change that is meant to alter pictures, KAVRILON_PRINT_CHECKSUMS=1 prints
// the table below anew.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <QImage>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace {

std::uint64_t fnv1a(const std::string& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (const unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string hex(std::uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
  return text;
}

// A plate of nx by ny quads, waved as z = 0.6 sin(3 pi u) cos(2 pi v), with
// the field sin(0.7 x) cos(0.5 y) + 0.5 z: dense enough that at 10 divisions
// most triangles cover no pixel centre, and curved so that shading varies.
void writeWavyPlate(const std::string& s3d, const std::string& pva, int nx, int ny) {
  const double pi = 3.14159265358979;
  std::string mesh = "Wavy plate\nPlate\n";
  const int points = (nx + 1) * (ny + 1);
  mesh += std::to_string(nx * ny) + " " + std::to_string(points) + " 0\n";
  int item = 0;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const int a = j * (nx + 1) + i + 1;
      mesh += std::to_string(++item) + " 4 " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
              std::to_string(a + nx + 2) + " " + std::to_string(a + nx + 1) + "\n";
    }
  std::string field = "# wavy\n";
  char line[160];
  for (int j = 0, p = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      const double u = double(i) / nx, v = double(j) / ny;
      const double x = 8 * u, y = 5 * v, z = 0.6 * std::sin(3 * pi * u) * std::cos(2 * pi * v);
      std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f\n", ++p, x, y, z);
      mesh += line;
      std::snprintf(line, sizeof line, "%d %.6f\n", p, std::sin(0.7 * x) * std::cos(0.5 * y) + 0.5 * z);
      field += line;
    }
  writeFileBytes(s3d, mesh);
  writeFileBytes(pva, field);
}

// `cfg` with its divisions and overprint flag replaced.
std::string withRendering(const std::string& cfg, int divisions, bool overprint) {
  std::string text = std::regex_replace(cfg, std::regex(R"(\n *[0-9]+ ; # Number of divisions)"),
                                        "\n        " + std::to_string(divisions) + " ; # Number of divisions");
  return std::regex_replace(text, std::regex(R"(\n *[yn] ; # Overprint mesh)"),
                            std::string("\n        ") + (overprint ? "y" : "n") + " ; # Overprint mesh");
}

struct Scene {
  const char* name;
  const char* mesh;  // under examples/, or "" for the wavy plate
  const char* pva;
  int layer;  // the layer that carries the field
};

const Scene kScenes[] = {
    {"plate", "plate", "plate", 1},
    {"layers", "layers", "layers-deck", 2},
    {"dome", "dome", "dome", 1},
    {"wavy", "", "", 1},
};

enum class Mode { Lines, Shaded, Contour };

struct Row {
  const char* scene;
  Mode mode;
  int divisions;
  bool overprint;
  const char* checksum;
};

// Line mode ignores divisions and overprint: one row per scene.
const Row kRows[] = {
    {"plate", Mode::Lines, 1, false, "8bd5b1e878e2244a"},
    {"plate", Mode::Shaded, 1, false, "471495e28bd22b7e"},
    {"plate", Mode::Shaded, 1, true, "f84e56bb4a55396e"},
    {"plate", Mode::Shaded, 3, false, "471495e28bd22b7e"},
    {"plate", Mode::Shaded, 3, true, "3bbf4248d44bc763"},
    {"plate", Mode::Shaded, 10, false, "471495e28bd22b7e"},
    {"plate", Mode::Shaded, 10, true, "78a585895fb9414f"},
    {"plate", Mode::Contour, 1, false, "d88d91f1114b132d"},
    {"plate", Mode::Contour, 1, true, "417f0a3d88cd11aa"},
    {"plate", Mode::Contour, 3, false, "d6a2ba9a30cfa256"},
    {"plate", Mode::Contour, 3, true, "a1eb6f423d45bc08"},
    {"plate", Mode::Contour, 10, false, "68ff92894be58860"},
    {"plate", Mode::Contour, 10, true, "ff0a8f753dd7e735"},
    {"layers", Mode::Lines, 1, false, "d6d8b8c065bd5a54"},
    {"layers", Mode::Shaded, 1, false, "e1425671d872bada"},
    {"layers", Mode::Shaded, 1, true, "3f8f698a73d37ebb"},
    {"layers", Mode::Shaded, 3, false, "e1425671d872bada"},
    {"layers", Mode::Shaded, 3, true, "3f8f698a73d37ebb"},
    {"layers", Mode::Shaded, 10, false, "e1425671d872bada"},
    {"layers", Mode::Shaded, 10, true, "3f8f698a73d37ebb"},
    {"layers", Mode::Contour, 1, false, "2ab8a21a9baaddb6"},
    {"layers", Mode::Contour, 1, true, "d9db0ad480555ad8"},
    {"layers", Mode::Contour, 3, false, "2ab8a21a9baaddb6"},
    {"layers", Mode::Contour, 3, true, "d9db0ad480555ad8"},
    {"layers", Mode::Contour, 10, false, "2ab8a21a9baaddb6"},
    {"layers", Mode::Contour, 10, true, "d9db0ad480555ad8"},
    {"dome", Mode::Lines, 1, false, "5ac1d70961d0a905"},
    {"dome", Mode::Shaded, 1, false, "b6bba1bcbb96bb65"},
    {"dome", Mode::Shaded, 1, true, "f015e0c109682597"},
    {"dome", Mode::Shaded, 3, false, "cfdf7a7d41044236"},
    {"dome", Mode::Shaded, 3, true, "5e15f70854c6e048"},
    {"dome", Mode::Shaded, 10, false, "0813230b28ff712c"},
    {"dome", Mode::Shaded, 10, true, "ed0e7072e5511334"},
    {"dome", Mode::Contour, 1, false, "b03c6dd76a0279eb"},
    {"dome", Mode::Contour, 1, true, "821dbda9ce187a65"},
    {"dome", Mode::Contour, 3, false, "e426417918e165fc"},
    {"dome", Mode::Contour, 3, true, "623d224e33f86338"},
    {"dome", Mode::Contour, 10, false, "bf572d3a22836bd9"},
    {"dome", Mode::Contour, 10, true, "e9d6a9753ba9e5b0"},
    {"wavy", Mode::Lines, 1, false, "3aa93b323b176436"},
    {"wavy", Mode::Shaded, 1, false, "f7b0aaf71eed5d55"},
    {"wavy", Mode::Shaded, 1, true, "94c0edbdb134af12"},
    {"wavy", Mode::Shaded, 3, false, "a48360f751313a8f"},
    {"wavy", Mode::Shaded, 3, true, "0665e147777216e5"},
    {"wavy", Mode::Shaded, 10, false, "4ba094caa545a930"},
    {"wavy", Mode::Shaded, 10, true, "c682d4dd03d0701a"},
    {"wavy", Mode::Contour, 1, false, "c052c8116671b4c7"},
    {"wavy", Mode::Contour, 1, true, "9571274562a9501b"},
    {"wavy", Mode::Contour, 3, false, "083e7e3b6684162a"},
    {"wavy", Mode::Contour, 3, true, "0afe12057a5918b0"},
    {"wavy", Mode::Contour, 10, false, "79ad50d64afcc3f7"},
    {"wavy", Mode::Contour, 10, true, "c30d3cdfa9443d12"},
};

std::string rowName(const Row& r) {
  static const char* const kModes[] = {"lines", "shaded", "contour"};
  return std::string(r.scene) + "-" + kModes[static_cast<int>(r.mode)] + "-d" + std::to_string(r.divisions) +
         (r.overprint ? "-over" : "");
}

class RenderIdentity : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string examples = std::string(KAVRILON_SOURCE_DIR) + "/examples/";
    for (const Scene& s : kScenes) {
      Paths& p = paths_[s.name];
      p.s3d = dir_.path(std::string(s.name) + ".s3d");
      p.pva = dir_.path(std::string(s.name) + ".pva");
      if (*s.mesh) {
        writeFileBytes(p.s3d, readFileBytes(examples + s.mesh + ".s3d"));
        writeFileBytes(p.pva, readFileBytes(examples + s.pva + ".pva"));
        p.cfg = readFileBytes(examples + s.mesh + ".cfg");
      } else {
        writeWavyPlate(p.s3d, p.pva, 40, 25);
        p.cfg = readFileBytes(examples + "plate.cfg");  // one layer, as the plate
      }
      p.layer = s.layer;
    }
  }
  void TearDown() override { unsetenv("KAVRILON_THREADS"); }

  // The .bmp bytes of one row's picture with `threads` drawing threads.
  std::string render(const Row& r, int threads, const std::string& name = "view.bmp") {
    const Paths& p = paths_.at(r.scene);
    const std::string cfg = dir_.path("view.cfg"), out = dir_.path(name);
    writeFileBytes(cfg, withRendering(p.cfg, r.divisions, r.overprint));
    std::vector<std::string> args = {"render", p.s3d, "-o", out, "--size", "331x257", "--cfg", cfg};
    if (r.mode == Mode::Shaded) args.push_back("--shading");
    if (r.mode == Mode::Contour) {
      args.insert(args.end(), {"--layer", std::to_string(p.layer), "--pva", p.pva});
    }
    setenv("KAVRILON_THREADS", std::to_string(threads).c_str(), 1);
    const CliRun run = cli(args);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    return readFileBytes(out);
  }

  struct Paths {
    std::string s3d, pva, cfg;
    int layer = 1;
  };
  TempDir dir_;
  std::map<std::string, Paths> paths_;
};

TEST_F(RenderIdentity, EveryPictureKeepsItsBytesWithAnyNumberOfThreads) {
  const bool print = std::getenv("KAVRILON_PRINT_CHECKSUMS") != nullptr;
  for (const Row& r : kRows) {
    SCOPED_TRACE(rowName(r));
    for (const int threads : {1, 2, 7}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      const std::string bytes = render(r, threads);
      const std::string sum = hex(fnv1a(bytes));
      if (print && threads == 1) {
        static const char* const kModes[] = {"Mode::Lines", "Mode::Shaded", "Mode::Contour"};
        std::printf("    {\"%s\", %s, %d, %s, \"%s\"},\n", r.scene, kModes[static_cast<int>(r.mode)], r.divisions,
                    r.overprint ? "true" : "false", sum.c_str());
      }
      if (sum != r.checksum) {
        const std::filesystem::path kept =
            std::filesystem::temp_directory_path() / ("kavrilon-" + rowName(r) + "-t" + std::to_string(threads) + ".bmp");
        writeFileBytes(kept.string(), bytes);
        ADD_FAILURE() << "checksum " << sum << ", expected " << r.checksum << "; the picture is kept in " << kept;
      }
    }
  }
}

// PNG is written with a fast compression level: other bytes, the same pixels.
TEST_F(RenderIdentity, PngHoldsThePixelsOfTheBmp) {
  for (const Row& r : kRows) {
    if (std::string(r.scene) != "wavy" || r.divisions != 3 || !r.overprint) continue;
    SCOPED_TRACE(rowName(r));
    render(r, 1, "view.png");
    render(r, 1, "view.bmp");
    const QImage png(QString::fromStdString(dir_.path("view.png")));
    const QImage bmp(QString::fromStdString(dir_.path("view.bmp")));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), bmp.size());
    EXPECT_TRUE(png.convertToFormat(QImage::Format_RGB32) == bmp.convertToFormat(QImage::Format_RGB32));
  }
}

}  // namespace
