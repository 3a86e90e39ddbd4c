// The test chart the virtual scanner "scans": colour bars, a grey wedge and a continuous ramp, groups
// of fine vertical and horizontal lines, a border and a big seven-segment page number, laid out in
// inches on the platen and rendered at any frame, resolution and scaling with the tone settings
// applied. Rendering works on rows: each distinct row is drawn once from spans, every other row is a
// memcpy of an identical one, so a page costs little more than writing its bytes.
#ifndef KORVEN_VIRTUAL_CHART_H
#define KORVEN_VIRTUAL_CHART_H

#include "settings.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korven::virtualds {

// The raw values the "sensor" sees before any tone setting: paper and the darkest ink.
constexpr int kRawPaper = 240;
constexpr int kRawInk = 16;

struct Tone {
  double brightness = 0, contrast = 0, gamma = 2.2, highlight = 255, shadow = 0, threshold = 128;
  bool autoBright = false;
};

// The tone curve for one raw channel value (0..255): see README.md for the formula.
uint8_t ToneCurve(const Tone& t, int raw);

struct RenderJob {
  Frame frame;         // inches on the platen
  int width = 1, height = 1;  // pixels
  TW_UINT16 pixelType = TWPT_RGB;
  bool shortTable = false;  // 8-bit types: 16 greys / 216 colours instead of 256 entries
  Tone tone;
  int page = 1;
};

struct Rgb {
  uint8_t r, g, b;
};

// The colour table that goes with the job's pixel type (empty for RGB).
std::vector<Rgb> ColorTable(TW_UINT16 pixelType, bool shortTable);

// Bits per pixel and the DIB row length (padded to 4 bytes).
int BitsPerPixel(TW_UINT16 pixelType);
uint64_t RowBytes(int width, int bitsPerPixel);

// Writes the image as DIB rows, bottom-up (the top image row last), `stride` bytes apart, into
// `bits`, which holds height * stride bytes. Padding bytes are zero.
void RenderChart(const RenderJob& job, uint8_t* bits, size_t stride);

}  // namespace korven::virtualds

#endif
