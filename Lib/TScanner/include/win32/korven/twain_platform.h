// What the TWAIN definitions take from the platform, Windows edition (chosen by CMake; the POSIX
// edition lives in include/posix/korven/twain_platform.h). Included by <korven/twainh.h>.
#ifndef KORVEN_TWAIN_PLATFORM_H
#define KORVEN_TWAIN_PLATFORM_H

#include <windows.h>

// A global memory handle, as the standard's header has it.
typedef HANDLE TW_HANDLE;

// DSM_Entry and DS_Entry are PASCAL (__stdcall) functions on 32-bit Windows.
#define TW_CALLINGSTYLE PASCAL

// The export itself is named by the module's .def file, which gives the undecorated name
// ("DSM_Entry", not "_DSM_Entry@24") that other managers and applications look up.
#define KORVEN_TWAIN_EXPORT

#endif  // KORVEN_TWAIN_PLATFORM_H
