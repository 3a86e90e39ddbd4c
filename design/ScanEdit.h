// ScanEdit: the scanner editor form, a modal, tabbed editor for one TScanner at design time, laid out
// by its form resource (ScanEdit.dfm).
//
// The form never touches the edited component while it is open: ShowModal(AScanner) copies it into
// the form's own working scanner, every control writes straight into that one (which can open its
// source and scan, so the limits, pixel types, units and frame the source reports show at once), and
// only OK copies the working scanner back. Cancel discards everything.
#ifndef KORVEN_SCANEDIT_H
#define KORVEN_SCANEDIT_H

#include <korven/Scanner.h>
#include <vcl/ComCtrls.h>
#include <vcl/ExtCtrls.h>
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>

#include <array>

namespace korven {

// The seven ranges the form shows as track bars, in the order of the bars.
enum TImageControl { icBrightness, icContrast, icGamma, icHighlight, icShadow, icThreshold, icScaling };
VCL_ENUM_INFO(TImageControl, icBrightness, icContrast, icGamma, icHighlight, icShadow, icThreshold, icScaling)

class TFormScannerEditor : public vcl::TForm {
  VCL_CLASS(TFormScannerEditor, vcl::TForm)
 public:
  // Declares the published fields and the handlers the form resource binds by name; the resource
  // is read by Application->CreateForm (or the first ShowModal), which then fires FormCreate.
  explicit TFormScannerEditor(vcl::TComponent* AOwner);
  // Runs FormDestroy (OnDestroy) while the whole form still exists.
  ~TFormScannerEditor() override;

  // Copies AScanner into the working scanner, fills the controls, shows the form modally and, when
  // it closes with OK, copies the working scanner back into AScanner (which ends up inactive).
  // Returns the modal result: mrOk (1) or mrCancel (2).
  int ShowModal(TScanner* AScanner);
  using vcl::TCustomForm::ShowModal;
  // Refills every control from the working scanner; handlers that write back are idle meanwhile.
  void UpdateInfo();

  // The working scanner's OnBeforeScan: describes the coming image in LabelImageInfo.
  void Scanner1BeforeScan(vcl::TObject* Sender, const TScanImageInfo& ImageInfo, bool& Cancel);

  // OnCreate and OnDestroy.
  void FormCreate(vcl::TObject* Sender);
  void FormDestroy(vcl::TObject* Sender);
  // The controls' handlers (see the README's table).
  void CheckUseDefaultSourceClick(vcl::TObject* Sender);
  void CheckUseCurrentValueClick(vcl::TObject* Sender);
  void CheckShowUIClick(vcl::TObject* Sender);
  void CheckShowIndicatorClick(vcl::TObject* Sender);
  void ComboDataSourceClick(vcl::TObject* Sender);
  void ComboDataSourceExit(vcl::TObject* Sender);
  void ComboPixelTypeClick(vcl::TObject* Sender);
  void ComboUnitModeClick(vcl::TObject* Sender);
  void ComboResolutionClick(vcl::TObject* Sender);
  void ComboResolutionExit(vcl::TObject* Sender);
  void ComboPaperSizeClick(vcl::TObject* Sender);
  void EditLeftExit(vcl::TObject* Sender);
  void EditPaperSizeKeyPress(vcl::TObject* Sender, char& Key);
  void CheckAutoBrightClick(vcl::TObject* Sender);
  void CheckFeederEnabledClick(vcl::TObject* Sender);
  void CheckAutoFeedEnabledClick(vcl::TObject* Sender);
  void BarControlChange(vcl::TObject* Sender);
  void CmdOpenClick(vcl::TObject* Sender);
  void CmdCloseClick(vcl::TObject* Sender);
  void CmdResetClick(vcl::TObject* Sender);
  void CmdScanClick(vcl::TObject* Sender);
  void CmdAbortClick(vcl::TObject* Sender);

