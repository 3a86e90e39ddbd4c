// korven-scan: scans with a TWAIN source through TScanner and writes the pages to image files.
#include "console.h"
#include "image_writer.h"
#include "options.h"
#include "scan_session.h"

#include <vcl/SysUtils.h>

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <new>

int main(int argc, char** argv) {
  using namespace korven::scan;
  ParseOutcome parsed = ParseCommandLine(argc, argv);
  if (parsed.exitCode >= 0) {
    std::fputs(parsed.text.c_str(), parsed.exitCode == kExitPages ? stdout : stderr);
    return parsed.exitCode;
  }
  const Options& options = parsed.options;
  RemoveTemporaryFilesOnSignals();
  // The meter shows where a scan or an encode stands: on a terminal, or when -p asks for it.
  bool meter = options.progress == Progress::On || (options.progress == Progress::Auto && isatty(STDERR_FILENO));
  Console console(options.progress == Progress::Off, options.verbose, meter);
  console.CaptureDiagnostics();
  try {
    switch (options.action) {
      case Action::List: return RunList(options, console);
      case Action::Info: return RunInfo(options, console);
      case Action::Scan: return RunScan(options, console);
    }
  } catch (const OutputError& e) {
    console.Error(e.what());
    return kExitOutput;
  } catch (const vcl::Exception& e) {
    console.Error(DescribeScannerError(e.Message()));
    return kExitScanner;
  } catch (const std::bad_alloc&) {
    console.Error("out of memory");
    return kExitScanner;
  } catch (const std::exception& e) {
    console.Error(e.what());
    return kExitScanner;
  }
  return kExitScanner;
}
