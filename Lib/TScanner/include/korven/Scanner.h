// korven's scanner component: TScanner and its scan ranges.
//
// One TScanner carries one TWAIN session. The class is seen in three layers, each a group of
// methods below, each built on the one before it:
//   - the session layer (TWAIN_* wrappers, states, message pump, native transfer): talks to the
//     Data Source Manager, loaded by path from the Windows directory, through TWAIN_Mgr/TWAIN_DS only;
//   - the capability layer (containers, queries, typed accessors, TScanRange): talks to the open
//     source through TWAIN_DS only;
//   - the component layer (published properties, activation, Execute, settings, units).
// Failures of the two lower layers come back as a Boolean result or the caller's default; the
// diagnostic text goes to the debugger output through TWAIN_ErrorBox (OutputDebugStringA).
//
// Everything runs on the application's GUI thread; nothing here is locked.
#ifndef KORVEN_SCANNER_H
#define KORVEN_SCANNER_H

#include <windows.h>
#include <korven/twainh.h>
#include <vcl/Classes.h>
#include <vcl/Graphics.h>
#include <vcl/SysUtils.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vcl {
class TForm;
class TImage;
}

namespace korven {

// ==== Shared types ===============================================================================

// The TWAIN states 1 to 7, in the standard's order; comparisons ("at least tsSOURCE_OPEN") use it.
enum TWAINState : uint8_t {
  tsPRESESSION,      // 1: nothing loaded
  tsSM_LOADED,       // 2: TWAIN_32.DLL loaded, DSM_Entry bound
  tsSM_OPEN,         // 3: manager opened with a parent window
  tsSOURCE_OPEN,     // 4: a data source is open (FSourceID valid)
  tsSOURCE_ENABLED,  // 5: the source is enabled
  tsTRANSFER_READY,  // 6: an image is announced or more are pending
  tsTRANSFERRING     // 7: a transfer returned and is not yet ended
};
VCL_ENUM_INFO(TWAINState, tsPRESESSION, tsSM_LOADED, tsSM_OPEN, tsSOURCE_OPEN, tsSOURCE_ENABLED,
              tsTRANSFER_READY, tsTRANSFERRING)

// Sent as the ICAP_XFERMECH value, so the order is the standard's TWSX_*.
enum TWAINXferMech : uint8_t { XFERMECH_NATIVE, XFERMECH_FILE, XFERMECH_MEMORY };
VCL_ENUM_INFO(TWAINXferMech, XFERMECH_NATIVE, XFERMECH_FILE, XFERMECH_MEMORY)

// What the open source supports of the component's settings (the Caps property).
enum TScannerCap : uint8_t {
  scBrightness, scContrast, scGamma, scHighlight, scShadow, scThreshold, scResolution, scScaling,
  scAutoFeeder, scFrame
};
VCL_ENUM_INFO(TScannerCap, scBrightness, scContrast, scGamma, scHighlight, scShadow, scThreshold, scResolution,
              scScaling, scAutoFeeder, scFrame)
// Two bytes as a raw set (Bits() < 1 << 16).
using TScannerCaps = vcl::Set<TScannerCap>;

// Units of measure; the ordinals are the ICAP_UNITS values TWUN_INCHES .. TWUN_PIXELS.
enum TScanUnitMode : uint8_t { umInch, umCm, umPica, umPoint, umTwips, umPixel };
VCL_ENUM_INFO(TScanUnitMode, umInch, umCm, umPica, umPoint, umTwips, umPixel)
// One byte as a raw set.
using TScanUnitModes = vcl::Set<TScanUnitMode>;

// Pixel types; the ordinals are the ICAP_PIXELTYPE values TWPT_BW .. TWPT_CIEXYZ.
enum TScanPixelType : uint8_t { ptBlackWhite, ptGray, ptRGB, ptPalette, ptCMY, ptCMYK, ptYUV, ptYUVK, ptCIEXYZ };
VCL_ENUM_INFO(TScanPixelType, ptBlackWhite, ptGray, ptRGB, ptPalette, ptCMY, ptCMYK, ptYUV, ptYUVK, ptCIEXYZ)
// Two bytes as a raw set.
using TScanPixelTypes = vcl::Set<TScanPixelType>;

// Standard paper sizes (portrait); psCustom is any other frame. Dimensions: PaperSizeTable.
enum TScanPaperSize : uint8_t { psCustom, psA5, psA4, psA3, psB5, psB4, psLetter, psPostCard };
VCL_ENUM_INFO(TScanPaperSize, psCustom, psA5, psA4, psA3, psB5, psB4, psLetter, psPostCard)

// The identifiers of the three enumerations an editor lists, indexed by ordinal.
inline constexpr const char* ScanUnitModeNames[6] = {"umInch", "umCm", "umPica", "umPoint", "umTwips", "umPixel"};
inline constexpr const char* ScanPixelTypeNames[9] = {"ptBlackWhite", "ptGray", "ptRGB",  "ptPalette", "ptCMY",
                                                      "ptCMYK",       "ptYUV",  "ptYUVK", "ptCIEXYZ"};
inline constexpr const char* ScanPaperSizeNames[8] = {"psCustom", "psA5",  "psA4",     "psA3",
                                                      "psB5",     "psB4",  "psLetter", "psPostCard"};

// One row of the paper-size table: width and height (portrait) in the row's own unit.
struct TScanPaperDimension {
  TScanUnitMode Unit;
  float Width;
  float Height;
};
inline constexpr TScanPaperDimension PaperSizeTable[8] = {
    {umInch, 0, 0},      {umCm, 14.8f, 21},   {umCm, 21, 29.7f},  {umCm, 29.7f, 42},
    {umCm, 18.2f, 25.7f}, {umCm, 25.7f, 36.4f}, {umInch, 8.5f, 11}, {umCm, 10, 14.8f}};

// What OnBeforeScan learns about the next image, from the source's TW_IMAGEINFO.
struct TScanImageInfo {
  float XResolution;  // dots per inch, from TW_FIX32
  float YResolution;
  int32_t Width;       // pixels
  int32_t Height;
  int32_t BitsPerPixel;
  TScanPixelType PixelType;  // the low byte of TW_IMAGEINFO.PixelType, not range-checked
};

// The open source's identity (GetSourceInfo); zeros and empty strings while inactive.
struct TScanSourceInfo {
  int32_t MajorNum = 0;
  int32_t MinorNum = 0;
  std::string VersionInfo;
  std::string Manufacturer;
  std::string ProductFamily;
  std::string ProductName;
};

// A frame as edges (not width and height), in the component's unit.
struct TScanRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;
  friend bool operator==(const TScanRect&, const TScanRect&) = default;
};

