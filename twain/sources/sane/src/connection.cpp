#include "connection.h"

#include "containers.h"
#include "image.h"
#include "sane_api.h"

#include <cmath>
#include <mutex>

namespace korven::saneds {

std::recursive_mutex& SourceMutex();

Connection::Connection(const Config& config, TW_UINT32 appId, std::string productName, std::unique_ptr<Device> device,
                       const std::string& messageName)
    : ConnectionBase(appId, messageName), config_(config), productName_(std::move(productName)),
      device_(std::move(device)) {}

Connection::~Connection() {
  Shutdown();
  device_.reset();  // sane_close
  SaneSession::Release();
}

void Connection::Shutdown() {
  CancelPage();
  dialog_.Destroy();
  channel_.End();
}

void Connection::Report(const std::string& text) const {
  OutputDebugStringA(("sane.ds: " + productName_ + ": " + text).c_str());
}

// ---- Capabilities -------------------------------------------------------------------------------

TW_UINT16 Connection::Capability(TW_UINT16 msg, TW_CAPABILITY* cap) {
  // Values may be read in states 4 to 7 but changed only in state 4.
  if (!IsGet(msg) && state_ != 4) return Fail(TWCC_SEQERROR);
  if (cap->Cap == ICAP_FRAMES) return Frames(msg, cap);
  TW_UINT16 rc = TWRC_SUCCESS;
  if (msg == MSG_SET) {
    TW_UINT16 itemType = 0;
    double v = 0;
    if (!cap->hContainer || !ds::ReadSetValue(cap->hContainer, cap->ConType, itemType, v) || !std::isfinite(v))
      return Fail(TWCC_BADVALUE);
    Outcome out = device_->Set(cap->Cap, itemType, v);
    if (out.rc == TWRC_FAILURE) return Fail(out.cc);
    UpdateDialog();
    return Succeed(out.rc);  // the application keeps and frees its own container
  }
  if (msg == MSG_RESET) {
    Outcome out = device_->Reset(cap->Cap);
    if (out.rc == TWRC_FAILURE) return Fail(out.cc);
    UpdateDialog();
  }
  CapValue value;
  Outcome out = device_->Describe(cap->Cap, value);
  if (out.rc == TWRC_FAILURE) return Fail(out.cc);
  TW_UINT16 conType = value.conType;
  if (msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT) conType = value.conType == TWON_ARRAY ? TWON_ARRAY : TWON_ONEVALUE;
  HGLOBAL h = ds::WriteContainer(value, conType, msg);
  if (!h) return Fail(TWCC_LOWMEMORY);
  cap->ConType = conType;
  cap->hContainer = h;
  return Succeed(rc);
}

TW_UINT16 Connection::Frames(TW_UINT16 msg, TW_CAPABILITY* cap) {
  TW_FRAME frame{};
  TW_UINT16 rc = TWRC_SUCCESS;
  if (msg == MSG_SET) {
    if (!cap->hContainer || !ds::ReadSetFrame(cap->hContainer, cap->ConType, frame)) return Fail(TWCC_BADVALUE);
    Outcome out = device_->SetFrame(frame);
    if (out.rc == TWRC_FAILURE) return Fail(out.cc == TWCC_SEQERROR ? TWCC_CAPSEQERROR : out.cc);
    UpdateDialog();
    return Succeed(out.rc);
  }
  if (msg == MSG_RESET) {
    Outcome out = device_->ResetFrame();
    if (out.rc == TWRC_FAILURE) return Fail(out.cc == TWCC_SEQERROR ? TWCC_CAPSEQERROR : out.cc);
  }
  Outcome out = device_->GetFrame(frame, msg == MSG_GETDEFAULT);
  if (out.rc == TWRC_FAILURE) return Fail(out.cc == TWCC_BADPROTOCOL ? TWCC_CAPUNSUPPORTED : TWCC_CAPSEQERROR);
  HGLOBAL h = ds::WriteFrameOneValue(frame);
  if (!h) return Fail(TWCC_LOWMEMORY);
  cap->ConType = TWON_ONEVALUE;
  cap->hContainer = h;
  return Succeed(rc);
}

TW_UINT16 Connection::ImageLayout(TW_UINT16 msg, TW_IMAGELAYOUT* layout) {
  const bool get = IsGet(msg);
  if (get ? state_ > 6 : state_ != 4) return Fail(TWCC_SEQERROR);
  TW_UINT16 rc = TWRC_SUCCESS;
  if (msg == MSG_SET) {
    Outcome out = device_->SetFrame(layout->Frame);
    if (out.rc == TWRC_FAILURE) return Fail(out.cc);
    rc = out.rc;
    UpdateDialog();
  } else if (msg == MSG_RESET) {
    Outcome out = device_->ResetFrame();
    if (out.rc == TWRC_FAILURE) return Fail(out.cc);
    UpdateDialog();
  }
  // What the device holds is written back, also after a set it had to adjust.
  Outcome out = device_->GetFrame(layout->Frame, msg == MSG_GETDEFAULT);
  if (out.rc == TWRC_FAILURE) return Fail(out.cc);
  layout->DocumentNumber = 1;
  layout->PageNumber = pagesThisEnable_ + 1;
  layout->FrameNumber = 1;
  return Succeed(rc);
}

// ---- Enabling, pages and events -----------------------------------------------------------------

TW_UINT16 Connection::UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) {
  if (msg == MSG_DISABLEDS) {
    if (state_ != 5) return Fail(TWCC_SEQERROR);
    Shutdown();
    readyPosted_ = pagePending_ = false;
    SetState(4);
    return Succeed();
  }
  if (state_ != 4) return Fail(TWCC_SEQERROR);
  if (ui->hParent && !IsWindow(ui->hParent)) return Fail(TWCC_BADVALUE);

  channel_.Begin(ui->hParent);
  showUI_ = ui->ShowUI != 0;
  feeder_ = device_->FeederEnabled();
  transfersLeft_ = device_->XferCount();
  pagesThisEnable_ = 0;
  readyPosted_ = pagePending_ = false;
  if (showUI_) {
    // The dialog exists only when the application asks for it; without it nothing is ever shown.
    std::recursive_mutex& mu = SourceMutex();
    bool shown = dialog_.Create(
        channel_.Parent(), productName_, device_->Summary(),
        [this, &mu] {
          std::lock_guard<std::recursive_mutex> lock(mu);
          OnScan();
        },
        [this, &mu] {
          std::lock_guard<std::recursive_mutex> lock(mu);
          OnCancel();
        },
        "Cancel");
    if (!shown) {
      channel_.End();
      return Fail(TWCC_LOWMEMORY);
    }
    SetState(5);
    return Succeed();
  }
  SetState(5);
  if (StartPage()) {
    pagePending_ = readyPosted_ = true;
    channel_.Post(MSG_XFERREADY);
  } else {
    // Nothing to deliver and nobody to press Scan again: the source asks to be closed.
    channel_.Post(MSG_CLOSEDSREQ);
  }
  return Succeed();
}

