// The page a transfer delivers: SANE's frames read with sane_read and turned into a packed DIB in a
// global block (1-bit with SANE's 1 as black, 8-bit grey, 24-bit colour from RGB frames or from
// three separate RED/GREEN/BLUE frames; 16-bit samples reduced to their high byte in the host's
// order, as SANE delivers them; padding at the end of a line skipped; a page of unknown length grown
// as its lines arrive), and its description for DAT_IMAGEINFO.
#ifndef KORVEN_SANE_IMAGE_H
#define KORVEN_SANE_IMAGE_H

#include <korven/twainh.h>
#include <sane/sane.h>
#include <windows.h>

#include <chrono>
#include <string>

namespace korven::saneds {

// Why parameters are not an image this source can deliver ("" when they are): no pixels, no lines,
// fewer bytes per line than the pixels need, a depth or frame format it does not know.
std::string CheckParameters(const SANE_Parameters& p);

// TW_IMAGEINFO for a page with these parameters; `height` is the real number of lines once known
// (-1: SANE's own, which is -1 for a page of unknown length).
void FillImageInfo(const SANE_Parameters& p, double xdpi, double ydpi, int height, TW_IMAGEINFO& info);

struct Page {
  HGLOBAL dib = 0;  // the application's once delivered
  SANE_Status status = SANE_STATUS_GOOD;
  bool timedOut = false;  // the device delivered nothing within the timeout and was cancelled
  std::string error;      // why there is no page
  int width = 0, height = 0;
};

// Reads the page whose first frame was started (parameters `first`) to its end, starting the further
// frames of a three-pass scan itself. Every blocking call gets `timeout` (0: none) before the device is
// cancelled. On any failure the scan is cancelled and no block is left.
Page ReadPage(SANE_Handle handle, const SANE_Parameters& first, double xdpi, double ydpi,
              std::chrono::milliseconds timeout);

}  // namespace korven::saneds

#endif
