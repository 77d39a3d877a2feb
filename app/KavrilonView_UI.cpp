// What front ends read of a view: the state snapshot that scripts print.
// (The enabling and check rules of the commands are rows of CommandTable.cpp.)

#include <cmath>
#include <cstdio>
#include <string>

#include "app/CKavrilonView.h"

namespace {

class JsonObject {
 public:
  void add(const char* key, long long v) { field(key) += std::to_string(v); }
  void add(const char* key, int v) { add(key, static_cast<long long>(v)); }
  void add(const char* key, double v) {
    if (!std::isfinite(v)) {
      field(key) += "null";
      return;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    field(key) += text;
  }
  void addRaw(const char* key, const std::string& json) { field(key) += json; }
  std::string close() const { return text_ + "}"; }

 private:
  std::string& field(const char* key) {
    text_ += text_.size() > 1 ? ",\"" : "\"";
    text_ += key;
    text_ += "\":";
    return text_;
  }
  std::string text_ = "{";
};

std::string layerJson(const F_LayerContext& c) {
  // In member order: the shrink factor sits after the first field of the record.
  JsonObject o;
  for (int k = 0; k < F_LayerContext::kRecordFields; ++k) {
    const F_LayerContext::RecordField& f = F_LayerContext::kRecord[k];
    o.add(f.name, static_cast<int>(c.*f.member));
    if (k == 0) o.add(F_LayerContext::kShrinkField.name, static_cast<int>(c.shrinkFactor));
  }
  return o.close();
}

}  // namespace

std::string CKavrilonView::stateJson() const {
  const ScrollPoint s = host_.scrollPosition();
  JsonObject o;
  o.add("clientWidth", m_clientWidth);
  o.add("clientHeight", m_clientHeight);
  o.add("canvasWidth", m_canvasWidth);
  o.add("canvasHeight", m_canvasHeight);
  o.add("scrollX", s.x);
  o.add("scrollY", s.y);
  o.add("fullView", m_fullView);
  o.add("prevCanvasWidth", m_prevCanvasWidth);
  o.add("prevCanvasHeight", m_prevCanvasHeight);
  o.add("prevScrollX", m_prevScrollX);
  o.add("prevScrollY", m_prevScrollY);
  o.add("viewPointMode", m_viewPointMode);
  o.add("mouseMode", static_cast<int>(m_mouseMode));
  o.add("shading", m_shading);
  o.add("needRender", m_needRender);
  o.add("barsInVisibleArea", m_barsInVisibleArea);
  o.add("currentLayer", m_currentLayer);
  o.add("layerCount", m_mesh.layerCount());
  o.add("phi", m_options.phi);
  o.add("psi", m_options.psi);
  o.add("alpha", m_options.alpha);
  o.add("minX1", static_cast<int>(m_options.minX1));
  o.add("maxX1", static_cast<int>(m_options.maxX1));
  o.add("minX2", static_cast<int>(m_options.minX2));
  o.add("maxX2", static_cast<int>(m_options.maxX2));
  o.add("numberOfDivisions", static_cast<int>(m_options.numberOfDivisions));
  o.add("overprintMesh", static_cast<int>(m_options.overprintMesh));
  o.add("scaleX1", m_screenMap.scaleX1);
  o.add("originX1", m_screenMap.originX1);
  o.add("scaleX2", m_screenMap.scaleX2);
  o.add("originX2", m_screenMap.originX2);
  o.add("fitsWidth", m_screenMap.fitsWidth);
  o.add("x1Min", m_extent.x1Min);
  o.add("x1Max", m_extent.x1Max);
  o.add("x2Min", m_extent.x2Min);
  o.add("x2Max", m_extent.x2Max);
  o.add("pvaCount", m_pvaValues.size());
  o.add("sideBarLower", m_sideBarRange.lower);
  o.add("sideBarUpper", m_sideBarRange.upper);
  o.add("pvaFileLower", m_pvaFileRange.lower);
  o.add("pvaFileUpper", m_pvaFileRange.upper);
  o.add("rainbowColors", m_colorTable.numberOfRainbowColors());
  const bool hasLayer = m_mesh.layerCount() > 0 && m_currentLayer >= 1 && m_currentLayer <= m_options.layerCount();
  o.addRaw("layer", hasLayer ? layerJson(m_options.layer(m_currentLayer)) : "null");
  return o.close();
}
