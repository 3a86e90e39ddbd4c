// korven-scan: scans with a TWAIN source through TScanner and writes the pages to image files.
#include "console.h"
#include "image_writer.h"
#include "options.h"
#include "scan_session.h"

#include <korven/terminal_desktop.h>
#include <vcl/SysUtils.h>

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <memory>
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
  // A person at a terminal answers the dialogs (source selection, the source's own dialog, message
  // boxes, --batch-prompt) there; otherwise the default desktop answers as it always has.
  std::unique_ptr<korven::platform::TerminalDesktop> terminal;
  std::unique_ptr<korven::platform::ScopedDesktop> installed;
  if (PersonAtTerminal()) {
    terminal = std::make_unique<korven::platform::TerminalDesktop>(STDIN_FILENO, STDERR_FILENO);
    installed = std::make_unique<korven::platform::ScopedDesktop>(*terminal);
  }
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
