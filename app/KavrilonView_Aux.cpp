// The view: projection, screen map, scroll sizes, the layer bar, the side bar,
// the rotation cube of view point mode and the image export.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/CKavrilonView.h"
#include "common/F_BmpWriter.h"
#include "common/F_MeshGeometry.h"
#include "common/F_PngWriter.h"
#include "include/F_Errors.h"
#include "include/F_File.h"
#include "include/F_FileTransfer.h"
#include "platform/UiServices.h"

namespace {

constexpr F_Rgb kBlack = makeRgb(0, 0, 0);
constexpr F_Rgb kWhite = makeRgb(255, 255, 255);
constexpr F_Rgb kRed = makeRgb(255, 0, 0);
constexpr F_Rgb kBlue = makeRgb(0, 0, 255);

template <class... Args>
std::string format(const char* fmt, Args... args) {
  char text[128];
  const int n = std::snprintf(text, sizeof text, fmt, args...);
  return std::string(text, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof text) - 1)));
}

// Everything a decoration selects or sets, put back when it ends.
class SavedState {
 public:
  explicit SavedState(DeviceContext& dc)
      : dc_(dc),
        pen_(dc.pen()),
        brush_(dc.brush()),
        font_(dc.font()),
        align_(dc.textAlign()),
        mode_(dc.bkMode()),
        bk_(dc.bkColor()),
        text_(dc.textColor()) {}
  ~SavedState() {
    dc_.setTextColor(text_);
    dc_.setBkColor(bk_);
    dc_.setBkMode(mode_);
    dc_.setTextAlign(align_);
    dc_.selectFont(font_);
    dc_.selectBrush(brush_);
    dc_.selectPen(pen_);
  }
  SavedState(const SavedState&) = delete;
  SavedState& operator=(const SavedState&) = delete;
  const Pen& pen() const { return pen_; }

 private:
  DeviceContext& dc_;
  Pen pen_;
  Brush brush_;
  Font font_;
  TextAlign align_;
  BkMode mode_;
  F_Rgb bk_;
  F_Rgb text_;
};

}  // namespace

void CKavrilonView::computeProjection() {
  m_extent = projectMesh(doc_.mesh, m_mesh, {m_options.phi, m_options.psi, m_options.alpha}, m_options.minX1,
                         m_options.maxX1, m_options.minX2, m_options.maxX2);
}

void CKavrilonView::computeScreenMap() {
  // With a scalar field in rendering mode the side bar takes the right edge.
  const int side = (m_shading == 1 && !m_pvaValues.empty()) ? m_numberTextWidth + 20 : 0;
  if (!m_screenMap.fit(m_extent, 0, m_canvasWidth - side - 1, 0, m_canvasHeight - 1)) {
    ui().messageBox("ERROR\nUnable to calculate scales and origins.");
  }
  m_needRender = 1;
}

void CKavrilonView::updateScrollSizes() {
  host_.setScrollSizes(m_canvasWidth, m_canvasHeight, m_canvasWidth / 10, m_canvasHeight / 10, m_canvasWidth / 200,
                       m_canvasHeight / 200);
}

void CKavrilonView::removeScalarField() {
  m_pvaValues.clear();
  m_sideBarRange = {0.0, 1.0};
  m_pvaFileRange = {0.0, 1.0};
  m_shading = 0;
  computeScreenMap();
}

CKavrilonView::Area CKavrilonView::barArea() const {
  if (m_barsInVisibleArea) {
    const ScrollPoint s = host_.scrollPosition();
    return {s.x, s.y, m_clientWidth, m_clientHeight};
  }
  return {0, 0, m_canvasWidth, m_canvasHeight};
}

void CKavrilonView::drawLayerBar(DeviceContext& dc) {
  const Area a = barArea();
  std::string right;
  if (m_mesh.layerCount() > 0) right = format("%d - ", m_currentLayer) + m_mesh.layerName(m_currentLayer);
  SavedState saved(dc);
  dc.selectBrush(Brush::solid(kBlack));
  dc.rectangle(a.x0 + 5, a.y0 + 5, a.x0 + a.w - 5, a.y0 + 30);
  dc.selectFont(Font{"Arial", 16, 700});
  dc.setTextAlign({HAlign::Left, VAlign::Top});
  dc.setBkMode(BkMode::Transparent);
  dc.setTextColor(kWhite);
  dc.textOut(a.x0 + 12, a.y0 + 8, m_mesh.name);
  dc.setTextAlign({HAlign::Right, VAlign::Top});
  dc.textOut(a.x0 + a.w - 14, a.y0 + 8, right);
  // The frame is the whole canvas's, wherever the bar went.
  const int cw = m_canvasWidth, ch = m_canvasHeight;
  dc.selectPen(Pen::solid(kBlack, 2));
  dc.moveTo(1, 1);
  dc.lineTo(cw - 1, 1);
  dc.lineTo(cw - 1, ch - 1);
  dc.lineTo(1, ch - 1);
  dc.lineTo(1, 0);
}