  // Published fields, in declaration order.
  vcl::TButton* CmdOK = nullptr;
  vcl::TButton* CmdCancel = nullptr;
  vcl::TPageControl* PageControl1 = nullptr;
  vcl::TTabSheet* TabSheetBasic = nullptr;
  vcl::TTabSheet* TabSheetImage = nullptr;
  vcl::TLabel* Label6 = nullptr;
  vcl::TLabel* Label7 = nullptr;
  vcl::TLabel* Label8 = nullptr;
  vcl::TLabel* Label9 = nullptr;
  vcl::TLabel* Label10 = nullptr;
  vcl::TLabel* Label11 = nullptr;
  vcl::TLabel* Label13 = nullptr;
  vcl::TLabel* LabelBrightness = nullptr;
  vcl::TLabel* LabelContrast = nullptr;
  vcl::TLabel* LabelGamma = nullptr;
  vcl::TLabel* LabelHighlight = nullptr;
  vcl::TLabel* LabelShadow = nullptr;
  vcl::TLabel* LabelThreshold = nullptr;
  vcl::TLabel* LabelScaling = nullptr;
  vcl::TTrackBar* BarBrightness = nullptr;
  vcl::TTrackBar* BarContrast = nullptr;
  vcl::TTrackBar* BarGamma = nullptr;
  vcl::TTrackBar* BarHighlight = nullptr;
  vcl::TTrackBar* BarShadow = nullptr;
  vcl::TTrackBar* BarThreshold = nullptr;
  vcl::TTrackBar* BarScaling = nullptr;
  vcl::TCheckBox* CheckUseDefaultSource = nullptr;
  vcl::TCheckBox* CheckUseCurrentValue = nullptr;
  vcl::TTabSheet* TabSheetTest = nullptr;
  vcl::TPanel* Panel1 = nullptr;
  vcl::TImage* Image1 = nullptr;
  vcl::TButton* CmdScan = nullptr;
  vcl::TCheckBox* CheckAutoBright = nullptr;
  vcl::TTabSheet* TabSheetFeeder = nullptr;
  vcl::TCheckBox* CheckFeederEnabled = nullptr;
  vcl::TCheckBox* CheckAutoFeedEnabled = nullptr;
  vcl::TBevel* Bevel1 = nullptr;
  vcl::TLabel* LabelImageInfo = nullptr;
  vcl::TTabSheet* TabSheetControl = nullptr;
  vcl::TLabel* Label1 = nullptr;
  vcl::TLabel* LabelBitDepth = nullptr;
  vcl::TLabel* Label2 = nullptr;
  vcl::TLabel* Label5 = nullptr;
  vcl::TLabel* Label14 = nullptr;
  vcl::TLabel* Label15 = nullptr;
  vcl::TLabel* Label17 = nullptr;
  vcl::TLabel* Label18 = nullptr;
  vcl::TLabel* Label16 = nullptr;
  vcl::TComboBox* ComboPixelType = nullptr;
  vcl::TComboBox* ComboUnitMode = nullptr;
  vcl::TComboBox* ComboResolution = nullptr;
  vcl::TComboBox* ComboPaperSize = nullptr;
  vcl::TEdit* EditLeft = nullptr;
  vcl::TEdit* EditWidth = nullptr;
  vcl::TEdit* EditHeight = nullptr;
  vcl::TEdit* EditTop = nullptr;
  vcl::TCheckBox* CheckShowUI = nullptr;
  vcl::TCheckBox* CheckShowIndicator = nullptr;
  vcl::TComboBox* ComboDataSource = nullptr;
  vcl::TLabel* Label3 = nullptr;
  vcl::TButton* CmdAbort = nullptr;
  vcl::TButton* CmdReset = nullptr;
  vcl::TButton* CmdOpen = nullptr;
  vcl::TButton* CmdClose = nullptr;

  // What tests and the designer may look at: the working scanner and whether UpdateInfo is running.
  TScanner* WorkingScanner() const { return FScanner; }
  bool Updating() const { return FUpdating; }

 private:
  // One bar from its range: value label, slider or "Not Supported", hint, scale factor (Tag), bounds.
  void UpdateBar(TImageControl ic);

  TScanner* FScanner = nullptr;  // owned by the form, freed in FormDestroy
  bool FUpdating = false;
  std::array<TScanRange*, 7> FRanges{};
  std::array<vcl::TTrackBar*, 7> FBars{};
  std::array<vcl::TLabel*, 7> FValueLabels{};
};

// The editor form while it is shown (set by the application's form factory; not cleared after).
extern TFormScannerEditor* FormScannerEditor;

}  // namespace korven

#endif
