// The image a transfer delivers: its size in pixels, its description (DAT_IMAGEINFO) and the packed
// DIB in a global block (DAT_IMAGENATIVEXFER), shaped by the DIB knobs of the configuration.
#ifndef KORVEN_VIRTUAL_DIB_H
#define KORVEN_VIRTUAL_DIB_H

#include "settings.h"

#include <windows.h>

namespace korven::virtualds {

// Pixels across and down for the frame, resolution and scaling: a length of L inches at R dpi and
// scaling S gives floor(L * R * S + 0.25) pixels, at least 1. False when the image would be larger
// than the configured limit (MaxImageMB) or than a DIB can describe.
bool ImageSize(const Config& c, const Settings& s, int& width, int& height);

void FillImageInfo(const Settings& s, int width, int height, TW_IMAGEINFO& info);

// Renders page `page` and returns it as a packed DIB in a new global block, or 0 with `cc` set
// (TWCC_LOWMEMORY when the image is too large or memory ran out).
HGLOBAL BuildDib(const Config& c, const Settings& s, int page, TW_UINT16& cc);

}  // namespace korven::virtualds

#endif
