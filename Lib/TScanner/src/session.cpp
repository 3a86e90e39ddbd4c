// The session layer's binding to the Data Source Manager: loading TWAIN_32.DLL, the two call
// wrappers with their state bookkeeping, the status codes and the diagnostic line.
#include "internal.h"

#include <korven/platform.h>

#include <cstdio>
#include <vector>

namespace korven {

using detail::Str32;

vcl::TStringList* SourcesInUse = nullptr;

namespace {

// SourcesInUse lives from the library's load to its unload.
struct SourcesInUseLifetime {
  SourcesInUseLifetime() { SourcesInUse = new vcl::TStringList; }
  ~SourcesInUseLifetime() {
    delete SourcesInUse;
    SourcesInUse = nullptr;
  }
} sourcesInUseLifetime;

const char* const ResultCodeNames[10] = {
    "TWRC_SUCCESS",   "TWRC_FAILURE",  "TWRC_CHECKSTATUS", "TWRC_CANCEL",           "TWRC_DSEVENT",
    "TWRC_NOTDSEVENT", "TWRC_XFERDONE", "TWRC_ENDOFLIST",   "TWRC_INFONOTSUPPORTED", "TWRC_DATANOTAVAILABLE"};

const char* const ConditionCodeNames[16] = {
    "TWCC_SUCCESS", "TWCC_BUMMER",       "TWCC_LOWMEMORY", "TWCC_NODS",          "TWCC_MAXCONNECTIONS",
    "TWCC_OPERATIONERROR", "TWCC_BADCAP", "TWCC_7",        "TWCC_8",             "TWCC_BADPROTOCOL",
    "TWCC_BADVALUE", "TWCC_SEQERROR",    "TWCC_BADDEST",   "TWCC_CAPUNSUPPORTED", "TWCC_CAPBADOPERATION",
    "TWCC_CAPSEQERROR"};

std::string Unknown(int code) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Unknow (%d)", code);
  return buf;
}

// The maker named in the application identity (at most 33 characters).
constexpr const char* AppManufacturer = "korven project";

}  // namespace

void TScanner::InitAppID() {
  FAppID.Id = 0;
  FAppID.Version.MajorNum = 1;
  FAppID.Version.MinorNum = 0;
  FAppID.Version.Language = TWLG_JAPANESE;
  FAppID.Version.Country = TWCY_JAPAN;
  detail::SetStr32(FAppID.Version.Info, "Unknow Version");
  FAppID.ProtocolMajor = TWON_PROTOCOLMAJOR;
  FAppID.ProtocolMinor = TWON_PROTOCOLMINOR;
  FAppID.SupportedGroups = DG_CONTROL | DG_IMAGE;
  detail::SetStr32(FAppID.Manufacturer, AppManufacturer);
  detail::SetStr32(FAppID.ProductFamily, "TScanner Application");
  detail::SetStr32(FAppID.ProductName, "Unknow Product");
}

bool TScanner::TWAIN_LoadSourceManager() {
  if (FState >= tsSM_LOADED) return true;
  char dir[256] = {};
  UINT n = GetWindowsDirectoryA(dir, sizeof dir);
  // A directory that does not fit leaves the buffer without a path: nothing to load from.
  if (n == 0 || n >= sizeof dir) return false;
  std::string path(dir, strnlen(dir, sizeof dir));
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  path += "TWAIN_32.DLL";

  FDSMVersion = GetFileVersion(path);
  FDSMEntry = nullptr;
  FDSMHandle = LoadLibraryA(path.c_str());
  if (FDSMHandle != 0) {
    FDSMEntry = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(GetProcAddress(FDSMHandle, "DSM_Entry")));
    if (FDSMEntry) {
      FState = tsSM_LOADED;
    } else {
      FreeLibrary(FDSMHandle);
      FDSMHandle = 0;
    }
  }
  return FState >= tsSM_LOADED;
}

