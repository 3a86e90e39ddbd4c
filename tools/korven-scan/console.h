// What korven-scan tells the person at the terminal: progress lines, warnings, errors and (with
// --verbose) the component's diagnostics, all on standard error.
#ifndef KORVEN_SCAN_CONSOLE_H
#define KORVEN_SCAN_CONSOLE_H

#include "image_writer.h"

#include <cstdio>
#include <string>

namespace korven::scan {

class Console {
 public:
  // Writes to err (standard error in the program).
  Console(bool quiet, bool verbose, std::FILE* err = stderr);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // A progress line; nothing with --quiet.
  void Progress(const std::string& line);
  // A warning ("korven-scan: warning: ..."); written also with --quiet.
  void Warning(const std::string& line);
  // What became of a value ("korven-scan: rounded value of resolution from 110 to 75", as
  // scanimage says it); written also with --quiet.
  void Note(const std::string& line);
  // The one-line reason of a failure ("korven-scan: ...").
  void Error(const std::string& line);

  // From now on, every OutputDebugStringA text of the process is kept (the last one is offered to
  // error messages) and, with --verbose, written as "korven-scan: [component] ..." lines. Undone by
  // the destructor.
  void CaptureDiagnostics();
  // The first line of the most recent diagnostic text; empty when there was none.
  const std::string& LastDiagnostic() const { return last_; }

 private:
  bool quiet_, verbose_, capturing_ = false;
  std::FILE* err_;
  std::string last_;
};

// True when a person is at the terminal: standard input and standard error are terminals.
bool PersonAtTerminal();

// "1-bit black and white", "8-bit gray", "4-bit palette", "24-bit RGB" for the page's bitmap.
std::string DescribePixels(const vcl::TBitmap& bitmap);
// "page 2: 2480 x 3508 px, 300 dpi, 8-bit gray, 0.46 s" (the resolution as "300 x 600 dpi" when the
// axes differ, left out when unknown).
std::string PageLine(int page, const vcl::TBitmap& bitmap, double seconds);

}  // namespace korven::scan

#endif