// The component's scan events. Sender is the component; setting Cancel ends the acquisition (before
// the image is transferred, or after this one). The bitmap is the component's own and is replaced by
// the next image: copy what you keep.
using TBeforeScanEvent = std::function<void(vcl::TObject* Sender, const TScanImageInfo& ImageInfo, bool& Cancel)>;
using TAfterScanEvent = std::function<void(vcl::TObject* Sender, vcl::TBitmap* Bitmap, bool& Cancel)>;

// The component's exceptions. EScannerFaital: the manager or a source cannot be used, or the
// container layer was misused. EScannerWarning: the component is not active.
class EScanner : public vcl::Exception {
 public:
  using Exception::Exception;
};
class EScannerWarning : public EScanner {
 public:
  using EScanner::EScanner;
};
class EScannerFaital : public EScanner {
 public:
  using EScanner::EScanner;
};

// The run-time package's string table (vcl::LoadStr gives the text in the ANSI code page).
inline constexpr int SScannerNotActive = 65520;    // CheckActive: the component is not active
inline constexpr int SCannotLoadManager = 65521;   // TWAIN_32.DLL or DSM_Entry missing
inline constexpr int SNoScannerInstalled = 65522;  // the manager lists no source
inline constexpr int SScannerDoesNotWork = 65523;  // the default source does not open

// The low-level per-image handlers of the native transfer. Cancel is the session's stop flag
// itself: setting it stops the acquisition after the current image.
using TWainBeforeScanEvent = std::function<void(vcl::TObject* Sender, const TW_IMAGEINFO& Info, bool& Cancel)>;
// hDib is the global memory handle of the packed DIB; it is freed as soon as the handler returns.
using TWainAfterScanEvent = std::function<void(vcl::TObject* Sender, HGLOBAL hDib, bool& Cancel)>;

// ==== Capability containers ======================================================================

// A wrapped container: a global block the component holds locked (one lock) for the wrapper's life.
// Made only by TScanner::WrapContainer, released only by TScanner::ContainerFree.
struct TContainerWrapper {
  uint32_t Signature;  // ContainerSignature while live
  int32_t ConType;     // TWON_*
  HGLOBAL hContainer;
  void* pContainer;    // what GlobalLock returned
};
inline constexpr uint32_t ContainerSignature = 0x4D6F736B;

// A wrapper as it crosses the interface: an opaque 32-bit value, 0 for none. Values are looked up in
// a process-wide table, so a stale or invented value is recognised, never dereferenced.
using pcon = uint32_t;

// Size in bytes of one container item for TWTY_INT8 .. TWTY_STR255 (indexed by the item type).
inline constexpr int TWItemSize[13] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};
// The item size of an item type; -1 for a type the table does not know (TWTY_STR1024 and above).
constexpr int ItemSize(uint32_t itemType) { return itemType < 13 ? TWItemSize[itemType] : -1; }

// One row of the capability-name table.
struct TCapabilityTable {
  uint16_t Cap;
  const char* Name;
};
// The 130 rows: CAP_CUSTOMBASE first, then the standard's capabilities in ascending order.
extern const TCapabilityTable CapabilityTable[130];