bool TScanner::TWAIN_UnloadSourceManager(HWND hWnd) {
  TWAIN_CloseSourceManager(hWnd);
  if (FState == tsSM_LOADED) {
    FDSMEntry = nullptr;
    if (FDSMHandle != 0) {
      BOOL freed = FreeLibrary(FDSMHandle);
      VCL_ASSERT(freed);
      FDSMHandle = 0;
    }
    FState = tsPRESESSION;
  }
  if (FState == tsPRESESSION) {
    if (FProxyWindow != 0 && IsWindow(FProxyWindow)) DestroyWindow(FProxyWindow);
    FProxyWindow = 0;
  }
  return FState == tsPRESESSION;
}

uint32_t TScanner::GetFileVersion(const std::string& FileName) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(FileName.c_str(), &handle);
  if (size == 0) return 0;
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(FileName.c_str(), handle, size, info.data())) return 0;
  void* fixed = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(info.data(), "\\", &fixed, &len) || !fixed || len < sizeof(VS_FIXEDFILEINFO)) return 0;
  return static_cast<const VS_FIXEDFILEINFO*>(fixed)->dwProductVersionMS;
}

bool TScanner::TWAIN_Mgr(uint32_t DG, uint32_t DAT, uint32_t MSG, void* pData) {
  FResultCode = TWRC_FAILURE;
  if (!FDSMEntry) return false;
  FResultCode = FDSMEntry(&FAppID, nullptr, DG, static_cast<TW_UINT16>(DAT), static_cast<TW_UINT16>(MSG), pData);
  bool ok = FResultCode == TWRC_SUCCESS;
  if (ok && DG == DG_CONTROL) ApplyMgrBookkeeping(DAT, MSG, pData);
  return ok;
}

// Only successful calls move anything.
void TScanner::ApplyMgrBookkeeping(uint32_t DAT, uint32_t MSG, void* pData) {
  if (DAT == DAT_PARENT && MSG == MSG_OPENDSM) {
    FState = tsSM_OPEN;
  } else if (DAT == DAT_PARENT && MSG == MSG_CLOSEDSM) {
    FState = tsSM_LOADED;
  } else if (DAT == DAT_IDENTITY && MSG == MSG_OPENDS) {
    if (pData) std::memcpy(&FSourceID, pData, sizeof FSourceID);
    if (SourcesInUse) SourcesInUse->Add(Str32(FSourceID.ProductName));
    FState = tsSOURCE_OPEN;
  } else if (DAT == DAT_IDENTITY && MSG == MSG_CLOSEDS) {
    if (SourcesInUse) {
      int i = SourcesInUse->IndexOf(Str32(FSourceID.ProductName));
      if (i >= 0) SourcesInUse->Delete(i);
    }
    FState = tsSM_OPEN;
  }
}

bool TScanner::TWAIN_DS(uint32_t DG, uint32_t DAT, uint32_t MSG, void* pData) {
  VCL_ASSERT(FState >= tsSOURCE_OPEN);
  FResultCode = TWRC_FAILURE;
  if (DG == DG_IMAGE && DAT == DAT_IMAGEMEMXFER && MSG == MSG_GET && pData) {
    auto* mem = static_cast<TW_IMAGEMEMXFER*>(pData);
    mem->Compression = TWON_DONTCARE16;
    mem->BytesPerRow = mem->Columns = mem->Rows = TWON_DONTCARE32;
    mem->XOffset = mem->YOffset = mem->BytesWritten = TWON_DONTCARE32;
  }
  if (!FDSMEntry) return false;
  FResultCode = FDSMEntry(&FAppID, &FSourceID, DG, static_cast<TW_UINT16>(DAT), static_cast<TW_UINT16>(MSG), pData);
  bool ok = FResultCode == TWRC_SUCCESS;
  if (DG == DG_CONTROL) return ApplyDSControlBookkeeping(DAT, MSG, pData, ok);
  if (DG == DG_IMAGE) return ApplyDSImageBookkeeping(DAT, MSG, ok);
  return ok;
}

