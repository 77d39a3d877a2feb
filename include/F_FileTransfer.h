#pragma once
// The one way a whole file is read and the one way it is written, so that
// every command that opens or saves a file reports failure alike.
//
// Reading: the file is opened ("File not found." with its name and path when
// it cannot be), the reader runs with the line counter at 1, and a read error
// (already shown by the word reader) ends it. Writing: the file is created
// beside its target ("No write permission." when it cannot be), written,
// closed and renamed over the target; a write that fails shows "Unable to
// finish write operation." and leaves the target as it was.

#include <functional>
#include <string>

#include "include/F_File.h"

// True when the whole file was read without an error.
bool readWholeFile(const std::string& path, const std::function<void(F_InputFile&)>& read);

// True when everything was written; `write` returns false for a failure of its own.
bool writeWholeFile(const std::string& path, F_OutputFile::Mode mode, const std::function<bool(F_OutputFile&)>& write);
