#include "cli/Render.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <utility>

#include "cli/Session.h"
#include "common/F_CanvasBound.h"
#include "common/F_ScalarField.h"
#include "import/F_MeshImport.h"
#include "platform/UiServices.h"
#include "platform/raster/RasterFonts.h"

namespace {

constexpr const char* kRenderUsage =
    "usage: kavrilon-cli render IN -o OUT [--size WxH] [--cfg FILE] [--view xy|yz|xz] [--angles PHI,PSI,ALPHA]\n"
    "                         [--layer N] [--pva FILE] [--colors N] [--range LO,HI] [--shading] [--script FILE]\n"
    "                         [--no-cfg] [--field NAME]";

constexpr const char* kScriptUsage = "usage: kavrilon-cli script IN|- SCRIPT [--size WxH]";

struct RenderArgs {
  std::string in;
  std::string out;
  int width = 1024;
  int height = 768;
  std::optional<std::string> cfg;
  std::optional<std::string> view;
  std::optional<std::vector<std::string>> angles;
  std::optional<int> layer;
  std::optional<std::string> pva;
  std::optional<std::string> field;
  std::optional<std::string> colors;
  std::optional<std::vector<std::string>> range;
  std::optional<std::string> script;
  bool shading = false;
  bool noCfg = false;
};

int usage(std::ostream& err, const std::string& why, const char* text) {
  err << "kavrilon-cli: " << why << "\n" << text << "\n";
  return 2;
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

// WxH within the canvas bound; the reason otherwise.
std::optional<std::string> parseSize(const std::string& v, int& w, int& h) {
  const auto parts = split(v, 'x');
  std::optional<int> pw, ph;
  if (parts.size() == 2) pw = parsePositive(parts[0]), ph = parsePositive(parts[1]);
  if (!pw || !ph) return "--size takes WxH, for example 1920x1080";
  if (!F_CanvasBound::fits(*pw, *ph))
    return "--size " + v + " is beyond the largest canvas (32768 pixels a side, 1 GiB of image and depth buffer)";
  w = *pw;
  h = *ph;
  return std::nullopt;
}

// The command line, or the usage error already written to `err`.
std::optional<RenderArgs> parse(const std::vector<std::string>& args, std::ostream& err) {
  RenderArgs r;
  std::vector<std::string> files;
  auto fail = [&](const std::string& why) {
    usage(err, why, kRenderUsage);
    return std::optional<RenderArgs>();
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--shading") {
      r.shading = true;
    } else if (a == "--no-cfg") {
      r.noCfg = true;
    } else if (a == "-o" || a == "--size" || a == "--cfg" || a == "--angles" || a == "--layer" || a == "--pva" ||
               a == "--colors" || a == "--range" || a == "--view" || a == "--script" || a == "--field") {
      if (i + 1 >= args.size()) return fail(a + " needs a value");
      const std::string& v = args[++i];
      if (a == "-o") {
        r.out = v;
      } else if (a == "--size") {
        if (auto why = parseSize(v, r.width, r.height)) return fail(*why);
      } else if (a == "--cfg") {
        r.cfg = v;
      } else if (a == "--pva") {
        r.pva = v;
      } else if (a == "--field") {
        r.field = v;
      } else if (a == "--colors") {
        r.colors = v;
      } else if (a == "--script") {
        r.script = v;
      } else if (a == "--view") {
        if (v != "xy" && v != "yz" && v != "xz") return fail("--view takes xy, yz or xz");
        r.view = v;
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
  if (inExt != "s3d" && inExt != "b3d" && foreignMeshExtension(r.in).empty()) {
    return fail("unsupported input type: " + r.in);
  }
  if (outExt != "bmp" && outExt != "png") return fail("unsupported output type: " + r.out);
  return r;
}

HeadlessUi& headlessUi() { return dynamic_cast<HeadlessUi&>(ui()); }

// The --pva file, read on a thread of its own from the start, while the mesh
// is read and turned. Only a file read whole in the shape the program
// writes is taken from there; any other is read again by the import at its
// usual point, which says what it finds there, as it always has.
class FieldReadAhead {
 public:
  explicit FieldReadAhead(const std::optional<std::string>& path) {
    if (!path) return;
    try {
      thread_ = std::thread([this, p = *path] { values_ = readWrittenScalarField(p); });
    } catch (const std::system_error&) {
      // No thread: the import reads the file.
    }
  }
  ~FieldReadAhead() {
    if (thread_.joinable()) thread_.join();
  }
  FieldReadAhead(const FieldReadAhead&) = delete;
  FieldReadAhead& operator=(const FieldReadAhead&) = delete;

  // The values when the read ahead gave them (once).
  std::optional<F_VectorReal> take() {
    if (thread_.joinable()) thread_.join();
    return std::exchange(values_, std::nullopt);
  }

 private:
  std::optional<F_VectorReal> values_;
  std::thread thread_;
};

// Fills the session's document from IN as the desktop program would.
bool openInput(Session& s, const std::string& in, bool offerCompanion) {
  const std::string ext = lowerExtension(in);
  if (ext == "s3d" || !foreignMeshExtension(in).empty()) {
    return s.document().importFile(in, offerCompanion) == CKavrilonDoc::ImportResult::Imported;
  }
  return s.document().OnOpenDocument(in);
}

// Plays a parsed script; false when it hit a failure it cannot go on from.
bool playScript(Session& s, const ParsedScript& script, std::ostream& out) {
  for (const ScriptEvent& e : script.events)
    if (!s.play(e, out)) return false;
  return true;
}

// The render options in their order, each as the command it stands for. A
// command the window would not offer (no layers, no field) is left out as
// its greyed item would; one whose dialog or file is refused fails the render.
bool applyOptions(Session& s, const RenderArgs& r, FieldReadAhead& field, std::ostream& out, std::ostream& err,
                  int& status) {
  CKavrilonView& v = s.view();
  status = 1;
  if (r.cfg && v.state(cmd::kImportDisplayOptions).enabled && !v.importDisplayOptions(*r.cfg)) return false;
  if (r.view) v.execute(*r.view == "xy" ? cmd::kViewXY : *r.view == "yz" ? cmd::kViewYZ : cmd::kViewXZ);
  if (r.angles && v.state(cmd::kSetViewAngles).enabled) {
    headlessUi().queueDialog({"1038=" + (*r.angles)[0], "1039=" + (*r.angles)[1], "1040=" + (*r.angles)[2], "1"});
    if (!v.OnSetViewAngles()) return false;
  }
  if (r.layer && v.layerCount() > 0) {
    if (*r.layer > v.layerCount()) {
      status = usage(err, "the mesh has no layer " + std::to_string(*r.layer), kRenderUsage);
      return false;
    }
    v.setCurrentLayer(*r.layer);
  }
  // Node data of a mesh file stands in for a .pva of the current layer.
  if (r.field && v.state(cmd::kImportPva).enabled) {
    std::optional<F_VectorReal> values = s.document().nodeFields.layerField(v.currentLayer(), *r.field);
    if (!values) {
      ui().messageBox("ERROR\nThe file holds no node data named \"" + *r.field + "\".");
      return false;
    }
    v.useScalarField(std::move(*values));
  }
  if (r.pva && v.state(cmd::kImportPva).enabled) {
    std::optional<F_VectorReal> values = field.take();
    CKavrilonView::PvaImport imported;
    if (values) {
      WaitCursor wait;  // as the import shows it
      imported = v.useScalarField(std::move(*values));
    } else {
      imported = v.importScalarField(*r.pva);
    }
    if (imported != CKavrilonView::PvaImport::Imported) return false;
  }
  if ((r.colors || r.range) && v.state(cmd::kPvaOptions).enabled) {
    std::vector<std::string> actions;
    if (r.colors) actions.push_back("1054=" + *r.colors);
    if (r.range) {
      actions.push_back("1046=" + (*r.range)[0]);
      actions.push_back("1047=" + (*r.range)[1]);
    }
    actions.push_back("1");
    headlessUi().queueDialog(actions);
    if (!v.OnPvaOptions()) return false;
  }
  if (r.shading && !v.shading()) v.execute(cmd::kShading);
  if (r.script) {
    const std::optional<std::string> text = readScriptFile(*r.script);
    if (!text) {
      status = usage(err, "cannot read the script " + *r.script, kRenderUsage);
      return false;
    }
    const ParsedScript script = parseScript(*text);
    if (script.errorLine > 0) {
      status = usage(err, *r.script + " line " + std::to_string(script.errorLine) + ": " + script.error, kRenderUsage);
      return false;
    }
    if (!playScript(s, script, out)) return false;
  }
  status = 0;
  return true;
}

}  // namespace

std::string lowerExtension(const std::string& path) {
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

int renderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::optional<RenderArgs> r = parse(args, err);
  if (!r) return 2;
  FieldReadAhead field(r->pva);
  ensureGuiApplication();
  const FontWarmUp fonts;
  // The option dialogs are answered from the command line: only their refusals are worth printing.
  headlessUi().setEchoDialogs(false);
  Session s(headlessUi(), r->width, r->height);
  if (!openInput(s, r->in, !r->noCfg)) return 1;
  s.open();
  int status = 0;
  if (!applyOptions(s, *r, field, out, err, status)) return status;
  s.paint();
  return s.exportImage(r->out) ? 0 : 1;
}

int scriptCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> files;
  int w = 800, h = 600;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--size") {
      if (i + 1 >= args.size()) return usage(err, "--size needs a value", kScriptUsage);
      if (auto why = parseSize(args[++i], w, h)) return usage(err, *why, kScriptUsage);
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return usage(err, "unknown option " + args[i], kScriptUsage);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) return usage(err, "script takes IN (or -) and SCRIPT", kScriptUsage);
  const std::string& in = files[0];
  if (in != "-" && lowerExtension(in) != "s3d" && lowerExtension(in) != "b3d" && foreignMeshExtension(in).empty())
    return usage(err, "unsupported input type: " + in, kScriptUsage);
  const std::optional<std::string> text = readScriptFile(files[1]);
  if (!text) return usage(err, "cannot read the script " + files[1], kScriptUsage);
  // The whole script is parsed before anything runs.
  const ParsedScript script = parseScript(*text);
  if (script.errorLine > 0)
    return usage(err, files[1] + " line " + std::to_string(script.errorLine) + ": " + script.error, kScriptUsage);
  ensureGuiApplication();
  Session s(headlessUi(), w, h);
  if (in != "-" && !openInput(s, in, true)) return 1;
  s.open();
  return playScript(s, script, out) ? 0 : 1;
}
