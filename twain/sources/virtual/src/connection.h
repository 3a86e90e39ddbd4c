// One application's connection to the virtual scanner: its TWAIN state (4 to 7), its negotiated
// settings, its pending transfers, its dialog and the window message it announces events with.
// SetState is the only place that moves the state; every operation checks the state first and
// answers an out-of-sequence request with TWRC_FAILURE / TWCC_SEQERROR.
#ifndef KORVEN_VIRTUAL_CONNECTION_H
#define KORVEN_VIRTUAL_CONNECTION_H

#include "connection_base.h"
#include "dialog.h"
#include "settings.h"

#include <windows.h>

#include <string>

namespace korven::virtualds {

class Connection : public ds::ConnectionBase {
 public:
  // `messageName` must be unique to this source and connection; the event message is registered
  // under it.
  Connection(const Config& config, TW_UINT32 appId, const std::string& messageName);
  ~Connection() override;

  // Releases the dialog and the messages still queued for it; the connection goes away after this.
  void Shutdown();

 private:
  TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* cap) override;
  TW_UINT16 UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) override;
  TW_UINT16 OnEvent(TW_UINT16 what) override;
  TW_UINT16 PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS* pending) override;
  TW_UINT16 ImageLayout(TW_UINT16 msg, TW_IMAGELAYOUT* layout) override;
  TW_UINT16 ImageInfo(TW_IMAGEINFO* info) override;
  TW_UINT16 NativeXfer(TW_HANDLE* handle) override;
  void StateChanged() override { UpdateDialog(); }

  static void CALLBACK AnnounceLate(HWND, UINT, UINT_PTR timer, DWORD);
  void StopAnnounceTimer();

  // The dialog's buttons.
  void OnScan();
  void OnCloseRequest();

  void Announce(TW_UINT16 twainMessage) { channel_.Post(twainMessage); }
  void AnnounceImages();
  // Posts MSG_CLOSEDSREQ once an enable without the dialog has nothing left pending.
  void RequestCloseWhenDone();
  uint32_t ImagesAvailable() const;
  void UpdateDialog();
  std::string DescribeSettings() const;
  TW_UINT16 ReportedCount() const;

  const Config& config_;
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
  uint32_t endXferCalls_ = 0;     // MSG_ENDXFER received so far (RefuseEndXferAt)
  uint32_t enables_ = 0;          // successful MSG_ENABLEDS so far (RefuseEnableAfter)
  UINT_PTR announceTimer_ = 0;    // a late announcement under way (AnnounceAfter)
  bool silent_ = false;           // gone silent for the rest of this enable (StopAnsweringAfter)
  ds::SourceDialog dialog_;
};

}  // namespace korven::virtualds

#endif