// Single -> TW_FIX32 as the standard converts (x * 65536 + 0.5, truncated; values of 32768 and
// above wrap).
TW_FIX32 SingleToFix32(float x);
// TW_FIX32 -> Single, rounded to four decimals (ties to even).
float Fix32ToSingle(const TW_FIX32& fix);

// ==== Process-wide state =========================================================================

// The ProductName of every source some component of the process has open, one entry per open.
// Created when the library is loaded, freed when it is unloaded; only TWAIN_Mgr changes it.
extern vcl::TStringList* SourcesInUse;

class TScanner;

// ==== TScanRange =================================================================================

// One numeric TW_FIX32 capability of a TScanner (brightness, resolution, ...): the range the source
// allows, whether it supports the capability, and the value the application wants. Only Value can
// be set from outside; writes to Supported, Min, Max, Step and Default are dropped.
class TScanRange : public vcl::TPersistent {
  VCL_CLASS(TScanRange, vcl::TPersistent)
 public:
  // The range belongs to owner (which frees it); all fields start at 0, unsupported.
  explicit TScanRange(TScanner* owner);
  static void DeclareProperties(vcl::TPropertyBuilder<TScanRange>& p);

  // Sets the built-in limits without asking the source; Value := default, Supported := true.
  void SetParam(TScannerCap cap, float min, float max, float step, float def, uint32_t capability);
  // Reads the limits from the open source and sets or clears the cap member in the owner's Caps.
  void Refresh();
  // Sends Value to the source (while the owner is active and the range supported) and reads back
  // what the source holds.
  void ApplySetting();
  // Value := Default, then ApplySetting.
  void Reset();
  // The allowed value nearest to x (the lower of two equally near ones); x itself when no candidate
  // lies within Max - Min + Step of it. Always ends, also for a negative or vanishing Step.
  float NearestValue(float x) const;

  bool GetSupported() const { return FSupported; }
  void SetSupported(bool) {}
  float GetMin() const { return FMin; }
  void SetMin(float) {}
  float GetMax() const { return FMax; }
  void SetMax(float) {}
  float GetStep() const { return FStep; }
  void SetStep(float) {}
  float GetDefault() const { return FDefault; }
  void SetDefault(float) {}
  float GetValue() const { return FValue; }
  // Stores a different value and applies it; an equal value does nothing.
  void SetValue(float v);

  // Not published: what the range stands for and the source's current value of the last Refresh.
  TScannerCap GetCap() const { return FCap; }
  uint32_t GetCapability() const { return FCapability; }
  float GetCurrent() const { return FCurrent; }

 protected:
  // Into another TScanRange: capability, limits, Value and current, raw (nothing is sent). The
  // destination keeps its owner, cap member and Supported. Other destinations: the framework's error.
  void AssignTo(vcl::TPersistent* dest) override;

 private:
  TScanner* FOwner;
  TScannerCap FCap = scBrightness;
  uint32_t FCapability = 0;
  bool FSupported = false;
  float FMin = 0, FMax = 0, FStep = 0, FDefault = 0, FValue = 0;
  float FCurrent = 0;
};

// ==== TScanner ===================================================================================

class TScanner : public vcl::TComponent {
  VCL_CLASS(TScanner, vcl::TComponent)
  friend class TScanRange;

 public:
  // ---- Construction ------------------------------------------------------------------------------
  // Fills the application identity, creates the owned objects, resets every setting to its built-in
  // default and installs the low-level scan handlers. Nothing talks to TWAIN until activation.
  explicit TScanner(vcl::TComponent* owner);
  // Unloads the manager whatever the state: no library, open source or SourcesInUse entry stays.
  ~TScanner() override;

  // ---- Component core ----------------------------------------------------------------------------
  // The published properties in their streaming order, with defaults and stored flags.
  static void DeclareProperties(vcl::TPropertyBuilder<TScanner>& p);

  // Activation: loads the manager (EScannerFaital 65521 when it cannot, 65522 when no source is
  // installed), opens SourceName, else after the selection dialog (UseDefaultSource false, two or
  // more sources; cancelling leaves the component inactive without an error) the default source
  // (EScannerFaital 65523 when it does not open), reads the source's limits, units and pixel types,
  // then takes (UseCurrentValue) or pushes the settings and fires OnActivate. Deactivation unloads
  // the manager, fires OnDeactivate and empties SourceName. Setting the current value does nothing.
  bool GetActive() const { return FActive; }
  void SetActive(bool value);
  // SetActive(true); the resulting Active.
  bool Open();
  // SetActive(false); true when inactive afterwards.
  bool Close();
  // The manager's selection dialog (loading the manager for it when inactive); true when the user
  // chose a source, which becomes the manager's default. SourceName is not changed.
  bool Select();
  // EScannerWarning (65520) unless active.
  void CheckActive();
  // The window handed to every TWAIN call: the owner's form, else the application window, else a
  // proxy form created on first need.
  HWND GetHandle();
  HWND Handle() { return GetHandle(); }
  // "Version 5.0.2".
  std::string GetVersion() const;
  // TWAIN_LoadSourceManager, raising EScannerFaital (65521) when it fails and (65522, the manager
  // stays loaded) when no source is installed.
  void LoadSourceManager();
  // Unloads the manager when loaded, then destroys the proxy form.
  void UnloadSourceManager();
  // A small tool window "TScanner ProxyWindow" owned by Application, shown once; its handle.
  HWND CreateProxyForm();
  void DestroyProxyForm();

