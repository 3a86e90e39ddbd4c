#include "connection.h"

#include "capabilities.h"
#include "containers.h"
#include "dib.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

namespace korven::virtualds {

std::recursive_mutex& SourceMutex();

namespace {

const char* PixelTypeName(TW_UINT16 t) {
  switch (t) {
    case TWPT_BW: return "Black and white";
    case TWPT_GRAY: return "Grey";
    case TWPT_PALETTE: return "Palette";
    default: return "Colour";
  }
}

}  // namespace

Connection::Connection(const Config& config, TW_UINT32 appId, const std::string& messageName)
    : ConnectionBase(appId, messageName), config_(config), settings_(DefaultSettings(config)) {}

Connection::~Connection() { Shutdown(); }

namespace {
// Late announcements in flight, by timer id (a TIMERPROC gets only the id).
std::map<UINT_PTR, Connection*>& LateAnnouncements() {
  static std::map<UINT_PTR, Connection*> m;
  return m;
}
}  // namespace

void CALLBACK Connection::AnnounceLate(HWND, UINT, UINT_PTR timer, DWORD) {
  std::lock_guard<std::recursive_mutex> lock(SourceMutex());
  auto it = LateAnnouncements().find(timer);
  if (it == LateAnnouncements().end()) return;
  Connection* c = it->second;
  c->StopAnnounceTimer();
  if (c->state_ == 5 && c->readyPosted_) c->Announce(MSG_XFERREADY);
}

void Connection::StopAnnounceTimer() {
  if (!announceTimer_) return;
  KillTimer(0, announceTimer_);
  LateAnnouncements().erase(announceTimer_);
  announceTimer_ = 0;
}

void Connection::Shutdown() {
  StopAnnounceTimer();
  dialog_.Destroy();
  channel_.End();
}

// ---- Capabilities -------------------------------------------------------------------------------

TW_UINT16 Connection::Capability(TW_UINT16 msg, TW_CAPABILITY* cap) {
  // Values may be read in states 4 to 7 but changed only in state 4.
  if (!IsGet(msg) && state_ != 4) return Fail(TWCC_SEQERROR);
  CapValue value;
  if (!DescribeCap(config_, settings_, cap->Cap, value)) return Fail(TWCC_CAPUNSUPPORTED);
  if (IsGet(msg) && config_.refuseGet.count(cap->Cap)) return Fail(TWCC_CAPBADOPERATION);
  if (!IsGet(msg) && config_.refuseSet.count(cap->Cap)) return Fail(TWCC_CAPBADOPERATION);

  TW_UINT16 rc = TWRC_SUCCESS;
  if (msg == MSG_SET) {
    TW_UINT16 itemType = 0;
    double v = 0;
    if (!cap->hContainer || !ReadSetValue(cap->hContainer, cap->ConType, itemType, v) || !std::isfinite(v))
      return Fail(TWCC_BADVALUE);
    Outcome out = SetCap(config_, settings_, cap->Cap, itemType, v);
    if (out.rc == TWRC_FAILURE) return Fail(out.cc);
    UpdateDialog();
    return Succeed(out.rc);  // the application keeps and frees its own container
  }
  if (msg == MSG_RESET) {
    ResetCap(config_, settings_, cap->Cap);
    DescribeCap(config_, settings_, cap->Cap, value);
  }

  // The container type the standard uses, unless a knob asks for another one.
  TW_UINT16 conType = value.conType;
  if (msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT) conType = value.conType == TWON_ARRAY ? TWON_ARRAY : TWON_ONEVALUE;
  if (auto it = config_.containerOverride.find(cap->Cap); it != config_.containerOverride.end()) conType = it->second;
  Distortion d;
  if (auto it = config_.enumerationType.find(cap->Cap); it != config_.enumerationType.end()) {
    conType = TWON_ENUMERATION;
    d.enumItemType = it->second;
  }
  if (config_.emptyEnumeration.count(cap->Cap)) {
    conType = TWON_ENUMERATION;
    d.emptyEnumeration = true;
  }
  if (msg == MSG_GETDEFAULT && config_.defaultAsRange.count(cap->Cap)) conType = TWON_RANGE;
  if (auto it = config_.containerLies.find(cap->Cap); it != config_.containerLies.end()) d.lies = it->second;
  HGLOBAL h = WriteContainer(value, conType, msg, d);
  if (!h) return Fail(TWCC_LOWMEMORY);
  cap->ConType = conType;
  cap->hContainer = h;
  // A failure that still hands out a container, which the application owns all the same.
  if (IsGet(msg) && config_.failWithContainer.count(cap->Cap)) return Fail(TWCC_BUMMER);
  return Succeed(rc);
}

// ---- Enabling and events ------------------------------------------------------------------------

TW_UINT16 Connection::UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) {
  if (msg == MSG_DISABLEDS) {
    if (state_ != 5) return Fail(TWCC_SEQERROR);
    Shutdown();
    readyPosted_ = false;
    settings_.feederPagesLeft = -1;
    SetState(4);
    return Succeed();
  }

  if (state_ != 4) return Fail(TWCC_SEQERROR);
  if (ui->hParent && !IsWindow((HWND)ui->hParent)) return Fail(TWCC_BADVALUE);
  if (settings_.feederEnabled && config_.pagesLoaded == 0) return Fail(TWCC_BUMMER);  // nothing to feed
  if (config_.refuseEnableAfter && enables_ >= config_.refuseEnableAfter) return Fail(TWCC_BUMMER);

  channel_.Begin((HWND)ui->hParent);
  readyPosted_ = false;
  announced_ = pending_ = 0;
  transfersLeft_ = settings_.xferCount;
  closeRequested_ = false;
  showUI_ = ui->ShowUI != 0;
  imagesThisEnable_ = 0;
  silent_ = false;
  settings_.feederPagesLeft = settings_.feederEnabled ? config_.pagesLoaded : -1;

  if (ui->ShowUI) {
    std::recursive_mutex& mu = SourceMutex();
    bool shown = dialog_.Create(
        channel_.Parent(), config_.productName, DescribeSettings(),
        [this, &mu] {
          std::lock_guard<std::recursive_mutex> lock(mu);
          OnScan();
        },
        [this, &mu] {
          std::lock_guard<std::recursive_mutex> lock(mu);
          OnCloseRequest();
        });
    if (!shown) {
      channel_.End();
      return Fail(TWCC_LOWMEMORY);
    }
  }
  ++enables_;
  SetState(5);
  if (!ui->ShowUI) AnnounceImages();
  return Succeed(config_.enableCheckStatus ? TWRC_CHECKSTATUS : TWRC_SUCCESS);
}

