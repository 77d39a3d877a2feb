#pragma once
// Element and point records of an .s3d layer in the one shape the program
// writes them (one record per line, plain numbers, nothing else on the line),
// read in place from the file (F_RecordScan::readInPlace), on several threads
// when there is much of it. Any other line stops them at its start, and the
// ordinary reader goes on from there: it reads every other shape the format
// allows and reports every error, with its line and message, exactly as it
// always has.

#include "common/F_Point3D.h"
#include "common/F_S3dElement.h"
#include "include/F_File.h"
#include "include/F_SharedVector.h"
#include "include/F_Vector.h"

namespace F_S3dRecords {

// The most nodes of an element record that the fast reader takes.
constexpr int kMostNodes = 20;

// Reads element records numbered `next`, next + 1, ... but not beyond `last`,
// with node numbers in 1..points, from the lines after the current one (whose
// rest must be blank), and appends them to `out`. Returns how many were read:
// 0 when the next line is not one of them, and then nothing was consumed.
// Afterwards the file stands at the NewLine of the last record read, as after
// the ordinary reader; the stream's lineNumber() has counted the lines passed.
int readElements(F_InputFile& file, int next, int last, int points, F_SharedVector<F_S3dElement>& out);
// The same for point records.
int readPoints(F_InputFile& file, int next, int last, F_Vector<F_Point3D>& out);

}  // namespace F_S3dRecords