  const std::string& GetSourceName() const { return FSourceName; }
  void SetSourceName(const std::string& value) { FSourceName = value; }
  // The installed sources' product names, enumerated on first use and then kept.
  vcl::TStrings* GetSourceNames();
  bool GetUseDefaultSource() const { return FUseDefaultSource; }
  void SetUseDefaultSource(bool value) { FUseDefaultSource = value; }
  bool GetUseCurrentValue() const { return FUseCurrentValue; }
  void SetUseCurrentValue(bool value) { FUseCurrentValue = value; }
  bool GetMultiTransfer() const { return FMultiTransfer; }
  void SetMultiTransfer(bool value) { FMultiTransfer = value; }
  bool GetShowUI() const { return FShowUI; }
  void SetShowUI(bool value) { FShowUI = value; }
  // The last scanned image (owned). SetBitmap copies value into it.
  vcl::TBitmap* GetBitmap() const { return FBitmap.get(); }
  void SetBitmap(vcl::TBitmap* value);

  const TBeforeScanEvent& GetOnBeforeScan() const { return FOnBeforeScan; }
  void SetOnBeforeScan(TBeforeScanEvent value) { FOnBeforeScan = std::move(value); }
  const TAfterScanEvent& GetOnAfterScan() const { return FOnAfterScan; }
  void SetOnAfterScan(TAfterScanEvent value) { FOnAfterScan = std::move(value); }
  const vcl::TNotifyEvent& GetOnActivate() const { return FOnActivate; }
  void SetOnActivate(vcl::TNotifyEvent value) { FOnActivate = std::move(value); }
  const vcl::TNotifyEvent& GetOnDeactivate() const { return FOnDeactivate; }
  void SetOnDeactivate(vcl::TNotifyEvent value) { FOnDeactivate = std::move(value); }

  // ---- Scanning ----------------------------------------------------------------------------------
  // Activates when inactive (EScannerFaital passes, after the clean-up; other activation errors give
  // false), pushes the settings, acquires natively, deactivates again when it activated, and gives
  // the focus back to the form that was active. True when the last wait delivered an image.
  bool Execute();
  // Ends the running acquisition's wait at its next turn.
  void Abort();
  // The open source's identity; zeros and empty strings while inactive.
  TScanSourceInfo GetSourceInfo() const;
  // The source's native resolutions (0 when it does not say); EScannerWarning while inactive.
  float GetXNativeResolution();
  float GetYNativeResolution();
  // The bridges from the session layer's low-level events to DoBeforeScan / DoAfterScan.
  void TWainBeforeScan(vcl::TObject* Sender, const TW_IMAGEINFO& Info, bool& Cancel);
  void TWainAfterScan(vcl::TObject* Sender, HGLOBAL hDib, bool& Cancel);

  // ---- Settings ----------------------------------------------------------------------------------
  // Inactive: the built-in defaults (Caps without scFrame, inch, RGB, 24 bits, the range table, A4).
  // Active: the source's defaults, applied.
  void Reset();
  // Takes every setting from the open source; nothing while inactive.
  void CurrentSettings();
  // Sends every setting to the open source and keeps what it reports; nothing while inactive.
  void ApplySettings();

  TScannerCaps GetCaps() const { return FCaps; }
  void SetCaps(TScannerCaps) {}
  TScanPixelType GetPixelType() const { return FPixelType; }
  // A different value is stored and, while active, sent; the source's answer and the bit depth it
  // chose for the type are kept. Errors pass.
  void SetPixelType(TScanPixelType value);
  TScanPixelTypes GetPixelTypes() const { return FPixelTypes; }
  void SetPixelTypes(TScanPixelTypes) {}
  int32_t GetBitDepth() const { return FBitDepth; }
  // Stored; while active sent and the source's answer kept (0 when the exchange raises).
  void SetBitDepth(int32_t value);
  bool GetAutoBright() const { return FAutoBright; }
  // Stored; while active sent and the source's answer kept (false when the exchange raises).
  void SetAutoBright(bool value);
  bool GetShowIndicator() const { return FShowIndicator; }
  // Stored only; the source learns it at the next ApplySettings.
  void SetShowIndicator(bool value) { FShowIndicator = value; }
  // Inactive: the request; active: what the source reports (false when it raises).
  bool GetFeederEnabled();
  void SetFeederEnabled(bool value);
  bool GetAutoFeedEnabled();
  // True also switches the feeder on.
  void SetAutoFeedEnabled(bool value);
  // Whether the source's feeder can be switched on (false while inactive); leaves the feeder as
  // requested.
  bool GetHasFeeder();
  void SetHasFeeder(bool) {}
  // Whether paper is in the feeder (false while inactive or when the source does not say).
  bool GetFeederLoaded();

