#include "connection_base.h"

namespace korven::ds {

TW_UINT16 ConnectionBase::Handle(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (dg == DG_CONTROL) {
    switch (dat) {
      case DAT_STATUS:
        if (msg != MSG_GET) break;
        if (!data) return TWRC_FAILURE;
        // Reading the status does not change it.
        static_cast<TW_STATUS*>(data)->ConditionCode = cc_;
        static_cast<TW_STATUS*>(data)->Reserved = 0;
        return TWRC_SUCCESS;
      case DAT_CAPABILITY:
        if (!data) return Fail(TWCC_BADVALUE);
        if (!IsGet(msg) && msg != MSG_SET && msg != MSG_RESET) break;
        return Capability(msg, static_cast<TW_CAPABILITY*>(data));
      case DAT_USERINTERFACE:
        if (msg != MSG_ENABLEDS && msg != MSG_DISABLEDS) break;
        if (!data) return Fail(TWCC_BADVALUE);
        return UserInterface(msg, static_cast<TW_USERINTERFACE*>(data));
      case DAT_EVENT:
        if (msg != MSG_PROCESSEVENT) break;
        if (!data) return Fail(TWCC_BADVALUE);
        return ProcessEvent(static_cast<TW_EVENT*>(data));
      case DAT_PENDINGXFERS:
        if (msg != MSG_GET && msg != MSG_ENDXFER && msg != MSG_RESET) break;
        if (!data) return Fail(TWCC_BADVALUE);
        return PendingXfers(msg, static_cast<TW_PENDINGXFERS*>(data));
      case DAT_XFERGROUP:
        if (msg != MSG_GET) break;
        if (!data) return Fail(TWCC_BADVALUE);
        *static_cast<TW_UINT32*>(data) = DG_IMAGE;
        return Succeed();
      default: break;
    }
  } else if (dg == DG_IMAGE) {
    switch (dat) {
      case DAT_IMAGELAYOUT:
        if (!IsGet(msg) && msg != MSG_SET && msg != MSG_RESET) break;
        if (!data) return Fail(TWCC_BADVALUE);
        return ImageLayout(msg, static_cast<TW_IMAGELAYOUT*>(data));
      case DAT_IMAGEINFO:
        if (msg != MSG_GET) break;
        if (!data) return Fail(TWCC_BADVALUE);
        return ImageInfo(static_cast<TW_IMAGEINFO*>(data));
      case DAT_IMAGENATIVEXFER:
        if (msg != MSG_GET) break;
        if (!data) return Fail(TWCC_BADVALUE);
        return NativeXfer(static_cast<TW_HANDLE*>(data));
      default: break;
    }
  }
  return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 ConnectionBase::ProcessEvent(TW_EVENT* event) {
  const MSG* m = static_cast<const MSG*>(event->pEvent);
  if (!m) return Fail(TWCC_BADVALUE);
  cc_ = TWCC_SUCCESS;
  event->TWMessage = MSG_NULL;
  TW_UINT16 what = MSG_NULL;
  const EventChannel::Kind kind = channel_.Classify(*m, what);
  if (state_ < 5 || kind == EventChannel::Kind::NotOurs) return TWRC_NOTDSEVENT;
  // Ours, but from an earlier enable: consumed and ignored.
  if (kind == EventChannel::Kind::Stale) return TWRC_DSEVENT;
  event->TWMessage = OnEvent(what);
  return TWRC_DSEVENT;
}

}  // namespace korven::ds
