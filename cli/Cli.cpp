#include "cli/Cli.h"

#include <algorithm>
#include <cctype>
#include <ostream>

#include "common/F_S3dMesh.h"
#include "include/F_Errors.h"
#include "include/F_File.h"
#include "platform/headless/HeadlessUi.h"

namespace {

const char* const kUsage =
    "usage: kavrilon-cli check FILE\n"
    "       kavrilon-cli convert IN OUT [--no-cfg]";

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

// The mesh of an .s3d file, or false after the error was shown.
bool importS3d(const std::string& path, F_S3dMesh& mesh) {
  auto file = F_InputFile::open(path);
  if (!file) {
    reportReadError(fileNameOf(path), absolutePathOf(path), "ERROR\nFile not found.", 0);
    return false;
  }
  int lineNumber = 1;
  F_S3dMesh fresh;
  try {
    fresh.readS3d(*file, lineNumber);
  } catch (const F_UserException&) {
    return false;
  }
  mesh = std::move(fresh);
  return true;
}

bool exportS3d(const std::string& path, const F_S3dMesh& mesh) {
  auto file = F_OutputFile::create(path, F_OutputFile::Mode::Text);
  if (!file) {
    reportReadError(fileNameOf(path), absolutePathOf(path), "ERROR\nUnable to open output file.\nNo write permission.",
                    0);
    return false;
  }
  mesh.writeS3d(*file);
  if (!file->close()) {
    ui().messageBox("Unable to finish write operation.");
    return false;
  }
  return true;
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

int check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) return usage(err, "check takes one file");
  const std::string& path = args[0];
  std::string ext = extensionOf(path);
  if (ext == "s3d") {
    F_S3dMesh mesh;
    if (!importS3d(path, mesh)) return 1;
    printMesh(out, mesh);
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
  (void)noCfg;
  if (files.size() != 2) return usage(err, "convert takes IN and OUT");
  const std::string inExt = extensionOf(files[0]);
  const std::string outExt = extensionOf(files[1]);
  if (inExt != "s3d") return usage(err, "unsupported input type: " + files[0]);
  if (outExt != "s3d") return usage(err, "unsupported output type: " + files[1]);
  F_S3dMesh mesh;
  if (!importS3d(files[0], mesh)) return 1;
  return exportS3d(files[1], mesh) ? 0 : 1;
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usage(err, "missing subcommand");
  HeadlessUi headless(&out);
  UiServices* previous = installUiServices(&headless);
  std::vector<std::string> rest(args.begin() + 1, args.end());
  int status;
  if (args[0] == "check") {
    status = check(rest, out, err);
  } else if (args[0] == "convert") {
    status = convert(rest, out, err);
  } else {
    status = usage(err, "unknown subcommand " + args[0]);
  }
  installUiServices(previous);
  return status;
}
