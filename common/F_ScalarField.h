#pragma once
// The PVA file: one value per point of a layer, one record per line in point
// order: the point number (1, 2, ...), the value, and the rest of the line,
// which is ignored (normally empty or a comment). Blank and comment lines may
// stand before a record; the last record ends with its NewLine and the file
// ends right there.

#include <optional>
#include <string>

#include "common/F_ScreenMap.h"
#include "include/F_File.h"
#include "include/F_Vector.h"

// Reads the whole stream in one pass, checking the records and keeping their
// values, then copies them into a vector made once with the exact size.
// Lines in the shape the program writes are read on several threads when
// there are many; every other line goes to the ordinary reader. The stream
// is read from its first line; the first error is shown with its line
// (word-reader messages, "ERROR\nBad item count.") and thrown as
// F_UserException.
F_VectorReal readScalarField(F_InputFile& file);

// Opens `path` and reads it; "ERROR\nFile not found." (no line) when it cannot
// be opened. Nothing when the read failed: its message has been shown.
std::optional<F_VectorReal> loadScalarField(const std::string& path);

// The values of the file at `path` when every record in it has the shape the
// program writes (and the file ends after the last), exactly as
// loadScalarField gives them; nothing, and not a word to the user, when it
// cannot be opened or holds any other line: loadScalarField then says what
// it finds. For reading a file ahead on another thread.
std::optional<F_VectorReal> readWrittenScalarField(const std::string& path);

// One record a line, " %8d  %.17g": reads back to the same values.
void writeScalarField(F_OutputFile& file, const F_VectorReal& values);

// The smallest and largest of the values themselves; (0, 0) for none.
F_Interval valueExtremes(const F_VectorReal& values);

// One line for batch checks: "values=N min=LO max=HI", the extremes %.17g.
std::string scalarFieldSummary(const F_VectorReal& values);
