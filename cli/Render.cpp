#include "cli/Render.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <ostream>

#include "app/CKavrilonDoc.h"
#include "app/CKavrilonView.h"
#include "include/F_Errors.h"
#include "include/F_WordReader.h"
#include "platform/UiServices.h"
#include "platform/headless/HeadlessViewHost.h"
#include "platform/raster/RasterDC.h"
#include "platform/raster/RasterFonts.h"

namespace {

constexpr const char* kRenderUsage =
    "usage: kavrilon-cli render IN -o OUT [--size WxH] [--cfg FILE] [--angles PHI,PSI,ALPHA] [--layer N] "
    "[--pva FILE] [--colors N] [--range LO,HI] [--shading]";

struct RenderArgs {
  std::string in;
  std::string out;
  int width = 1024;
  int height = 768;
  std::optional<std::string> cfg;
  std::optional<std::vector<std::string>> angles;
  std::optional<int> layer;
  std::optional<std::string> pva;
  std::optional<std::string> colors;
  std::optional<std::vector<std::string>> range;
  bool shading = false;
};

int usage(std::ostream& err, const std::string& why) {
  err << "kavrilon-cli: " << why << "\n" << kRenderUsage << "\n";
  return 2;
}

std::string lowerExtension(const std::string& path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

std::optional<int> parsePositive(std::string_view s) {
  int v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v < 1) return std::nullopt;
  return v;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == sep) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// The command line, or the usage error already written to `err`.
std::optional<RenderArgs> parse(const std::vector<std::string>& args, std::ostream& err, int& status) {
  RenderArgs r;
  std::vector<std::string> files;
  status = 2;
  auto fail = [&](const std::string& why) {
    usage(err, why);
    return std::optional<RenderArgs>();
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    auto value = [&]() -> const std::string& { return args[++i]; };
    if (a == "--shading") {
      r.shading = true;
    } else if (a == "-o" || a == "--size" || a == "--cfg" || a == "--angles" || a == "--layer" || a == "--pva" ||
               a == "--colors" || a == "--range") {
      if (!hasValue) return fail(a + " needs a value");
      const std::string& v = value();
      if (a == "-o") {
        r.out = v;
      } else if (a == "--size") {
        const auto parts = split(v, 'x');
        std::optional<int> w, h;
        if (parts.size() == 2) w = parsePositive(parts[0]), h = parsePositive(parts[1]);
        if (!w || !h) return fail("--size takes WxH, for example 1920x1080");
        r.width = *w;
        r.height = *h;
      } else if (a == "--cfg") {
        r.cfg = v;
      } else if (a == "--pva") {
        r.pva = v;
      } else if (a == "--colors") {
        r.colors = v;
      } else if (a == "--range") {
        r.range = split(v, ',');
        if (r.range->size() != 2) return fail("--range takes LO,HI");
      } else if (a == "--angles") {
        r.angles = split(v, ',');
        if (r.angles->size() != 3) return fail("--angles takes PHI,PSI,ALPHA in degrees");
      } else {
        r.layer = parsePositive(v);
        if (!r.layer) return fail("--layer takes a layer number from 1");
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return fail("unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 1 || r.out.empty()) return fail("render takes IN and -o OUT");
  r.in = files[0];
  const std::string inExt = lowerExtension(r.in), outExt = lowerExtension(r.out);
  if (inExt != "s3d" && inExt != "b3d") return fail("unsupported input type: " + r.in);
  if (outExt != "bmp" && outExt != "png") return fail("unsupported output type: " + r.out);
  return r;
}

// The Set View Angles dialog given these texts and OK: each text must be a
// real, then each angle must lie in ]-180, 180]; the first failure is shown
// and, with nobody to correct it, the dialog is cancelled.
void setViewAngles(CKavrilonView& view, const std::vector<std::string>& texts) {
  static const char* const kRangeMessages[] = {"ERROR\nPhi angle must be in the range ]-180,180] (degrees).",
                                               "ERROR\nPsi angle must be in the range ]-180,180] (degrees).",
                                               "ERROR\nAlpha angle must be in the range ]-180,180] (degrees)."};
  for (const std::string& t : texts) {
    std::string message;
    if (!isReal(t, message)) {
      ui().messageBox(message);
      return;
    }
  }
  double radians[3];
  for (int i = 0; i < 3; ++i) {
    radians[i] = toReal(texts[static_cast<std::size_t>(i)]) * F_DisplayOptions::kPi * 0.005555555555555556;
    if (!(radians[i] >= 1e-8 - F_DisplayOptions::kPi && radians[i] <= F_DisplayOptions::kPi + 1e-8)) {
      ui().messageBox(kRangeMessages[i]);
      return;
    }
  }
  view.m_options.setAngles(radians[0], radians[1], radians[2]);
  view.refit();
}

// The PVA Options dialog given these texts (the others as it opens) and OK;
// a refused value is shown and, as with the angles, the dialog cancelled.
void setPvaOptions(CKavrilonView& view, const std::optional<std::string>& colors,
                   const std::optional<std::vector<std::string>>& range) {
  bool shown = false;
  view.OnPvaOptions([&](PvaOptionsDialog& dialog) {
    if (shown) return false;
    shown = true;
    if (colors) dialog.colors = *colors;
    if (range) {
      dialog.sideBarMinimum = (*range)[0];
      dialog.sideBarMaximum = (*range)[1];
    }
    return true;
  });
}

// Import Display Options into the view; false when the file could not be read.
bool importDisplayOptions(CKavrilonView& view, const std::string& path) {
  WaitCursor wait;
  F_DisplayOptions read;
  if (!read.readCfgFile(path)) return false;
  view.m_options.applyReadOptions(read, view.GetDocument().mesh.layerCount());
  view.refit();
  return true;
}

bool writePng(CKavrilonView& view, const std::string& path) {
  auto* raster = dynamic_cast<RasterDC*>(view.image());
  if (!raster || !raster->image().save(path)) {
    reportReadError(fileNameOf(path), absolutePathOf(path), "ERROR\nUnable to open output file.\nNo write permission.",
                    0);
    return false;
  }
  return true;
}

}  // namespace

int renderCommand(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  int status = 0;
  const std::optional<RenderArgs> r = parse(args, err, status);
  if (!r) return status;
  ensureGuiApplication();

  CKavrilonDoc doc;
  if (lowerExtension(r->in) == "s3d") {
    if (doc.importFile(r->in) != CKavrilonDoc::ImportResult::Imported) return 1;
  } else if (!doc.OnOpenDocument(r->in)) {
    return 1;
  }

  // A new window of the asked client size: its first update, then the options.
  HeadlessViewHost host(r->width, r->height);
  CKavrilonView view(doc, host);
  RasterDC window(r->width, r->height);
  view.OnInitialUpdate(window);
  // Import Display Options and Set View Angles are offered only for a mesh
  // with layers: for an empty document the file is not read, the texts not checked.
  const bool hasLayers = view.m_mesh.layerCount() > 0;
  if (r->cfg && hasLayers && !importDisplayOptions(view, *r->cfg)) return 1;
  if (r->angles && hasLayers) setViewAngles(view, *r->angles);
  if (r->layer && view.m_mesh.layerCount() > 0) {
    if (*r->layer > view.m_mesh.layerCount()) return usage(err, "the mesh has no layer " + std::to_string(*r->layer));
    view.m_currentLayer = *r->layer;
    view.repaint();
  }
  // Import PVA and Shading are offered only for a mesh with layers; PVA
  // Options only while the view holds a field. A command the window would not
  // offer is left out, as its disabled menu item would leave it.
  const bool usable = view.m_mesh.layerCount() > 0 && view.m_viewPointMode == 0;
  if (r->pva && usable && view.importScalarField(*r->pva) == CKavrilonView::PvaImport::Unread) return 1;
  if ((r->colors || r->range) && usable && !view.m_pvaValues.empty()) setPvaOptions(view, r->colors, r->range);
  if (r->shading && usable && view.m_shading == 0) view.OnShading();

  // A render that falls back to line mode asks for one more paint.
  view.OnDraw(window);
  if (view.m_needRender) view.OnDraw(window);
  if (lowerExtension(r->out) == "png") return writePng(view, r->out) ? 0 : 1;
  return view.writeViewImage(r->out) ? 0 : 1;
}