uint32_t Connection::ImagesAvailable() const {
  uint64_t n = settings_.feederPagesLeft >= 0 ? uint64_t(settings_.feederPagesLeft) : config_.imagesPerScan;
  if (transfersLeft_ >= 0) n = std::min<uint64_t>(n, uint64_t(transfersLeft_));
  return static_cast<uint32_t>(n);
}

void Connection::AnnounceImages() {
  if (state_ != 5 || readyPosted_ || silent_) return;
  uint32_t n = ImagesAvailable();
  if (n == 0) return;
  announced_ = n;
  readyPosted_ = true;
  // A late announcement comes from a thread timer of the enabling thread; "never" posts nothing.
  if (config_.announceAfterMs > 0) {
    announceTimer_ = SetTimer(0, 0, static_cast<UINT>(config_.announceAfterMs), &Connection::AnnounceLate);
    if (announceTimer_) LateAnnouncements()[announceTimer_] = this;
  } else if (config_.announceAfterMs == 0) {
    Announce(MSG_XFERREADY);
  }
  UpdateDialog();
}

void Connection::OnScan() { AnnounceImages(); }

void Connection::RequestCloseWhenDone() {
  // Without the dialog nobody can scan again or press Close: once everything announced is delivered
  // (or discarded), the source asks to be closed, as sources without a user interface do.
  if (showUI_ || !config_.closeWhenDone || closeRequested_ || pending_ > 0 || state_ < 5 || silent_) return;
  closeRequested_ = true;
  Announce(MSG_CLOSEDSREQ);
}

