// scan_pages: scans every page in the document feeder (or one page from the flatbed) with the
// default TWAIN source and saves each as page-1.bmp, page-2.bmp, ... in the current directory.
//
//   scan_pages [dpi]
//
// What to copy: create a TScanner, set a few properties, handle OnAfterScan (the bitmap it gets is
// reused for the next page, so save or copy it there), and call Execute.
#include <korven/Scanner.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  int pages = 0;
  try {
    korven::TScanner scanner(nullptr);
    scanner.SetUseDefaultSource(true);   // no selection dialog: the manager's default source
    scanner.SetUseCurrentValue(false);   // these settings win over the source's own
    scanner.SetShowUI(false);            // scan without the source's dialog
    scanner.SetMultiTransfer(true);      // every page, not only the first
    scanner.SetFeederEnabled(true);      // a flatbed source simply ignores this
    scanner.SetPixelType(korven::ptGray);
    scanner.GetResolution()->SetValue(argc > 1 ? float(std::atof(argv[1])) : 150);
    scanner.SetPaperSize(korven::psA4);

    scanner.SetOnAfterScan([&pages](vcl::TObject*, vcl::TBitmap* bitmap, bool& cancel) {
      std::string name = "page-" + std::to_string(++pages) + ".bmp";
      bitmap->SaveToFile(name);
      std::fprintf(stderr, "%s: %d x %d\n", name.c_str(), bitmap->GetWidth(), bitmap->GetHeight());
      cancel = pages >= 100;  // a safety stop for a feeder that never runs empty
    });

    scanner.Execute();
  } catch (const std::exception& e) {
    // EScanner texts come in the process's code page.
    std::fprintf(stderr, "scan_pages: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "%d page(s) saved\n", pages);
  return pages > 0 ? 0 : 2;
}
