#include "cli/Cli.h"

#include <algorithm>
#include <cctype>
#include <ostream>

#include "app/CKavrilonDoc.h"
#include "cli/Render.h"
#include "common/F_LayerContext.h"
#include "common/F_S3dMesh.h"
#include "common/F_ScalarField.h"
#include "import/F_MeshImport.h"
#include "include/F_Errors.h"
#include "include/F_File.h"
#include "include/F_FileTransfer.h"
#include "platform/headless/HeadlessUi.h"

namespace {

const char* const kUsage =
    "usage: kavrilon-cli check FILE\n"
    "       kavrilon-cli convert IN OUT [--no-cfg]\n"
    "       kavrilon-cli convert MESH OUT.pva --layer N [--field NAME]\n"
    "       kavrilon-cli render IN -o OUT [--size WxH] [--cfg FILE] [--view xy|yz|xz] [--angles PHI,PSI,ALPHA]\n"
    "                         [--layer N] [--pva FILE] [--colors N] [--range LO,HI] [--shading]\n"
    "                         [--script FILE] [--no-cfg] [--field NAME]\n"
    "       kavrilon-cli script IN|- SCRIPT [--size WxH]\n"
    "       kavrilon-cli [SUBCOMMAND] --help";

const char* const kProgramHelp =
    "kavrilon-cli: the Kavrilon viewer without a window, for batch work and tests.\n"
    "\n"
    "Subcommands:\n"
    "  check FILE          read a .s3d, .b3d, .cfg or .pva file, or a mesh of another\n"
    "                      program (.msh, .vtk, .vtu, .inp), and print what it holds\n"
    "  convert IN OUT      turn a mesh (.s3d, .msh, .vtk, .vtu, .inp) or a .b3d into a .b3d,\n"
    "                      .s3d or .cfg, or a layer's node data into a .pva\n"
    "  render IN -o OUT    draw a view of a mesh into a .bmp or .png picture\n"
    "  script IN SCRIPT    replay window events (keys, mouse, commands, dialogs) on a view\n"
    "\n"
    "Messages the desktop program would show in a box are printed as 'message: TEXT'.\n"
    "Exit status: 0 success, 1 the input was refused, 2 a usage error.\n"
    "Run 'kavrilon-cli SUBCOMMAND --help' for the options of each.\n";

const char* const kCheckHelp =
    "usage: kavrilon-cli check FILE\n"
    "\n"
    "Reads FILE as the desktop program would and prints a summary:\n"
    "  .s3d, .b3d  the mesh and one line per layer with its element, point and special-node counts\n"
    "  .msh, .vtk, .vtu, .inp  the same, for the mesh as it is imported (solids by their skin)\n"
    "  .cfg        the number of layers the display options are for\n"
    "  .pva        the number of values and their smallest and largest\n"
    "A file that cannot be read prints the program's message and exits with 1.\n";

const char* const kConvertHelp =
    "usage: kavrilon-cli convert IN OUT [--no-cfg]\n"
    "       kavrilon-cli convert MESH OUT.pva --layer N [--field NAME]\n"
    "\n"
    "IN is a mesh file (.s3d, or .msh, .vtk, .vtu, .inp of other programs, imported as\n"
    "File > Import does) or a document (.b3d).\n"
    "OUT .b3d saves the document, .s3d exports the mesh, .cfg writes its display options.\n"
    "  --no-cfg   do not take the display options of IN.cfg beside a mesh input\n"
    "OUT .pva writes the node data NAME (default: the file's first) of layer N of MESH\n"
    "(.msh, .vtk, .vtu, .inp), one value per point of the layer.\n"
    "A file is always written whole or not at all: a failed write keeps the old file.\n";

const char* const kRenderHelp =
    "usage: kavrilon-cli render IN -o OUT [options]\n"
    "\n"
    "Opens IN (a mesh: .s3d, .msh, .vtk, .vtu, .inp; or a .b3d) in a new view, applies the\n"
    "options in the order below,\n"
    "paints and writes the whole canvas to OUT (.bmp, or .png with the same pixels).\n"
    "  --size WxH            window size in pixels (default 1024x768; at most 32768 a side and\n"
    "                        1 GiB of picture and depth buffer)\n"
    "  --cfg FILE            import display options (.cfg) into the view\n"
    "  --view xy|yz|xz       look straight at a coordinate plane\n"
    "  --angles PHI,PSI,ALPHA  view angles in degrees, each in ]-180,180]. 0,0,0 looks along\n"
    "                        the x axis (the yz plane); -90,-90,0 looks down the z axis onto the\n"
    "                        xy plane, the usual view of a flat mesh; -90,0,0 shows the xz plane;\n"
    "                        -60,-60,0 is a good oblique start\n"
    "  --layer N             make layer N current (numbers, markers and fields belong to it)\n"
    "  --pva FILE            show a scalar field (one value per point of the current layer)\n"
    "                        as a contour fill with its side bar\n"
    "  --colors N            number of rainbow colours of the field, 2 to 3000\n"
    "  --range LO,HI         side-bar range of the field\n"
    "  --shading             shade the surfaces instead of drawing outlines\n"
    "  --script FILE         replay a script of window events before the paint (see script --help)\n"
    "  --no-cfg              do not take the display options of IN.cfg beside a mesh input\n"
    "  --field NAME          show the node data NAME of a .msh, .vtk, .vtu or .inp as the\n"
    "                        scalar field of the current layer (after --layer, before --pva)\n"
    "A refused value, an unreadable --pva or --cfg: the message is printed, nothing is\n"
    "written and the exit status is 1.\n";

const char* const kScriptHelp =
    "usage: kavrilon-cli script IN|- SCRIPT [--size WxH]\n"
    "\n"
    "Opens IN (or a new empty document for -) in a view of 800x600 pixels (or --size)\n"
    "and replays SCRIPT, one event a line ('#' starts a comment):\n"
    "  resize W H                   the window's client area becomes W x H\n"
    "  char C                       a typed character (C, or space, return)\n"
    "  key NAME [shift] [ctrl]      left right up down home end prior next add subtract space return\n"
    "  down|move X Y [shift] [ctrl] [right]   the left button pressed, or the mouse moved\n"
    "  up X Y                       the left button released\n"
    "  killfocus                    the view loses the keyboard focus\n"
    "  command ID                   a menu, toolbar or accelerator command by its id\n"
    "  dialog TOKEN...              the next dialog's answers: ID=TEXT, then 1 (OK) or 2 (Cancel)\n"
    "  answer yes|no                the answer to the next question\n"
    "  file PATH|cancel             what the next file dialog returns\n"
    "  paint                        a paint of the whole window\n"
    "  print state | print ui       the view's state, or every command's [enabled, checked]\n"
    "  export PATH                  Export View Image (.bmp or .png)\n"
    "A line that cannot be parsed is a usage error naming its number; nothing runs then.\n";

int usage(std::ostream& err, const std::string& why) {
  err << "kavrilon-cli: " << why << "\n" << kUsage << "\n";
  return 2;
}

std::string extensionOf(const std::string& path) {
  auto dot = path.find_last_of('.');
  auto slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

void printMesh(std::ostream& out, const F_S3dMesh& mesh) {
  long long e = 0, p = 0, s = 0;
  for (const auto& layer : mesh.layers) {
    e += layer.elementCount();
    p += layer.pointCount();
    s += layer.specialNodeCount();
  }
  out << "mesh \"" << mesh.name << "\" layers=" << mesh.layerCount() << " elements=" << e << " points=" << p
      << " specialNodes=" << s << "\n";
  for (int i = 1; i <= mesh.layerCount(); ++i) {
    const auto& layer = mesh.layer(i);
    out << "layer " << i << " \"" << layer.name << "\" elements=" << layer.elementCount()
        << " points=" << layer.pointCount() << " specialNodes=" << layer.specialNodeCount() << "\n";
  }
}

// Fills `doc` from IN as the desktop program would: an .s3d import (with the
// companion .cfg unless `offerCompanion` is false) or a .b3d open. False after
// the failure was shown; a companion that could not be read counts as one.
bool openInput(CKavrilonDoc& doc, const std::string& path, const std::string& ext, bool offerCompanion) {
  if (ext == "s3d" || !foreignMeshExtension(path).empty()) return doc.importFile(path, offerCompanion) == CKavrilonDoc::ImportResult::Imported;
  return doc.OnOpenDocument(path);
}

int check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) return usage(err, "check takes one file");
  const std::string& path = args[0];
  const std::string ext = extensionOf(path);
  if (ext == "s3d" || ext == "b3d" || !foreignMeshExtension(path).empty()) {
    // An .s3d check reads the mesh only; its companion options are not asked for.
    CKavrilonDoc doc;
    if (!openInput(doc, path, ext, false)) return 1;
    printMesh(out, doc.mesh);
    return 0;
  }
  if (ext == "cfg") {
    F_DisplayOptions options;
    if (!options.readCfgFile(path)) return 1;
    out << "options layers=" << options.layerCount() << "\n";
    return 0;
  }
  if (ext == "pva") {
    const std::optional<F_VectorReal> values = loadScalarField(path);
    if (!values) return 1;
    out << scalarFieldSummary(*values) << "\n";
    return 0;
  }
  return usage(err, "unsupported file type: " + path);
}

