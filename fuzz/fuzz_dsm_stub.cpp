// A stand-in TWAIN_32.DLL for fuzz_source: its DSM_Entry hands every call, manager's and source's
// alike, to the handler the fuzz target installs through FuzzDsmSetHandler, which answers from the
// fuzz input. The component loads it by path from the Windows directory like the real manager.
#include <korven/twainh.h>

using FuzzDsmHandler = TW_UINT16 (*)(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);

namespace {
FuzzDsmHandler handler = nullptr;
}

extern "C" __attribute__((visibility("default"))) void FuzzDsmSetHandler(FuzzDsmHandler h) { handler = h; }

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(pTW_IDENTITY origin, pTW_IDENTITY dest,
                                                                      TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                                      TW_MEMREF pData) {
  return handler ? handler(origin, dest, DG, DAT, MSG, pData) : TW_UINT16(TWRC_FAILURE);
}
