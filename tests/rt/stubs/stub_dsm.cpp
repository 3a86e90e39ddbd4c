// A stand-in TWAIN_32.DLL for the cases where the manager itself must fail. Its DSM_Entry answers
// MSG_OPENDSM and DAT_STATUS as StubConfigure says and refuses everything else. Built once with
// DSM_Entry and once without (STUB_WITHOUT_ENTRY).
#include <korven/twainh.h>

namespace {
TW_UINT16 openResult = TWRC_FAILURE;
TW_UINT16 conditionCode = TWCC_BUMMER;
}  // namespace

extern "C" __attribute__((visibility("default"))) void StubConfigure(TW_UINT16 openDsmResult, TW_UINT16 condition) {
  openResult = openDsmResult;
  conditionCode = condition;
}

#ifndef STUB_WITHOUT_ENTRY
extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32 DG,
                                                                      TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
  if (DG == DG_CONTROL && DAT == DAT_PARENT && MSG == MSG_OPENDSM) return openResult;
  if (DG == DG_CONTROL && DAT == DAT_PARENT && MSG == MSG_CLOSEDSM) return TWRC_SUCCESS;
  if (DG == DG_CONTROL && DAT == DAT_STATUS && MSG == MSG_GET && pData) {
    static_cast<TW_STATUS*>(pData)->ConditionCode = conditionCode;
    return TWRC_SUCCESS;
  }
  return TWRC_FAILURE;
}
#endif