void Connection::OnCloseRequest() {
  if (state_ >= 5 && !silent_) Announce(MSG_CLOSEDSREQ);
}

TW_UINT16 Connection::OnEvent(TW_UINT16 what) {
  if (what == MSG_XFERREADY) {
    readyPosted_ = false;
    if (state_ == 5 && announced_ > 0) {
      pending_ = announced_;
      announced_ = 0;
      delivered_ = false;
      SetState(6);
      return MSG_XFERREADY;
    }
    return MSG_NULL;
  }
  return what == MSG_CLOSEDSREQ ? MSG_CLOSEDSREQ : MSG_NULL;
}

// ---- Transfers ----------------------------------------------------------------------------------

TW_UINT16 Connection::ReportedCount() const {
  if (pending_ == 0) return 0;
  if (config_.unknownCount) return 0xFFFF;
  return static_cast<TW_UINT16>(std::min<uint32_t>(pending_, 0xFFFE));
}

TW_UINT16 Connection::PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS* pending) {
  pending->Reserved = 0;
  if (msg == MSG_GET) {
    pending->Count = ReportedCount();
    return Succeed();
  }
  if (msg == MSG_RESET) {
    if (state_ != 6) return Fail(TWCC_SEQERROR);
    pending_ = 0;
    pending->Count = 0;
    SetState(5);
    RequestCloseWhenDone();
    return Succeed();
  }

  // MSG_ENDXFER: after a transfer (7), or to skip the image on offer (6).
  if (state_ != 6 && state_ != 7) return Fail(TWCC_SEQERROR);
  if (config_.refuseEndXferAt && ++endXferCalls_ == config_.refuseEndXferAt) return Fail(TWCC_BUMMER);
  if (config_.refuseEndXfer && (config_.refuseEndXferCount == 0 || endXferRefusals_ < config_.refuseEndXferCount)) {
    ++endXferRefusals_;
    return Fail(TWCC_BUMMER);
  }
  if (pending_ > 0) --pending_;
  if (transfersLeft_ > 0) --transfersLeft_;
  if (settings_.feederPagesLeft > 0) --settings_.feederPagesLeft;
  ++pagesEnded_;
  if (delivered_ && config_.closeAfter && imagesDelivered_ >= config_.closeAfter && !closeRequested_) {
    // Enough images: stop here and ask to be closed.
    closeRequested_ = true;
    pending_ = 0;
    Announce(MSG_CLOSEDSREQ);
  }
  if (config_.stopAnsweringAfter && imagesThisEnable_ >= config_.stopAnsweringAfter && !silent_) {
    // A device that stopped answering: what is left is neither announced nor delivered, and nothing
    // (Scan, Close, a close request) comes from it any more.
    silent_ = true;
    pending_ = 0;
  }
  delivered_ = false;
  pending->Count = ReportedCount();
  SetState(pending_ > 0 ? 6 : 5);
  RequestCloseWhenDone();
  return Succeed();
}

TW_UINT16 Connection::ImageInfo(TW_IMAGEINFO* info) {
  if (state_ != 6 && state_ != 7) return Fail(TWCC_SEQERROR);
  if (config_.refuseImageInfo) return Fail(TWCC_BUMMER);
  int w = 0, h = 0;
  ImageSize(config_, settings_, w, h);
  FillImageInfo(settings_, w, h, *info);
  return Succeed();
}

TW_UINT16 Connection::NativeXfer(TW_HANDLE* handle) {
  if (state_ != 6) return Fail(TWCC_SEQERROR);
  *handle = 0;
  switch (config_.transferResult) {
    case TransferResult::Failure: return Fail(TWCC_OPERATIONERROR);
    case TransferResult::Cancel:
      SetState(7);
      return Succeed(TWRC_CANCEL);
    case TransferResult::XferDone: break;
  }
  if (config_.deliverDelayMs) Sleep(config_.deliverDelayMs);  // a slow device keeps the caller waiting
  TW_UINT16 cc = TWCC_SUCCESS;
  HGLOBAL dib = BuildDib(config_, settings_, static_cast<int>(pagesEnded_ + 1), cc);
  if (!dib) return Fail(cc);
  *handle = dib;
  delivered_ = true;
  ++imagesDelivered_;
  ++imagesThisEnable_;
  SetState(7);
  return Succeed(TWRC_XFERDONE);
}