  // The eight numeric settings; the setters copy the given range's values into the owned one.
  TScanRange* GetResolution() const { return FResolution.get(); }
  void SetResolution(TScanRange* value);
  TScanRange* GetScaling() const { return FScaling.get(); }
  void SetScaling(TScanRange* value);
  TScanRange* GetBrightness() const { return FBrightness.get(); }
  void SetBrightness(TScanRange* value);
  TScanRange* GetContrast() const { return FContrast.get(); }
  void SetContrast(TScanRange* value);
  TScanRange* GetGamma() const { return FGamma.get(); }
  void SetGamma(TScanRange* value);
  TScanRange* GetHighlight() const { return FHighlight.get(); }
  void SetHighlight(TScanRange* value);
  TScanRange* GetShadow() const { return FShadow.get(); }
  void SetShadow(TScanRange* value);
  TScanRange* GetThreshold() const { return FThreshold.get(); }
  void SetThreshold(TScanRange* value);

  // ---- Units, frame and paper size ---------------------------------------------------------------
  // Twips <-> Mode: an inch is 1440 twips, a centimetre 567 (so 1 in reads as 2.5397 cm), a pica
  // 240, a point 20; twips pass Value unchanged; pixels are at Resolution.Value dpi (1 when 0).
  float ConvertToTwips(TScanUnitMode Mode, float Value) const;
  float ConvertFromTwips(TScanUnitMode Mode, float Value) const;
  // The same with UnitMode.
  float UnitToTwips(float Value) const { return ConvertToTwips(FUnitMode, Value); }
  float TwipsToUnit(float Value) const { return ConvertFromTwips(FUnitMode, Value); }
  TScanRect UnitToTwips(const TScanRect& R) const;
  TScanRect TwipsToUnit(const TScanRect& R) const;

  TScanUnitMode GetUnitMode() const { return FUnitMode; }
  // A different unit is stored and, while active, sent; the source's unit wins. The frame stays.
  void SetUnitMode(TScanUnitMode value);
  TScanUnitModes GetUnitModes() const { return FUnitModes; }
  void SetUnitModes(TScanUnitModes) {}
  // The frame in UnitMode (kept in twips). A changed value is stored and sent while active.
  float GetFrameTop() const { return TwipsToUnit(FFrameTop); }
  float GetFrameLeft() const { return TwipsToUnit(FFrameLeft); }
  float GetFrameWidth() const { return TwipsToUnit(FFrameWidth); }
  float GetFrameHeight() const { return TwipsToUnit(FFrameHeight); }
  void SetFrameTop(float value);
  void SetFrameLeft(float value);
  void SetFrameWidth(float value);
  void SetFrameHeight(float value);
  // The source's physical size in UnitMode, read at activation.
  float GetMaxFrameWidth() const { return TwipsToUnit(FMaxFrameWidth); }
  float GetMaxFrameHeight() const { return TwipsToUnit(FMaxFrameHeight); }
  void SetMaxFrameWidth(float) {}
  void SetMaxFrameHeight(float) {}
  TScanRect GetFrameRect() const;
  TScanRect GetMaxFrameRect() const;
  // Left, top, width, height in this order, each through its setter.
  void SetFrameRect(const TScanRect& R);
  // The whole frame at once, sent once.
  void SetBounds(float Left, float Top, float Width, float Height);
  // Active only: Apply sends the frame; otherwise reads it from the source, clamps it to the
  // platen and recognises the paper size.
  void UpdateLayout(bool Apply);
  TScanPaperSize GetPaperSize() const { return FPaperSize; }
  // A standard size puts that page at the origin (sent while active; a page larger than the platen
  // is clamped and becomes psCustom). psCustom keeps the frame.
  void SetPaperSize(TScanPaperSize value);

  // Fills Rect with the canvas's brush and draws Bitmap into it as large as fits with its aspect
  // ratio kept, centred or at the top left.
  void DrawFixedAspect(vcl::TCanvas* Canvas, const vcl::TRect& Rect, bool Center);
  // Without Stretch (or with AutoSize) the image simply shows Bitmap; with it Bitmap is drawn
  // aspect-true into the image's own canvas, centred when the image says Center.
  void DrawFixedAspect(vcl::TImage* Image);

  // ---- Where the session stands ------------------------------------------------------------------
  TWAINState GetState() const { return FState; }
  TWAINXferMech GetXferMech() const { return FXferMech; }
  const TW_IDENTITY& GetAppID() const { return FAppID; }
  // Valid from tsSOURCE_OPEN upwards; keeps its old contents after the source is closed.
  const TW_IDENTITY& GetSourceID() const { return FSourceID; }
  HMODULE GetDSMHandle() const { return FDSMHandle; }
  uint32_t GetDSMVersion() const { return FDSMVersion; }
  HWND GetProxyWindow() const { return FProxyWindow; }
  HGLOBAL GetLastDib() const { return FLastDib; }
  bool GetStopXfer() const { return FStopXfer; }
  const TW_PENDINGXFERS& GetPendingXfers() const { return FPendingXfers; }