bool Connection::StartPage() {
  startStatus_ = SANE_STATUS_GOOD;
  started_ = false;
  if (transfersLeft_ == 0) return false;
  SANE_Status s;
  bool timedOut = false;
  {
    std::unique_ptr<Watchdog> dog;
    if (config_.readTimeout.count() > 0) dog = std::make_unique<Watchdog>(device_->Handle(), config_.readTimeout);
    if (dog) dog->Arm();
    s = sane_start(device_->Handle());
    if (dog) dog->Disarm(), timedOut = dog->Fired();
  }
  cycleOpen_ = true;
  if (timedOut) {
    startStatus_ = SANE_STATUS_IO_ERROR;
    startError_ = "the scanner did not start within " + std::to_string(config_.readTimeout.count()) + " ms and was cancelled";
    return true;
  }
  if (s == SANE_STATUS_NO_DOCS) {
    Report(pagesThisEnable_ ? "no more documents in the feeder after " + std::to_string(pagesThisEnable_) + " pages"
                            : "no document to scan: " + StatusText(s));
    CancelPage();
    return false;
  }
  if (s != SANE_STATUS_GOOD) {
    startStatus_ = s;
    startError_ = "the scan did not start: " + StatusText(s);
    CancelPage();
    return true;
  }
  started_ = true;
  if (sane_get_parameters(device_->Handle(), &params_) != SANE_STATUS_GOOD) params_ = SANE_Parameters{};
  if (std::string why = CheckParameters(params_); !why.empty()) {
    CancelPage();
    if (feeder_ && pagesThisEnable_ > 0) {
      // A feeder that claims another page and cannot say what it is: the batch ends here.
      Report("the feeder announced another page of " + why + "; taken as the end of the batch");
      return false;
    }
    startStatus_ = SANE_STATUS_INVAL;
    startError_ = "the scanner announced " + why;
  }
  return true;
}

void Connection::CancelPage() {
  if (cycleOpen_) sane_cancel(device_->Handle());
  cycleOpen_ = started_ = false;
}

