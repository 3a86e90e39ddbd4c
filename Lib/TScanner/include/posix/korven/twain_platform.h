// What the TWAIN definitions take from the platform, POSIX edition (chosen by CMake; the Windows
// edition lives in include/win32/korven/twain_platform.h). Included by <korven/twainh.h>.
#ifndef KORVEN_TWAIN_PLATFORM_H
#define KORVEN_TWAIN_PLATFORM_H

#include <cstdint>

// A global memory handle: 32 bits, as on 32-bit Windows (the platform layer's HANDLE), so the records
// keep their standard layout without <windows.h> in sight.
typedef uint32_t TW_HANDLE;

// The calling convention of DSM_Entry and DS_Entry: the compiler's own here.
#define TW_CALLINGSTYLE

// Marks DSM_Entry and DS_Entry as the module's exports (the rest of a module is hidden).
#define KORVEN_TWAIN_EXPORT __attribute__((visibility("default")))

#endif  // KORVEN_TWAIN_PLATFORM_H
