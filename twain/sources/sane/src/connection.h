// One application's connection to a SANE device: on the shared connection (the TWAIN state 4 to 7,
// the triplets' dispatch, the event message), the device it opened, the page under way and the
// source's dialog. Every operation checks the state first and answers an out-of-sequence request
// with TWRC_FAILURE / TWCC_SEQERROR.
//
// A page starts (sane_start) when the source is enabled without its dialog, when Scan is pressed in
// it, and, with the feeder, after each page has been ended, until SANE reports no more documents.
// Errors reach the application where it asks for the image (DAT_IMAGENATIVEXFER), with the TWAIN
// code of the SANE status and a line on the debug output naming it.
#ifndef KORVEN_SANE_CONNECTION_H
#define KORVEN_SANE_CONNECTION_H

#include "config.h"
#include "connection_base.h"
#include "device.h"
#include "dialog.h"

#include <memory>
#include <string>

namespace korven::saneds {

class Connection : public ds::ConnectionBase {
 public:
  // Takes over the open device; the SANE session the opening acquired is released with it.
  Connection(const Config& config, TW_UINT32 appId, std::string productName, std::unique_ptr<Device> device,
             const std::string& messageName);
  ~Connection() override;

  // Cancels a page under way and releases the dialog and the queued messages.
  void Shutdown();

 private:
  TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* cap) override;
  TW_UINT16 Frames(TW_UINT16 msg, TW_CAPABILITY* cap);
  TW_UINT16 UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) override;
  TW_UINT16 OnEvent(TW_UINT16 what) override;
  TW_UINT16 PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS* pending) override;
  TW_UINT16 ImageLayout(TW_UINT16 msg, TW_IMAGELAYOUT* layout) override;
  TW_UINT16 ImageInfo(TW_IMAGEINFO* info) override;
  TW_UINT16 NativeXfer(TW_HANDLE* handle) override;
  void StateChanged() override { UpdateDialog(); }

  // Starts the next page; true when there is one to offer (its start may have failed: that failure
  // is then the transfer's answer). False when the feeder is empty (or ends in an impossible page).
  bool StartPage();
  // Cancels a started page that will not be read.
  void CancelPage();
  void OnScan();
  void OnCancel();
  void UpdateDialog();
  void Report(const std::string& text) const;
  TW_UINT16 ReportedCount() const;

  const Config& config_;
  std::string productName_;
  std::unique_ptr<Device> device_;
  ds::SourceDialog dialog_;

  // While enabled.
  bool showUI_ = false;
  bool feeder_ = false;          // this enable scans from the document feeder
  bool readyPosted_ = false;     // MSG_XFERREADY posted and not yet processed
  bool pagePending_ = false;     // a page is on offer (states 6 and 7 once announced)
  bool started_ = false;         // sane_start succeeded and the page is not read or cancelled yet
  bool cycleOpen_ = false;       // a scan cycle was started and not yet ended with sane_cancel
  SANE_Status startStatus_ = SANE_STATUS_GOOD;  // why the page on offer could not start
  std::string startError_;
  SANE_Parameters params_{};
  int deliveredHeight_ = -1;     // the lines of the page transferred last (state 7)
  long transfersLeft_ = -1;      // CAP_XFERCOUNT budget of this enable; -1: no limit
  unsigned pagesThisEnable_ = 0;
};

}  // namespace korven::saneds

#endif
