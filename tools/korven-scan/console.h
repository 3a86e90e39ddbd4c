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
  // Writes to err (standard error in the program). meter: show the progress meter (-p, or a
  // terminal); on a terminal its line is rewritten in place.
  Console(bool quiet, bool verbose, bool meter = false, std::FILE* err = stderr);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // A progress line; nothing with --quiet.
  void Progress(const std::string& line);
  // The progress meter: text replaces the meter's line at most every 0.2 s on a terminal, once a
  // second elsewhere; force writes it at once. Nothing when the meter is off.
  void Meter(const std::string& text, bool force = false);
  bool MeterOn() const { return meter_; }
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
  // Ends a meter line on a terminal, so that the next line starts clean.
  void EndMeterLine();

  bool quiet_, verbose_, meter_, capturing_ = false;
  bool terminal_ = false, meterShowing_ = false;
  double lastMeter_ = -1;
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