  // ---- DSM binding and call wrappers -------------------------------------------------------------
  // Loads TWAIN_32.DLL from the Windows directory (never from the library path) and binds DSM_Entry;
  // true when the state is at least tsSM_LOADED afterwards. A second call does nothing.
  bool TWAIN_LoadSourceManager();
  // Closes whatever is open, frees the library and destroys the proxy window; true in tsPRESESSION.
  bool TWAIN_UnloadSourceManager(HWND hWnd);
  // dwProductVersionMS of the file's version record; 0 when it has none.
  uint32_t GetFileVersion(const std::string& FileName);
  // One call to the manager; true on TWRC_SUCCESS. Keeps FResultCode, the state and SourcesInUse.
  bool TWAIN_Mgr(uint32_t DG, uint32_t DAT, uint32_t MSG, void* pData);
  // One call to the open source (an assertion below tsSOURCE_OPEN); the result and the state move
  // as the TWAIN protocol prescribes for the triplet.
  bool TWAIN_DS(uint32_t DG, uint32_t DAT, uint32_t MSG, void* pData);
  // The return code of the most recent manager or source call.
  int TWAIN_GetResultCode() const { return FResultCode; }
  // The condition code from DAT_STATUS (1 when nobody can be asked); leaves FResultCode unchanged.
  int TWAIN_GetConditionCode();
  // True from tsSOURCE_OPEN upwards; otherwise writes "Data Source not open".
  bool TWAIN_CheckSourceOpen();
  // Writes Msg with the names of the result and condition codes to the debugger output.
  void TWAIN_ErrorBox(const std::string& Msg);

  // ---- Session states ----------------------------------------------------------------------------
  // Every hWnd first passes GetValidHwnd. Opening operations climb from any state; closing ones only
  // go down and form one cascade (CloseSourceManager -> CloseSource -> DisableSource ->
  // AbortAllPendingXfers -> EndXfer), each acting only when the state is high enough.
  // Loads and opens the manager with hWnd as parent; true from tsSM_OPEN upwards.
  bool TWAIN_OpenSourceManager(HWND hWnd);
  // Drains the queue, closes the source and the manager; true at tsSM_LOADED or below.
  bool TWAIN_CloseSourceManager(HWND hWnd);
  // Opens the manager's default source; gives it back (false) when another component holds it.
  bool TWAIN_OpenDefaultSource(HWND hWnd);
  // Opens the source by product name (cut to 33 characters); reports, but still tries, a name in use.
  bool TWAIN_OpenSource(HWND hWnd, const std::string& Name);
  // Opens the default source if none is open, then enables it (with its own dialog when ShowUI);
  // TWRC_CHECKSTATUS counts as success.
  bool TWAIN_EnableSource(HWND hWnd);
  // Discards pending images and disables the source; true below tsSOURCE_ENABLED.
  bool TWAIN_DisableSource();
  // Disables and closes the source; true at tsSM_OPEN or below.
  bool TWAIN_CloseSource();
  // The manager's selection dialog; the choice becomes its default source. Leaves the state as found.
  bool TWAIN_SelectImageSource(HWND hWnd);
  // Fills Strings with the installed sources' product names; leaves the state as found.
  bool TWAIN_EnumSources(HWND hWnd, vcl::TStrings* Strings);
  // ProductName of the open source; "" below tsSOURCE_OPEN.
  std::string TWAIN_SourceName();
  // Ends a returned transfer (MSG_ENDXFER); true below tsTRANSFERRING.
  bool TWAIN_EndXfer();
  // Ends the transfer and discards the pending images (MSG_RESET); true below tsTRANSFER_READY.
  bool TWAIN_AbortAllPendingXfers();

  // ---- Message pump and proxy window -------------------------------------------------------------
  // Shows "CreateProxyWindow", then creates the hidden "TWAIN Proxy" window.
  HWND CreateProxyWindow();
  // hWnd when it is a window; otherwise the proxy window (created once, announced each time).
  HWND GetValidHwnd(HWND hWnd);
  // Offers every message of the thread to the source until a transfer was handled, the source is no
  // longer enabled, TWAIN_BreakModalLoop was called, WM_QUIT arrived or GetMessageA failed.
  void TWAIN_ModalEventLoop();
  // Processes the messages already queued, then returns.
  void TWAIN_EmptyMessageQueue();
  // Asks the running modal loop to end after the message in hand (the component's Abort).
  void TWAIN_BreakModalLoop();
  // Offers one message to the enabled source; true when the source consumed it. Performs the
  // transfer on MSG_XFERREADY and closes the source on MSG_CLOSEDSREQ. A framework exception raised
  // meanwhile is shown with MessageDlg and does not leave the hook.
  bool TWAIN_MessageHook(MSG& Msg);

