#include "cli/Cli.h"

#include <algorithm>
#include <cctype>
#include <ostream>

#include "app/CKavrilonDoc.h"
#include "cli/Render.h"
#include "common/F_LayerContext.h"
#include "common/F_S3dMesh.h"
#include "common/F_ScalarField.h"
#include "include/F_Errors.h"
#include "include/F_File.h"
#include "platform/headless/HeadlessUi.h"

namespace {

const char* const kUsage =
    "usage: kavrilon-cli check FILE\n"
    "       kavrilon-cli convert IN OUT [--no-cfg]\n"
    "       kavrilon-cli render IN -o OUT [--size WxH] [--cfg FILE] [--angles PHI,PSI,ALPHA] [--layer N]\n"
    "                         [--pva FILE] [--colors N] [--range LO,HI] [--shading]";

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
  if (ext == "s3d") return doc.importFile(path, offerCompanion) == CKavrilonDoc::ImportResult::Imported;
  return doc.OnOpenDocument(path);
}

int check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) return usage(err, "check takes one file");
  const std::string& path = args[0];
  const std::string ext = extensionOf(path);
  if (ext == "s3d" || ext == "b3d") {
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

int convert(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  std::vector<std::string> files;
  bool noCfg = false;
  for (const auto& a : args) {
    if (a == "--no-cfg") {
      noCfg = true;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return usage(err, "unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return usage(err, "convert takes IN and OUT");
  const std::string inExt = extensionOf(files[0]);
  const std::string outExt = extensionOf(files[1]);
  if (inExt != "s3d" && inExt != "b3d") return usage(err, "unsupported input type: " + files[0]);
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
};

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usage(err, "missing subcommand");
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
