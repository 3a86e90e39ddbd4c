// korven-scan's three actions, each done through a TScanner and nothing else. Each returns the
// program's exit code (ExitCode) and has already told the console why when it is not 0.
//
// This is the only part of the program that talks to the scanner.
#ifndef KORVEN_SCAN_SCAN_SESSION_H
#define KORVEN_SCAN_SCAN_SESSION_H

#include "console.h"
#include "options.h"

#include <string>

namespace korven::scan {

// --list: the installed sources' product names, one per line on standard output, the manager's
// default source marked with "*" after the name.
int RunList(const Options& options, Console& console);
// --info: identity, version, settings with their ranges, units, pixel types, platen, feeder.
int RunInfo(const Options& options, Console& console);
// Scanning: applies the options, runs Execute and writes every page delivered.
int RunScan(const Options& options, Console& console);
// The line to show for an exception the component raised: its four fixed texts (kept in the
// component's own language) in English, naming the Windows directory; any other message as it is.
std::string DescribeScannerError(const std::string& message);

}  // namespace korven::scan

#endif