  // ---- Native image transfer ---------------------------------------------------------------------
  // A whole acquisition: native mode, enable, wait, transfer one (or with MultiTransfer several)
  // images through the low-level handlers, then back down. True when the last wait delivered an image.
  bool TWAIN_AcquireNative(HWND hWnd);
  // One transfer with FXferMech, then MSG_ENDXFER; asserts that the source is then ready or enabled.
  void DoOneTransfer();
  // Image description and before-scan handler, the native transfer, the after-scan handler; the
  // DIB is freed on every path. Does nothing unless the state is tsTRANSFER_READY.
  void NativeXferHandler();
  // File and memory transfers are not supported: each reports and stops the acquisition.
  void FileXferHandler();
  void MemoryXferHandler();
  // ICAP_XFERMECH as a TWTY_UINT16 one-value; FXferMech changes only on success.
  bool TWAIN_SetXferMech(TWAINXferMech Mech);
  // Disables hWnd, transfers a pending image or enables the source and runs the modal loop, and
  // gives hWnd back its enabled state on every path.
  void TWAIN_WaitForXfer(HWND hWnd);
  // The handle of the image delivered during the wait (already freed), 0 when none.
  HGLOBAL TWAIN_WaitForNativeXfer(HWND hWnd);
  // GlobalFree of a DIB (0 is ignored); a failing free is an assertion.
  void TWAIN_FreeNative(HGLOBAL hDib);
  // Install the low-level handlers; Sender (shared by both, the later call wins) is passed to them.
  void TWAIN_SetBeforeScanEvent(vcl::TObject* Sender, TWainBeforeScanEvent Event);
  void TWAIN_SetAfterScanEvent(vcl::TObject* Sender, TWainAfterScanEvent Event);
  // Loads the packed DIB into Bitmap as a bitmap file. A DIB that cannot be locked, is shorter than
  // its header says, has the 12-byte core header or sizes that overflow is reported through
  // TWAIN_ErrorBox and leaves Bitmap unchanged. The block stays with its owner.
  void TWAIN_DrawDibToBitmap(vcl::TBitmap* Bitmap, HGLOBAL hDib);

  // ---- Capability containers ---------------------------------------------------------------------
  // Locks the block for the wrapper's life; 0 (and the block freed) when it cannot be locked.
  pcon WrapContainer(int32_t ConType, HGLOBAL hContainer);
  // 7 + n*size (array), 15 + n*size (enumeration), 6 or size+2 (one value), 22 (range), else 0.
  int32_t ContainerSize(int32_t ConType, uint32_t ItemType, uint32_t NumItems);
  // Unlocks and frees the block; EScannerFaital for 0 or a value that is no live wrapper.
  void ContainerFree(pcon p);
  // A locked TW_ONEVALUE holding value encoded as ItemType; 0 when it cannot be built.
  pcon ContainerOneValue(int32_t ItemType, float Value);
  // MSG_SET of the wrapped container; false (and a report) when the source refuses.
  bool TWAIN_Set(uint32_t Cap, pcon p);
  // Integer item types TWTY_INT8..TWTY_BOOL only ("Unknow ItemType" otherwise).
  bool TWAIN_SetCapOneValue(uint32_t Cap, uint32_t ItemType, int32_t Value);
  bool TWAIN_SetCapFix32(uint32_t Cap, float Value);
  // "ICAP_XRESOLUTION ($1118)"; "Capability ($8005)" for a number the table lacks.
  static std::string GetCapabilityName(uint16_t Cap);
  // Looks up a live wrapper; nullptr for 0 or a value that is not one.
  static TContainerWrapper* FindContainer(pcon p);

  // ---- Capability queries and typed accessors ----------------------------------------------------
  // The source's current (or default) value as ItemType: exactly ItemSize(ItemType) bytes are copied
  // into pDest (must not be null); false otherwise, with a diagnostic line for the failures that have one.
  bool TWAIN_GetCapCurrent(uint32_t Cap, uint32_t ItemType, void* pDest);
  bool TWAIN_GetCapDefault(uint32_t Cap, uint32_t ItemType, void* pDest);
  // A range as it is; an enumeration as its default item with Step 0. Out-parameters are written
  // only on success.
  bool TWAIN_GetCapRange(uint32_t Cap, float& Min, float& Max, float& Step, float& Default, float& Current);
  // Empties List, then fills it with the items (truncated integers as pointer-sized items).
  bool TWAIN_GetCapEnumeration(uint32_t Cap, int32_t ItemType, vcl::TList* List, int32_t& CurrentIndex,
                               int32_t& DefaultIndex);
  // Typed current values; the caller's Default when the source cannot be read.
  bool TWAIN_GetCapBool(uint32_t Cap, bool Default);
  bool TWAIN_SetCapBool(uint32_t Cap, bool Value);
  float TWAIN_GetCapFix32(uint32_t Cap, float Default);
  int32_t TWAIN_GetCapUint16(uint32_t Cap, int32_t Default);
  // ICAP_UNITS (default TWUN_INCHES), ICAP_PIXELTYPE (TWPT_RGB), ICAP_BITDEPTH (8), CAP_INDICATORS (true).
  int32_t TWAIN_GetCurrentUnits();
  bool TWAIN_SetCurrentUnits(int32_t Value);
  int32_t TWAIN_GetPixelType();
  bool TWAIN_SetPixelType(int32_t Value);
  int32_t TWAIN_GetBitDepth();
  bool TWAIN_SetBitDepth(int32_t Value);
  bool TWAIN_GetIndicators();
  bool TWAIN_SetIndicators(bool Value);
  // Edges in the source's current unit; nothing is converted.
  bool TWAIN_SetImageLayout(float Left, float Top, float Right, float Bottom);
  bool TWAIN_GetImageLayout(float& Left, float& Top, float& Right, float& Bottom);