void Connection::OnScan() {
  if (state_ != 5 || readyPosted_ || pagePending_) return;
  if (StartPage()) {
    pagePending_ = readyPosted_ = true;
    channel_.Post(MSG_XFERREADY);
  } else {
    dialog_.SetInfo("No document to scan.\n" + device_->Summary());
  }
  UpdateDialog();
}

void Connection::OnCancel() {
  if (state_ >= 5) channel_.Post(MSG_CLOSEDSREQ);
}

TW_UINT16 Connection::OnEvent(TW_UINT16 what) {
  if (what == MSG_XFERREADY) {
    readyPosted_ = false;
    if (state_ == 5 && pagePending_) {
      SetState(6);
      return MSG_XFERREADY;
    }
    return MSG_NULL;
  }
  return what == MSG_CLOSEDSREQ ? MSG_CLOSEDSREQ : MSG_NULL;
}

TW_UINT16 Connection::ReportedCount() const {
  if (!pagePending_) return 0;
  return feeder_ ? 0xFFFF : 1;  // a feeder's stack is counted only when it runs out
}

TW_UINT16 Connection::PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS* pending) {
  pending->Reserved = 0;
  if (msg == MSG_GET) {
    pending->Count = ReportedCount();
    return Succeed();
  }
  if (msg == MSG_RESET) {
    if (state_ != 6) return Fail(TWCC_SEQERROR);
    CancelPage();
    pagePending_ = false;
    pending->Count = 0;
    SetState(5);
    return Succeed();
  }
  // MSG_ENDXFER: after a transfer (7), or to skip the page on offer (6).
  if (state_ != 6 && state_ != 7) return Fail(TWCC_SEQERROR);
  if (state_ == 6 && started_) {
    // The page on offer is skipped: its scan ends here.
    CancelPage();
  }
  pagePending_ = false;
  if (transfersLeft_ > 0) --transfersLeft_;
  // The feeder goes on with the next page until SANE has no more documents.
  if (feeder_ && transfersLeft_ != 0 && StartPage()) pagePending_ = true;
  if (!pagePending_) CancelPage();
  pending->Count = ReportedCount();
  SetState(pagePending_ ? 6 : 5);
  return Succeed();
}

TW_UINT16 Connection::ImageInfo(TW_IMAGEINFO* info) {
  if (state_ != 6 && state_ != 7) return Fail(TWCC_SEQERROR);
  SANE_Parameters p = params_;
  // A page that did not start is described as the device expects it; its transfer tells what went wrong.
  if (!started_ && state_ == 6 && sane_get_parameters(device_->Handle(), &p) != SANE_STATUS_GOOD) return Fail(TWCC_BUMMER);
  FillImageInfo(p, device_->Resolution(true), device_->Resolution(false), state_ == 7 ? deliveredHeight_ : -1, *info);
  return Succeed();
}

TW_UINT16 Connection::NativeXfer(TW_HANDLE* handle) {
  if (state_ != 6) return Fail(TWCC_SEQERROR);
  *handle = 0;
  if (!started_) {
    Report(startError_.empty() ? "the page did not start" : startError_);
    TwainCode code = MapStatus(startStatus_ == SANE_STATUS_GOOD ? SANE_STATUS_IO_ERROR : startStatus_);
    if (code.rc == TWRC_CANCEL) {
      SetState(7);
      return Succeed(TWRC_CANCEL);
    }
    return Fail(code.cc);
  }
  Page page = ReadPage(device_->Handle(), params_, device_->Resolution(true), device_->Resolution(false), config_.readTimeout);
  started_ = false;
  if (!page.dib) {
    cycleOpen_ = false;  // ReadPage cancelled the scan
    Report(page.error);
    TwainCode code = MapStatus(page.status);
    if (code.rc == TWRC_CANCEL) {
      SetState(7);
      deliveredHeight_ = 0;
      return Succeed(TWRC_CANCEL);
    }
    return Fail(code.cc);
  }
  *handle = page.dib;
  deliveredHeight_ = page.height;
  ++pagesThisEnable_;
  SetState(7);
  return Succeed(TWRC_XFERDONE);
}

void Connection::UpdateDialog() {
  if (!dialog_.IsOpen()) return;
  const bool canScan = state_ == 5 && !readyPosted_ && !pagePending_;
  dialog_.EnableScan(canScan);
  // Once a page is in, Enter means "done": a person pressing the default button scans once and
  // then closes rather than scanning for ever.
  dialog_.SetDefaultToScan(canScan && pagesThisEnable_ == 0);
}

}  // namespace korven::saneds
