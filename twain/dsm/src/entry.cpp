// TWAIN_32.DLL's only export.
#include "manager.h"

#include <type_traits>

extern "C" KORVEN_TWAIN_EXPORT TW_UINT16 TW_CALLINGSTYLE DSM_Entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest,
                                                                   TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                                   TW_MEMREF pData) {
  return korven::dsm::Manager::Instance().Entry(pOrigin, pDest, DG, DAT, MSG, pData);
}

static_assert(std::is_same_v<decltype(&DSM_Entry), DSMENTRYPROC>, "DSM_Entry must match the standard's signature");