// convert MESH OUT.pva --layer N [--field NAME]: the node data of one layer
// as a PVA file, one value per point of the layer.
int convertNodeData(const std::string& in, const std::string& out, const std::optional<std::string>& layerText,
                    const std::optional<std::string>& field, std::ostream& err) {
  std::string message;
  if (!layerText || !isInteger(*layerText, message) || toInteger(*layerText) < 1) {
    return usage(err, "convert to .pva takes --layer N, N from 1");
  }
  const int layer = toInteger(*layerText);
  CKavrilonDoc doc;
  if (!openInput(doc, in, extensionOf(in), false)) return 1;
  if (layer > doc.mesh.layerCount()) return usage(err, "the mesh has no layer " + *layerText);
  const std::optional<F_VectorReal> values = doc.nodeFields.layerField(layer, field.value_or(""));
  if (!values) {
    ui().messageBox(field ? "ERROR\nThe file holds no node data named \"" + *field + "\"."
                          : std::string("ERROR\nThe file holds no node data."));
    return 1;
  }
  return writeWholeFile(out, F_OutputFile::Mode::Text,
                        [&](F_OutputFile& file) {
                          writeScalarField(file, *values);
                          return true;
                        })
             ? 0
             : 1;
}

int convert(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  std::vector<std::string> files;
  bool noCfg = false;
  std::optional<std::string> layerText, field;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--no-cfg") {
      noCfg = true;
    } else if (a == "--layer" || a == "--field") {
      if (i + 1 == args.size()) return usage(err, a + " needs a value");
      (a == "--layer" ? layerText : field) = args[++i];
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return usage(err, "unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return usage(err, "convert takes IN and OUT");
  const std::string inExt = extensionOf(files[0]);
  const std::string outExt = extensionOf(files[1]);
  const bool foreign = !foreignMeshExtension(files[0]).empty();
  if (inExt != "s3d" && inExt != "b3d" && !foreign) return usage(err, "unsupported input type: " + files[0]);
  if (outExt == "pva") {
    return foreign ? convertNodeData(files[0], files[1], layerText, field, err)
                   : usage(err, "node data comes from .msh, .vtk, .vtu or .inp files");
  }
  if (layerText || field) return usage(err, "--layer and --field go with an OUT.pva");
  if (outExt != "s3d" && outExt != "b3d" && outExt != "cfg") return usage(err, "unsupported output type: " + files[1]);

  CKavrilonDoc doc;
  if (!openInput(doc, files[0], inExt, !noCfg)) return 1;
  if (outExt == "b3d") return doc.OnSaveDocument(files[1]) ? 0 : 1;
  if (outExt == "s3d") return doc.exportFile(files[1]) ? 0 : 1;
  // The desktop program offers Export Display Options only for a mesh with
  // layers: a .cfg without layers would not read back.
  if (doc.displayOptions.layerCount() == 0) {
    err << "kavrilon-cli: " << files[0] << " has no layers, so there are no display options to write\n";
    return 1;
  }
  return doc.displayOptions.writeCfgFile(files[1]) ? 0 : 1;
}

using Subcommand = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);