// ---- Image layout -------------------------------------------------------------------------------

TW_UINT16 Connection::ImageLayout(TW_UINT16 msg, TW_IMAGELAYOUT* layout) {
  const bool get = IsGet(msg);
  if (get ? state_ > 6 : state_ != 4) return Fail(TWCC_SEQERROR);
  const LayoutRefusal r = config_.refuseLayout;
  if (r == LayoutRefusal::All || (get && r == LayoutRefusal::Get) || (!get && r == LayoutRefusal::Set))
    return Fail(TWCC_BADPROTOCOL);

  const double ux = UnitsPerInch(settings_.units, true, settings_);
  const double uy = UnitsPerInch(settings_.units, false, settings_);
  TW_UINT16 rc = TWRC_SUCCESS;
  if (msg == MSG_SET) {
    Frame f{FromFix32(layout->Frame.Left) / ux, FromFix32(layout->Frame.Top) / uy,
            FromFix32(layout->Frame.Right) / ux, FromFix32(layout->Frame.Bottom) / uy};
    // Within one unit step of FIX32 rounding, an edge at the platen's edge is on it, not beyond.
    const double tx = 1.0 / 65536 / ux, ty = 1.0 / 65536 / uy;
    Frame clamped{std::max(f.left, 0.0), std::max(f.top, 0.0), std::min(f.right, config_.platenWidth),
                  std::min(f.bottom, config_.platenHeight)};
    if (clamped.Width() <= 0 || clamped.Height() <= 0) return Fail(TWCC_BADVALUE);
    if (f.left < -tx || f.top < -ty || f.right > config_.platenWidth + tx || f.bottom > config_.platenHeight + ty)
      rc = TWRC_CHECKSTATUS;
    settings_.frame = clamped;
    settings_.supportedSize = TWSS_NONE;
    UpdateDialog();
  } else if (msg == MSG_RESET) {
    settings_.frame = DefaultSettings(config_).frame;
    settings_.supportedSize = TWSS_NONE;
    UpdateDialog();
  }
  const Frame& f = msg == MSG_GETDEFAULT ? DefaultSettings(config_).frame : settings_.frame;
  layout->Frame.Left = ToFix32(f.left * ux);
  layout->Frame.Top = ToFix32(f.top * uy);
  layout->Frame.Right = ToFix32(f.right * ux);
  layout->Frame.Bottom = ToFix32(f.bottom * uy);
  layout->DocumentNumber = 1;
  layout->PageNumber = pagesEnded_ + 1;
  layout->FrameNumber = 1;
  return Succeed(rc);
}

// ---- Dialog -------------------------------------------------------------------------------------

std::string Connection::DescribeSettings() const {
  int w = 0, h = 0;
  ImageSize(config_, settings_, w, h);
  char text[200];
  std::snprintf(text, sizeof text, "%s, %d-bit, %g x %g dpi, %d x %d pixels, %s", PixelTypeName(settings_.pixelType),
                BitDepthOf(settings_.pixelType), settings_.xResolution, settings_.yResolution, w, h,
                settings_.feederEnabled ? "document feeder" : "flatbed");
  return text;
}

void Connection::UpdateDialog() {
  if (!dialog_.IsOpen()) return;
  const bool canScan = state_ == 5 && !readyPosted_ && !silent_ && ImagesAvailable() > 0;
  dialog_.EnableScan(canScan);
  // Once a page is in (or nothing is left to scan), Enter means "done": a person pressing the default
  // button scans once and then closes, rather than scanning forever.
  dialog_.SetDefaultToScan(canScan && imagesThisEnable_ == 0);
}

}  // namespace korven::virtualds