void CKavrilonView::drawSideBar(DeviceContext& dc) {
  const int n = m_colorTable.numberOfRainbowColors();
  if (m_pvaValues.empty() || n < 1) return;  // no table before the first update
  const Area a = barArea();
  const int tw = m_numberTextWidth, th = m_numberTextHeight;
  const int f = tw + 20;
  const int hf = f / 2;
  const int bh = a.h - hf - (2 * th + 12) - f;
  const int sh = bh - 40;
  SavedState saved(dc);

  dc.selectPen(Pen::solid(kBlack, 2));
  dc.selectBrush(Brush::solid(kWhite));
  dc.rectangle(a.x0 + a.w - f, a.y0 + hf, a.x0 + a.w, a.y0 + hf + bh);

  // One band per rainbow colour, the first (lowest values) at the bottom.
  const int sl = a.x0 + a.w - tw, sr = a.x0 + a.w - 20, st = a.y0 + hf + 20;
  auto rowAt = [&](int k) { return st + static_cast<int>(std::trunc(static_cast<double>(sh) * k / n + 0.5)); };
  for (int k = n; k >= 1; --k) {
    const F_Rgb c = m_colorTable.colors()(1000 + (n - k + 1));
    dc.selectPen(Pen::solid(c, 1));
    dc.selectBrush(Brush::solid(c));
    dc.rectangle(sl, rowAt(k - 1), sr, rowAt(k));
  }

  dc.selectFont(Font{"Courier New", 12, 400});
  dc.setTextAlign({HAlign::Centre, VAlign::Baseline});
  dc.setBkMode(BkMode::Opaque);
  dc.setBkColor(kWhite);
  dc.setTextColor(kBlack);
  const double lower = m_sideBarRange.lower, upper = m_sideBarRange.upper;
  for (int i = 0; i <= n; ++i) {
    if (!(n < 15 || i == 0 || i == n)) continue;
    double v = lower + (static_cast<double>(i) / n) * (upper - lower);
    // Near the largest doubles the width overflows though both ends are finite.
    if (!std::isfinite(v)) v = lower * (1.0 - static_cast<double>(i) / n) + upper * (static_cast<double>(i) / n);
    // Values beyond the set range are painted with the end colours, so the
    // end labels show the file's true extremes.
    if (i == 0 && !(lower <= m_pvaFileRange.lower)) v = m_pvaFileRange.lower;
    if (i == n && m_pvaFileRange.upper > upper) v = m_pvaFileRange.upper;
    const int t = n < 15 ? 4 : (i == 0 ? 12 : -4);
    dc.textOut(a.x0 + a.w - hf, rowAt(n - i) + t, formatAxisValue(v));
  }
}

