// libFuzzer target for the DIB reader: a block of any size and content handed to
// TWAIN_DrawDibToBitmap, as a data source's native transfer hands it over. It either loads or is
// refused with a diagnostic; it never reads outside the block, and the block is never freed or
// resized by the reader.
#include <korven/Scanner.h>
#include <korven/platform.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static korven::TScanner* scanner = new korven::TScanner(nullptr);
  static vcl::TBitmap* bitmap = new vcl::TBitmap();
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!h) return 0;
  if (size) std::memcpy(GlobalLock(h), data, size), GlobalUnlock(h);
  try {
    scanner->TWAIN_DrawDibToBitmap(bitmap, h);
  } catch (const vcl::Exception&) {
  }
  if (GlobalSize(h) != size) std::abort();  // the reader must leave the block as it is
  if (GlobalFree(h) != 0) std::abort();     // and unlocked
  return 0;
}
