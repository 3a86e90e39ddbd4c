// The session's way up and down the TWAIN states. Only TWAIN_Mgr and TWAIN_DS move FState; these
// operations issue the triplets and read the state afterwards. Opening operations climb from any
// state; closing ones form one cascade down (CloseSourceManager -> CloseSource -> DisableSource ->
// AbortAllPendingXfers -> EndXfer), each acting only when the state is high enough.
#include "internal.h"

#include <cstdio>
#include <memory>

namespace korven {

using detail::Str32;

bool TScanner::TWAIN_OpenSourceManager(HWND hWnd) {
  HWND h = GetValidHwnd(hWnd);
  if (FState < tsSM_OPEN) {
    if (TWAIN_LoadSourceManager() && TWAIN_Mgr(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &h)) VCL_ASSERT(FState == tsSM_OPEN);
  }
  return FState >= tsSM_OPEN;
}

bool TScanner::TWAIN_CloseSourceManager(HWND hWnd) {
  TWAIN_EmptyMessageQueue();
  HWND h = GetValidHwnd(hWnd);
  FResultCode = 0;
  if (TWAIN_CloseSource()) {
    // Also sent in tsSM_LOADED: the manager's refusal then changes nothing.
    if (TWAIN_Mgr(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &h)) VCL_ASSERT(FState == tsSM_LOADED);
  }
  return FState <= tsSM_LOADED;
}

bool TScanner::TWAIN_OpenDefaultSource(HWND hWnd) {
  if (FState < tsSOURCE_OPEN) {
    if (FState < tsSM_OPEN && !TWAIN_OpenSourceManager(hWnd)) return false;
    // The wrapper adds the opened product to SourcesInUse, so compare with the list as it was.
    auto snapshot = std::make_unique<vcl::TStringList>();
    if (SourcesInUse) snapshot->Assign(SourcesInUse);
    TW_IDENTITY id{};
    if (TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id)) {
      std::string name = Str32(id.ProductName);
      if (snapshot->IndexOf(name) >= 0) {
        TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &id);
        TWAIN_ErrorBox("TWAIN Source " + name + " is already used");
      } else {
        VCL_ASSERT(FState == tsSOURCE_OPEN);
      }
    }
  }
  return FState == tsSOURCE_OPEN;
}

bool TScanner::TWAIN_OpenSource(HWND hWnd, const std::string& Name) {
  // Reported only: the open is still attempted.
  if (SourcesInUse && SourcesInUse->IndexOf(Name) >= 0) TWAIN_ErrorBox("TWAIN Source " + Name + " is alreay used");
  if (FState < tsSOURCE_OPEN) {
    if (FState < tsSM_OPEN && !TWAIN_OpenSourceManager(hWnd)) return false;
    TW_IDENTITY id{};
    detail::SetStr32(id.ProductName, Name);
    if (TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id)) VCL_ASSERT(FState == tsSOURCE_OPEN);
  }
  return FState == tsSOURCE_OPEN;
}

bool TScanner::TWAIN_EnableSource(HWND hWnd) {
  if (FState < tsSOURCE_OPEN && !TWAIN_OpenDefaultSource(hWnd)) return false;
  // 0xFFFF, not 1: some sources test every bit.
  FUserInterface.ShowUI = GetShowUI() ? 0xFFFF : 0;
  FUserInterface.ModalUI = 0;
  FUserInterface.hParent = GetValidHwnd(hWnd);
  bool ok = TWAIN_DS(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &FUserInterface);
  return ok && FState == tsSOURCE_ENABLED;
}

bool TScanner::TWAIN_DisableSource() {
  TWAIN_AbortAllPendingXfers();
  if (FState >= tsSOURCE_ENABLED) {
    if (TWAIN_DS(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &FUserInterface)) VCL_ASSERT(FState == tsSOURCE_OPEN);
  }
  TWAIN_EmptyMessageQueue();
  return FState < tsSOURCE_ENABLED;
}

bool TScanner::TWAIN_CloseSource() {
  FResultCode = 0;
  TWAIN_DisableSource();
  if (FState == tsSOURCE_OPEN) {
    if (TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &FSourceID)) VCL_ASSERT(FState == tsSM_OPEN);
  }
  return FState <= tsSM_OPEN;
}

bool TScanner::TWAIN_SelectImageSource(HWND hWnd) {
  TWAINState old = FState;
  bool result = false;
  if (FState >= tsSM_OPEN || TWAIN_OpenSourceManager(hWnd)) {
    TW_IDENTITY id{};
    result = TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &id);
  }
  if (old < tsSM_OPEN) {
    TWAIN_CloseSourceManager(hWnd);
    if (old == tsPRESESSION) TWAIN_UnloadSourceManager(hWnd);
  }
  return result;
}

bool TScanner::TWAIN_EnumSources(HWND hWnd, vcl::TStrings* Strings) {
  Strings->Clear();
  TWAINState old = FState;
  if (FState < tsSM_OPEN && !TWAIN_OpenSourceManager(hWnd)) {
    // A library loaded only for this listing does not stay behind.
    if (old == tsPRESESSION && FState != tsPRESESSION) TWAIN_UnloadSourceManager(hWnd);
    return false;
  }

  TW_IDENTITY id{};
  bool result = TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
  for (bool more = result; more; more = TWAIN_Mgr(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id))
    Strings->Add(Str32(id.ProductName));

  if (FState != old) {
    bool restored = true;
    if (old == tsPRESESSION)
      restored = TWAIN_UnloadSourceManager(hWnd);
    else if (old == tsSM_LOADED)
      restored = TWAIN_CloseSourceManager(hWnd);
    else if (old == tsSM_OPEN)
      restored = TWAIN_CloseSource();
    VCL_ASSERT(restored);
  }
  if (FState != old) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "State missmatch Old=%d, Now=%d", int(old), int(FState));
    TWAIN_ErrorBox(buf);
  }
  return result;
}

std::string TScanner::TWAIN_SourceName() {
  if (FState < tsSOURCE_OPEN) return "";
  return Str32(FSourceID.ProductName);
}

bool TScanner::TWAIN_EndXfer() {
  if (FState == tsTRANSFERRING) TWAIN_DS(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &FPendingXfers);
  return FState < tsTRANSFERRING;
}

bool TScanner::TWAIN_AbortAllPendingXfers() {
  TWAIN_EndXfer();
  if (FState == tsTRANSFER_READY) TWAIN_DS(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &FPendingXfers);
  TWAIN_EmptyMessageQueue();
  return FState < tsTRANSFER_READY;
}

}  // namespace korven