void CKavrilonView::drawViewPointCube(DeviceContext& dc) {
  host_.setScrollSizes(10, 10, 10, 10, 10, 10);
  const int cw = m_clientWidth, ch = m_clientHeight;
  const int s = std::min(cw, ch) / 5;
  const double hs = s / 2.0;
  // Corners 1-8, the origin 9 and the axis ends 10-12, in model axes.
  F_Point3D p[13] = {{},           {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1},
                     {1, 1, 1},    {-1, 1, 1},   {0, 0, 0},   {0, 0, 0},  {0, 0, 0},   {0, 0, 0}};
  for (int i = 1; i <= 8; ++i) p[i] = {p[i].x * s, p[i].y * s, p[i].z * s};
  p[10].x = hs;
  p[11].y = hs;
  p[12].z = hs;
  const F_MatrixReal m = viewRotationMatrix(m_options.phi, m_options.psi, m_options.alpha);
  const F_Point3D c0(0, cw / 2, ch / 2);
  int hidden = 0;  // the nearest-to-nothing corner: the smallest depth, first one on ties
  double least = 1e30;
  for (int i = 1; i <= 12; ++i) {
    p[i].transform(m);
    p[i] += c0;
    if (p[i].x < least) {
      least = p[i].x;
      hidden = i;
    }
  }
  SavedState saved(dc);

  auto cut = [&](const F_Point3D& q) { return F_Pixel{static_cast<int>(q.y), ch - static_cast<int>(q.z)}; };
  dc.selectPen(Pen::solid(kRed, 3));
  for (int i = 10; i <= 12; ++i) {
    const F_Pixel a = cut(p[9]), b = cut(p[i]);
    dc.moveTo(a.x, a.y);
    dc.lineTo(b.x, b.y);
  }
  dc.selectFont(Font{"Arial", 20, 700});
  dc.setTextAlign({HAlign::Left, VAlign::Bottom});
  dc.setBkMode(BkMode::Transparent);
  dc.setTextColor(kBlue);
  const char* const axisNames[] = {"X", "Y", "Z"};
  for (int i = 10; i <= 12; ++i) dc.textOut(cut(p[i]).x, cut(p[i]).y, axisNames[i - 10]);

  // Thick edges face the viewer; the thin ones meet at the hidden corner.
  static constexpr int kEdges[12][2] = {{1, 2}, {2, 3}, {3, 4}, {1, 4}, {1, 5}, {2, 6},
                                        {3, 7}, {4, 8}, {5, 6}, {6, 7}, {7, 8}, {5, 8}};
  auto rounded = [&](const F_Point3D& q) {
    return F_Pixel{static_cast<int>(std::trunc(q.y + 0.5)), static_cast<int>(std::trunc(ch - q.z + 0.5))};
  };
  for (const auto& e : kEdges) {
    dc.selectPen(Pen::solid(kBlack, e[0] == hidden || e[1] == hidden ? 1 : 6));
    const F_Pixel a = rounded(p[e[0]]), b = rounded(p[e[1]]);
    dc.moveTo(a.x, a.y);
    dc.lineTo(b.x, b.y);
  }
  dc.selectPen(saved.pen());

  dc.selectFont(Font{"Courier New", 14, 700});
  dc.setTextColor(kRed);
  dc.textOut(15, 24, "CUBE ROTATION");
  dc.textOut(15, 40, "   Keyboard:   Shift+Arrow Keys   or   Ctrl+Arrow Keys");
  dc.textOut(15, 56, "   Mouse:   Shift+Left Button+Drag");
  dc.textOut(15, ch - 30, "Press Space or Return to");
  dc.textOut(15, ch - 14, "leave view point selection.");

  dc.setTextColor(kBlack);
  const TextExtent t = dc.textExtent(format("Phi   = %10.5lf", 0.0));
  dc.rectangle(cw - t.cx - 30, ch - 3 * t.cy - 25, cw - 10, ch - 15);
  // radians * 180 / pi, in that order, as everywhere else angles are shown
  const auto degrees = F_DisplayOptions::radiansToDegrees;
  dc.textOut(cw - t.cx - 20, ch - 2 * t.cy - 20, format("Phi   = %10.5lf", degrees(m_options.phi)));
  dc.textOut(cw - t.cx - 20, ch - t.cy - 20, format("Psi   = %10.5lf", degrees(m_options.psi)));
  dc.textOut(cw - t.cx - 20, ch - 20, format("Alpha = %10.5lf", degrees(m_options.alpha)));
}

void CKavrilonView::OnExportViewImage() {
  FileDialogOptions dialog;
  dialog.defaultExtension = "bmp";
  dialog.initialName = "*.bmp";
  dialog.filter = "Windows True Color Bitmap (*.bmp)|*.bmp|Portable Network Graphics (*.png)|*.png||";
  dialog.promptOverwrite = true;
  const std::optional<std::string> path = ui().saveFileDialog(dialog);
  if (path) writeViewImage(*path);
}

namespace {
bool isPngPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".png";
}
}  // namespace

bool CKavrilonView::writeViewImage(const std::string& path) {
  return writeWholeFile(path, F_OutputFile::Mode::Binary, [&](F_OutputFile& file) {
    if (isPngPath(path)) {
      // The same pixels as the bitmap, compressed.
      std::unique_ptr<DeviceContext> blank;
      DeviceContext* image = m_memDC.get();
      if (!image) {
        DeviceContext* window = host_.clientDC();
        if (window) blank = window->createCompatible(m_canvasWidth, m_canvasHeight);
        image = blank.get();
      }
      std::string bytes;
      if (!image || !F_PngWriter::encode(image->surface(), bytes)) return false;
      file.writeRaw(bytes.data(), bytes.size());
      return true;
    }
    if (m_memDC) return F_BmpWriter::write(file, *m_memDC, m_canvasWidth, m_canvasHeight);
    // Nothing rendered yet: the canvas is still the white of a fresh image.
    std::vector<F_Rgb> white(static_cast<std::size_t>(m_canvasWidth) * m_canvasHeight, kWhite);
    return F_BmpWriter::write(file, PixelSurface{white.data(), m_canvasWidth, m_canvasHeight, m_canvasWidth});
  });
}