// Every subcommand by name; render and script join this table.
const struct {
  const char* name;
  Subcommand run;
} kSubcommands[] = {
    {"check", check},
    {"convert", convert},
    {"render", renderCommand},
    {"script", scriptCommand},
};

const struct {
  const char* name;
  const char* help;
} kHelp[] = {{"check", kCheckHelp}, {"convert", kConvertHelp}, {"render", kRenderHelp}, {"script", kScriptHelp}};

bool wantsHelp(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--help") != args.end() ||
         std::find(args.begin(), args.end(), "-h") != args.end();
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usage(err, "missing subcommand");
  if (wantsHelp(args)) {
    for (const auto& h : kHelp) {
      if (args[0] == h.name) {
        out << h.help;
        return 0;
      }
    }
    if (args[0] == "--help" || args[0] == "-h") {
      out << kProgramHelp << "\n" << kUsage << "\n";
      return 0;
    }
  }
  HeadlessUi headless(&out);
  UiServices* previous = installUiServices(&headless);
  std::vector<std::string> rest(args.begin() + 1, args.end());
  int status = -1;
  for (const auto& sub : kSubcommands) {
    if (args[0] == sub.name) status = sub.run(rest, out, err);
  }
  if (status < 0) status = usage(err, "unknown subcommand " + args[0]);
  installUiServices(previous);
  return status;
}
