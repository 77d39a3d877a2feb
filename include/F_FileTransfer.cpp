#include "include/F_FileTransfer.h"

#include "include/F_Errors.h"
#include "platform/UiServices.h"

bool readWholeFile(const std::string& path, const std::function<void(F_InputFile&)>& read) {
  auto file = F_InputFile::open(path);
  if (!file) {
    reportReadError(fileNameOf(path), absolutePathOf(path), "ERROR\nFile not found.", 0);
    return false;
  }
  WaitCursor wait;
  try {
    read(*file);
  } catch (const F_UserException&) {
    return false;
  }
  return true;
}

bool writeWholeFile(const std::string& path, F_OutputFile::Mode mode, const std::function<bool(F_OutputFile&)>& write) {
  auto file = F_OutputFile::create(path, mode);
  if (!file) {
    reportReadError(fileNameOf(path), absolutePathOf(path), "ERROR\nUnable to open output file.\nNo write permission.",
                    0);
    return false;
  }
  WaitCursor wait;
  const bool written = write(*file);
  if (!file->close() || !written) {
    ui().messageBox("Unable to finish write operation.");
    return false;
  }
  return true;
}
