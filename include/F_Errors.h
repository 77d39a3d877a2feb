#pragma once
// The two ways the program reports a fault, and the 9-character axis label.

#include <new>
#include <string>
#include <string_view>

class F_InputFile;

// Thrown after a read error has been shown: the command that started the read
// catches it, discards what it read and leaves the document as it was.
struct F_UserException {};

// Thrown instead of a read error while the reader reads on from a guess
// about the file not yet confirmed (F_InputFile::guessing): the error may
// follow from the guess, so nothing is shown, and the file is read again
// from its start without guessing.
struct F_ReadAgain {};

// A broken invariant: shows the module and check number, then ends the process.
[[noreturn]] void internalError(const char* sourceName, int line);

// The text of the internal-error box.
std::string internalErrorText(const char* sourceName, int line);

// The read-error box: file name, full path, "Line n. %d" when line > 0, message.
std::string readErrorText(std::string_view fileName, std::string_view filePath,
                          std::string_view message, int line);
void reportReadError(const F_InputFile& file, std::string_view message, int line);
void reportReadError(std::string_view fileName, std::string_view filePath,
                     std::string_view message, int line);

// reportReadError, then the silent exception that ends the file operation.
[[noreturn]] void failRead(const F_InputFile& file, std::string_view message, int line);

// Shows "ERROR\nNot enough memory." and ends the process.
[[noreturn]] void outOfMemory();

// Runs f, turning a failed allocation into the out-of-memory stop above.
template <class F>
auto guardedAllocation(F f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    outOfMemory();
  }
}

// Exactly 9 characters for any double.
std::string formatAxisValue(double v);
