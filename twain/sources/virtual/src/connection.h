// One application's connection to the virtual scanner: its TWAIN state (4 to 7), its negotiated
// settings, its pending transfers, its dialog and the window message it announces events with.
// SetState is the only place that moves the state; every operation checks the state first and
// answers an out-of-sequence request with TWRC_FAILURE / TWCC_SEQERROR.
#ifndef KORVEN_VIRTUAL_CONNECTION_H
#define KORVEN_VIRTUAL_CONNECTION_H

#include "dialog.h"
#include "events.h"
#include "settings.h"

#include <windows.h>

#include <string>

namespace korven::virtualds {

class Connection {
 public:
  // `messageName` must be unique to this source and connection; the event message is registered
  // under it.
  Connection(const Config& config, TW_UINT32 appId, const std::string& messageName);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  TW_UINT32 AppId() const { return appId_; }
  int State() const { return state_; }
  TW_UINT16 Condition() const { return cc_; }
  void SetCondition(TW_UINT16 cc) { cc_ = cc; }

  // Handles one triplet addressed to this connection (everything but DAT_IDENTITY).
  TW_UINT16 Handle(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

  // Releases the dialog and the messages still queued for it; the connection goes away after this.
  void Shutdown();

 private:
  TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* cap);
  TW_UINT16 UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui);
  TW_UINT16 ProcessEvent(TW_EVENT* event);
  TW_UINT16 PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS* pending);
  TW_UINT16 ImageLayout(TW_UINT16 msg, TW_IMAGELAYOUT* layout);
  TW_UINT16 ImageInfo(TW_IMAGEINFO* info);
  TW_UINT16 NativeXfer(TW_HANDLE* handle);

  // The dialog's buttons.
  void OnScan();
  void OnCloseRequest();

  void SetState(int state);
  void Announce(TW_UINT16 twainMessage) { channel_.Post(twainMessage); }
  void AnnounceImages();
  // Posts MSG_CLOSEDSREQ once an enable without the dialog has nothing left pending.
  void RequestCloseWhenDone();
  uint32_t ImagesAvailable() const;
  void UpdateDialog();
  std::string DescribeSettings() const;
  TW_UINT16 ReportedCount() const;
  TW_UINT16 Fail(TW_UINT16 cc) {
    cc_ = cc;
    return TWRC_FAILURE;
  }
  TW_UINT16 Succeed(TW_UINT16 rc = TWRC_SUCCESS) {
    cc_ = TWCC_SUCCESS;
    return rc;
  }

  const Config& config_;
  TW_UINT32 appId_;
  ds::EventChannel channel_;  // the window message events are announced with
  int state_ = 4;
  TW_UINT16 cc_ = TWCC_SUCCESS;
  Settings settings_;

  // While enabled.
  bool readyPosted_ = false;
  uint32_t announced_ = 0;     // images the last MSG_XFERREADY stands for
  uint32_t pending_ = 0;       // images left in states 6 and 7, the current one included
  long transfersLeft_ = -1;    // CAP_XFERCOUNT budget of this enable; -1: no limit
  bool delivered_ = false;     // the current image went out (TWRC_XFERDONE)
  uint32_t imagesDelivered_ = 0;
  uint32_t imagesThisEnable_ = 0;
  uint32_t pagesEnded_ = 0;
  bool closeRequested_ = false;  // MSG_CLOSEDSREQ posted for this enable
  bool showUI_ = false;          // this enable shows the dialog
  uint32_t endXferRefusals_ = 0;  // MSG_ENDXFER refused so far (RefuseEndXferCount)
  ds::SourceDialog dialog_;
};

}  // namespace korven::virtualds

#endif