bool TScanner::ApplyDSControlBookkeeping(uint32_t DAT, uint32_t MSG, void* pData, bool ok) {
  if (DAT == DAT_EVENT && MSG == MSG_PROCESSEVENT) {
    if (pData && static_cast<TW_EVENT*>(pData)->TWMessage == MSG_XFERREADY) FState = tsTRANSFER_READY;
    return FResultCode == TWRC_DSEVENT;
  }
  if (DAT == DAT_PENDINGXFERS && MSG == MSG_ENDXFER) {
    // 0xFFFF (an unknown number) counts as more pending.
    if (ok) FState = (pData && static_cast<TW_PENDINGXFERS*>(pData)->Count != 0) ? tsTRANSFER_READY : tsSOURCE_ENABLED;
    return ok;
  }
  if (DAT == DAT_PENDINGXFERS && MSG == MSG_RESET) {
    if (ok) FState = tsSOURCE_ENABLED;
    return ok;
  }
  if (DAT == DAT_SETUPMEMXFER && MSG == MSG_GET) {
    if (ok) FMemXferCount = 0;
    return ok;
  }
  if (DAT == DAT_USERINTERFACE && MSG == MSG_ENABLEDS) {
    // TWRC_CHECKSTATUS (the source changed ShowUI or ModalUI) still enables it.
    if (FResultCode == TWRC_FAILURE) return false;
    FState = tsSOURCE_ENABLED;
    return true;
  }
  if (DAT == DAT_USERINTERFACE && MSG == MSG_DISABLEDS) {
    if (ok) FState = tsSOURCE_OPEN;
    return ok;
  }
  return ok;
}

bool TScanner::ApplyDSImageBookkeeping(uint32_t DAT, uint32_t MSG, bool ok) {
  (void)ok;
  if (MSG != MSG_GET) return ok;
  if (DAT == DAT_IMAGEMEMXFER) {
    switch (FResultCode) {
      case TWRC_SUCCESS:
      case TWRC_XFERDONE:
        ++FMemXferCount;
        FState = tsTRANSFERRING;
        return true;
      case TWRC_FAILURE:
        FState = FMemXferCount != 0 ? tsTRANSFERRING : tsTRANSFER_READY;
        return false;
      case TWRC_CANCEL:
        TWAIN_BreakModalLoop();
        return false;
      default:
        return false;
    }
  }
  if (DAT == DAT_IMAGENATIVEXFER || DAT == DAT_IMAGEFILEXFER) {
    switch (FResultCode) {
      case TWRC_XFERDONE:
        FState = tsTRANSFERRING;
        return true;
      case TWRC_CANCEL:
        FState = tsTRANSFERRING;
        return false;
      default:
        FState = tsTRANSFER_READY;
        return false;
    }
  }
  return ok;
}

int TScanner::TWAIN_GetConditionCode() {
  int32_t kept = FResultCode;
  TW_STATUS status{};
  status.ConditionCode = TWCC_BUMMER;
  if (FState >= tsSOURCE_OPEN)
    TWAIN_DS(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  else if (FState == tsSM_OPEN)
    TWAIN_Mgr(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  FResultCode = kept;
  return status.ConditionCode;
}

bool TScanner::TWAIN_CheckSourceOpen() {
  if (FState >= tsSOURCE_OPEN) return true;
  TWAIN_ErrorBox("Data Source not open");
  return false;
}

void TScanner::TWAIN_ErrorBox(const std::string& Msg) {
  int rc = TWAIN_GetResultCode();
  int cc = TWAIN_GetConditionCode();
  std::string text = Msg;
  text += "\r\n ResultCode=";
  text += (rc >= 0 && rc <= 9) ? ResultCodeNames[rc] : Unknown(rc);
  text += "\r\n ConditaionCode=";
  text += (cc >= 0 && cc <= 15) ? ConditionCodeNames[cc] : Unknown(cc);
  OutputDebugStringA(text.c_str());
}

}  // namespace korven