 protected:
  // Forgets the proxy form when its owner (Application) frees it first.
  void Notification(vcl::TComponent* component, vcl::TOperation operation) override;

  // Component copies: Dest.Assign(Scanner) deactivates Dest first, then copies every setting raw.
  void AssignTo(vcl::TPersistent* Dest) override;
  // OnActivate / OnDeactivate with the component as sender.
  virtual void DoActivate();
  virtual void DoDeactivate();
  // OnBeforeScan with a copy of the image description; OnAfterScan with the bitmap.
  virtual void DoBeforeScan(const TScanImageInfo& ImageInfo, bool& Cancel);
  virtual void DoAfterScan(vcl::TBitmap* Bitmap, bool& Cancel);

  // ---- Component fields --------------------------------------------------------------------------
  std::string FSourceName;
  std::unique_ptr<vcl::TStringList> FSourceNames;
  bool FUseDefaultSource = false;
  bool FUseCurrentValue = true;
  bool FActive = false;
  TScanUnitMode FUnitMode = umInch;
  TScanUnitModes FUnitModes;
  TScanPixelType FPixelType = ptRGB;
  TScanPixelTypes FPixelTypes;
  int32_t FBitDepth = 24;
  std::unique_ptr<vcl::TBitmap> FBitmap;
  bool FShowIndicator = true;
  bool FShowUI = true;
  bool FFeederEnabled = false;
  bool FAutoFeedEnabled = false;
  TScannerCaps FCaps;
  bool FMultiTransfer = false;
  TScanPaperSize FPaperSize = psA4;
  float FFrameTop = 0, FFrameLeft = 0, FFrameWidth = 0, FFrameHeight = 0;  // twips
  float FMaxFrameWidth = 0, FMaxFrameHeight = 0;                           // twips
  bool FAutoBright = false;
  std::unique_ptr<TScanRange> FResolution, FScaling, FBrightness, FContrast, FGamma, FHighlight, FShadow,
      FThreshold;
  TBeforeScanEvent FOnBeforeScan;
  TAfterScanEvent FOnAfterScan;
  vcl::TNotifyEvent FOnActivate;
  vcl::TNotifyEvent FOnDeactivate;
  vcl::TForm* FProxyForm = nullptr;  // owned by Application, freed by DestroyProxyForm

  // ---- Session fields ----------------------------------------------------------------------------
  TWAINState FState = tsPRESESSION;
  int32_t FResultCode = 0;
  HMODULE FDSMHandle = 0;
  DSMENTRYPROC FDSMEntry = nullptr;
  uint32_t FDSMVersion = 0;
  TW_IDENTITY FSourceID{};
  TW_IDENTITY FAppID{};
  TW_USERINTERFACE FUserInterface{};
  TWAINXferMech FXferMech = XFERMECH_NATIVE;
  int32_t FMemXferCount = 0;
  HGLOBAL FLastDib = 0;
  HWND FProxyWindow = 0;
  bool FBreakModalLoop = false;
  bool FStopXfer = false;
  TW_PENDINGXFERS FPendingXfers{};
  TWainBeforeScanEvent FTwainBeforeScan;
  TWainAfterScanEvent FTwainAfterScan;
  vcl::TObject* FTwainEventSender = nullptr;

 private:
  // Execute on an active component whose source closed itself: the same source (else the default
  // one) again, with the feeder requests.
  void ReopenSource();
  // Fills the application identity (construction).
  void InitAppID();
  // TWAIN_DrawDibToBitmap, telling whether the DIB was loaded (false: refused and reported). With
  // takeOver the bitmap takes the DIB's pixel memory over instead of copying it: only for a DIB
  // that nobody reads or writes after this call until it is freed (a transfer's own).
  bool DrawDib(vcl::TBitmap* Bitmap, HGLOBAL hDib, bool takeOver);
  void ApplyMgrBookkeeping(uint32_t DAT, uint32_t MSG, void* pData);
  bool ApplyDSControlBookkeeping(uint32_t DAT, uint32_t MSG, void* pData, bool ok);
  bool ApplyDSImageBookkeeping(uint32_t DAT, uint32_t MSG, bool ok);
};

}  // namespace korven

#endif  // KORVEN_SCANNER_H
