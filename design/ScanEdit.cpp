// ScanEdit: the scanner editor form. Its layout, captions and event bindings come from its form
// resource (ScanEdit.dfm); this file holds what the form does.
#include "ScanEdit.h"

#include <korven/platform.h>
#include <vcl/Dialogs.h>

#include <cmath>
#include <cstdint>

namespace korven {

VCL_IMPLEMENT_CLASS(TFormScannerEditor, vcl::TForm)

TFormScannerEditor* FormScannerEditor = nullptr;

namespace {

// Numbers as the form shows them: at most two decimals, no trailing zeros.
std::string Num(double value) { return vcl::FormatFloat("0.##", value); }

// A list item carries an enumeration's ordinal as its object, as the framework's lists do.
vcl::TObject* Ordinal(int value) { return reinterpret_cast<vcl::TObject*>(static_cast<intptr_t>(value)); }
int OrdinalOf(vcl::TObject* object) { return static_cast<int>(reinterpret_cast<intptr_t>(object)); }

// A range value times the bar's scale factor as a bar position. The products are meant to be whole
// (the factor makes the step a whole number) but a Single such as 0.01 times 100 lands just below
// 1; plain truncation would make it 0, so a product within rounding error of a whole number is that
// number, and any other is truncated toward zero.
int BarUnits(double x) {
  if (!std::isfinite(x)) return 0;
  double whole = std::round(x);
  if (std::fabs(x - whole) <= 1e-5 * std::max(1.0, std::fabs(whole))) x = whole;
  x = std::trunc(x);
  if (x > INT32_MAX) return INT32_MAX;
  if (x < INT32_MIN) return INT32_MIN;
  return static_cast<int>(x);
}

// The identifier of an enumeration member, the number when it has none.
template <size_t N>
std::string NameOf(const char* const (&names)[N], int ordinal) {
  return ordinal >= 0 && ordinal < static_cast<int>(N) ? names[ordinal] : vcl::IntToStr(ordinal);
}

}  // namespace

TFormScannerEditor::TFormScannerEditor(vcl::TComponent* AOwner) : vcl::TForm(AOwner) {
  DeclareField("CmdOK", CmdOK);
  DeclareField("CmdCancel", CmdCancel);
  DeclareField("PageControl1", PageControl1);
  DeclareField("TabSheetBasic", TabSheetBasic);
  DeclareField("TabSheetImage", TabSheetImage);
  DeclareField("Label6", Label6);
  DeclareField("Label7", Label7);
  DeclareField("Label8", Label8);
  DeclareField("Label9", Label9);
  DeclareField("Label10", Label10);
  DeclareField("Label11", Label11);
  DeclareField("Label13", Label13);
  DeclareField("LabelBrightness", LabelBrightness);
  DeclareField("LabelContrast", LabelContrast);
  DeclareField("LabelGamma", LabelGamma);
  DeclareField("LabelHighlight", LabelHighlight);
  DeclareField("LabelShadow", LabelShadow);
  DeclareField("LabelThreshold", LabelThreshold);
  DeclareField("LabelScaling", LabelScaling);
  DeclareField("BarBrightness", BarBrightness);
  DeclareField("BarContrast", BarContrast);
  DeclareField("BarGamma", BarGamma);
  DeclareField("BarHighlight", BarHighlight);
  DeclareField("BarShadow", BarShadow);
  DeclareField("BarThreshold", BarThreshold);
  DeclareField("BarScaling", BarScaling);
  DeclareField("CheckUseDefaultSource", CheckUseDefaultSource);
  DeclareField("CheckUseCurrentValue", CheckUseCurrentValue);
  DeclareField("TabSheetTest", TabSheetTest);
  DeclareField("Panel1", Panel1);
  DeclareField("Image1", Image1);
  DeclareField("CmdScan", CmdScan);
  DeclareField("CheckAutoBright", CheckAutoBright);
  DeclareField("TabSheetFeeder", TabSheetFeeder);
  DeclareField("CheckFeederEnabled", CheckFeederEnabled);
  DeclareField("CheckAutoFeedEnabled", CheckAutoFeedEnabled);
  DeclareField("Bevel1", Bevel1);
  DeclareField("LabelImageInfo", LabelImageInfo);
  DeclareField("TabSheetControl", TabSheetControl);
  DeclareField("Label1", Label1);
  DeclareField("LabelBitDepth", LabelBitDepth);
  DeclareField("Label2", Label2);
  DeclareField("Label5", Label5);
  DeclareField("Label14", Label14);
  DeclareField("Label15", Label15);
  DeclareField("Label17", Label17);
  DeclareField("Label18", Label18);
  DeclareField("Label16", Label16);
  DeclareField("ComboPixelType", ComboPixelType);
  DeclareField("ComboUnitMode", ComboUnitMode);
  DeclareField("ComboResolution", ComboResolution);
  DeclareField("ComboPaperSize", ComboPaperSize);
  DeclareField("EditLeft", EditLeft);
  DeclareField("EditWidth", EditWidth);
  DeclareField("EditHeight", EditHeight);
  DeclareField("EditTop", EditTop);
  DeclareField("CheckShowUI", CheckShowUI);
  DeclareField("CheckShowIndicator", CheckShowIndicator);
  DeclareField("ComboDataSource", ComboDataSource);
  DeclareField("Label3", Label3);
  DeclareField("CmdAbort", CmdAbort);
  DeclareField("CmdReset", CmdReset);
  DeclareField("CmdOpen", CmdOpen);
  DeclareField("CmdClose", CmdClose);

  using T = TFormScannerEditor;
  DeclareHandler("FormCreate", &T::FormCreate);
  DeclareHandler("FormDestroy", &T::FormDestroy);
  DeclareHandler("CheckUseDefaultSourceClick", &T::CheckUseDefaultSourceClick);
  DeclareHandler("CheckUseCurrentValueClick", &T::CheckUseCurrentValueClick);
  DeclareHandler("CheckShowUIClick", &T::CheckShowUIClick);
  DeclareHandler("CheckShowIndicatorClick", &T::CheckShowIndicatorClick);
  DeclareHandler("ComboDataSourceClick", &T::ComboDataSourceClick);
  DeclareHandler("ComboDataSourceExit", &T::ComboDataSourceExit);
  DeclareHandler("ComboPixelTypeClick", &T::ComboPixelTypeClick);
  DeclareHandler("ComboUnitModeClick", &T::ComboUnitModeClick);
  DeclareHandler("ComboResolutionClick", &T::ComboResolutionClick);
  DeclareHandler("ComboResolutionExit", &T::ComboResolutionExit);
  DeclareHandler("ComboPaperSizeClick", &T::ComboPaperSizeClick);
  DeclareHandler("EditLeftExit", &T::EditLeftExit);
  DeclareHandler("EditPaperSizeKeyPress", &T::EditPaperSizeKeyPress);
  DeclareHandler("CheckAutoBrightClick", &T::CheckAutoBrightClick);
  DeclareHandler("CheckFeederEnabledClick", &T::CheckFeederEnabledClick);
  DeclareHandler("CheckAutoFeedEnabledClick", &T::CheckAutoFeedEnabledClick);
  DeclareHandler("BarControlChange", &T::BarControlChange);
  DeclareHandler("CmdOpenClick", &T::CmdOpenClick);
  DeclareHandler("CmdCloseClick", &T::CmdCloseClick);
  DeclareHandler("CmdResetClick", &T::CmdResetClick);
  DeclareHandler("CmdScanClick", &T::CmdScanClick);
  DeclareHandler("CmdAbortClick", &T::CmdAbortClick);
}

TFormScannerEditor::~TFormScannerEditor() {
  // The framework fires OnDestroy from the base class's destructor, when this part of the object is
  // gone already; FormDestroy needs it whole, so it runs here, once.
  if (vcl::TNotifyEvent onDestroy = std::move(OnDestroy)) {
    OnDestroy = nullptr;
    onDestroy(this);
  }
}

// ---- Creation and destruction -------------------------------------------------------------------

void TFormScannerEditor::FormCreate(vcl::TObject*) {
  FScanner = new TScanner(this);
  FScanner->SetOnBeforeScan([this](vcl::TObject* Sender, const TScanImageInfo& Info, bool& Cancel) {
    Scanner1BeforeScan(Sender, Info, Cancel);
  });
  ComboDataSource->GetItems()->Assign(FScanner->GetSourceNames());
  vcl::TStrings* sizes = ComboPaperSize->GetItems();
  sizes->Clear();
  for (int i = psCustom; i <= psPostCard; ++i) sizes->AddObject(ScanPaperSizeNames[i], Ordinal(i));
  SetCaption(platform::FromUtf8("TScanner プロパティエディタ ") + FScanner->GetVersion());
  LabelImageInfo->SetCaption("");
}

void TFormScannerEditor::FormDestroy(vcl::TObject*) {
  delete FScanner;
  FScanner = nullptr;
}

// ---- Showing and filling ------------------------------------------------------------------------

int TFormScannerEditor::ShowModal(TScanner* AScanner) {
  AfterConstruction();  // the form resource and FormCreate, unless the form factory ran them
  FScanner->Assign(AScanner);
  ComboDataSource->GetItems()->Assign(FScanner->GetSourceNames());
  auto bind = [this](TImageControl ic, TScanRange* range, vcl::TTrackBar* bar, vcl::TLabel* label) {
    FRanges[ic] = range;
    FBars[ic] = bar;
    FValueLabels[ic] = label;
  };
  bind(icBrightness, FScanner->GetBrightness(), BarBrightness, LabelBrightness);
  bind(icContrast, FScanner->GetContrast(), BarContrast, LabelContrast);
  bind(icGamma, FScanner->GetGamma(), BarGamma, LabelGamma);
  bind(icHighlight, FScanner->GetHighlight(), BarHighlight, LabelHighlight);
  bind(icShadow, FScanner->GetShadow(), BarShadow, LabelShadow);
  bind(icThreshold, FScanner->GetThreshold(), BarThreshold, LabelThreshold);
  bind(icScaling, FScanner->GetScaling(), BarScaling, LabelScaling);
  UpdateInfo();
  int result = vcl::TCustomForm::ShowModal();
  if (result == vcl::mrOk) AScanner->Assign(FScanner);
  return result;
}

void TFormScannerEditor::UpdateInfo() {
  // Set on every path out; a refill nested in another (a handler run while the controls are
  // filled) gives the outer one back its guard instead of clearing it.
  struct Flag {
    bool& flag;
    bool saved;
    explicit Flag(bool& f) : flag(f), saved(f) { flag = true; }
    ~Flag() { flag = saved; }
  } updating(FUpdating);
  TScanner& s = *FScanner;

  CheckShowUI->SetChecked(s.GetShowUI());
  CheckShowIndicator->SetChecked(s.GetShowIndicator());
  CheckUseCurrentValue->SetChecked(s.GetUseCurrentValue());
  CheckUseDefaultSource->SetChecked(s.GetUseDefaultSource());

  ComboDataSource->SetEnabled(!s.GetUseDefaultSource());
  ComboDataSource->SetText(s.GetSourceName());
  ComboDataSource->SetItemIndex(ComboDataSource->GetItems()->IndexOf(s.GetSourceName()));

  vcl::TStrings* types = ComboPixelType->GetItems();
  types->Clear();
  for (int i = ptBlackWhite; i <= ptCIEXYZ; ++i) {
    if (!s.GetPixelTypes().Contains(static_cast<TScanPixelType>(i))) continue;
    int index = types->AddObject(ScanPixelTypeNames[i], Ordinal(i));
    if (i == s.GetPixelType()) ComboPixelType->SetItemIndex(index);
  }
  LabelBitDepth->SetCaption(vcl::Format("(%dbit)", s.GetBitDepth()));

  vcl::TStrings* units = ComboUnitMode->GetItems();
  units->Clear();
  for (int i = umInch; i <= umPixel; ++i) {
    if (!s.GetUnitModes().Contains(static_cast<TScanUnitMode>(i))) continue;
    int index = units->AddObject(ScanUnitModeNames[i], Ordinal(i));
    if (i == s.GetUnitMode()) ComboUnitMode->SetItemIndex(index);
  }

  ComboResolution->SetText(Num(s.GetResolution()->GetValue()));
  ComboResolution->SetEnabled(s.GetUnitMode() != umPixel && s.GetResolution()->GetSupported());

  CheckAutoBright->SetChecked(s.GetAutoBright());
  for (int ic = icBrightness; ic <= icScaling; ++ic) UpdateBar(static_cast<TImageControl>(ic));

  CheckFeederEnabled->SetChecked(s.GetFeederEnabled());
  CheckAutoFeedEnabled->SetChecked(s.GetAutoFeedEnabled());

  EditLeft->SetText(Num(s.GetFrameLeft()));
  EditTop->SetText(Num(s.GetFrameTop()));
  EditWidth->SetText(Num(s.GetFrameWidth()));
  EditHeight->SetText(Num(s.GetFrameHeight()));
  ComboPaperSize->SetItemIndex(ComboPaperSize->GetItems()->IndexOfObject(Ordinal(s.GetPaperSize())));
  bool custom = s.GetPaperSize() == psCustom;
  for (vcl::TEdit* edit : {EditLeft, EditTop, EditWidth, EditHeight}) edit->SetEnabled(custom);
}

void TFormScannerEditor::UpdateBar(TImageControl ic) {
  TScanRange* r = FRanges[ic];
  vcl::TTrackBar* bar = FBars[ic];
  FValueLabels[ic]->SetCaption(Num(r->GetValue()));
  if (!r->GetSupported()) {
    // The bar keeps the bounds and scale it had.
    bar->SetSliderVisible(false);
    bar->SetHint("Not Supported");
    return;
  }
  bar->SetSliderVisible(true);
  bar->SetHint("Min=" + Num(r->GetMin()) + ", Max=" + Num(r->GetMax()) + ", Step=" + Num(r->GetStep()));
  double step = r->GetStep();
  int scale = (step >= 1 || step == 0) ? 1 : (step * 10 >= 1 ? 10 : 100);
  bar->SetTag(scale);
  bar->SetMin(BarUnits(scale * static_cast<double>(r->GetMin())));
  bar->SetMax(BarUnits(scale * static_cast<double>(r->GetMax())));
  int units = BarUnits(scale * step);
  bar->SetFrequency(units);
  bar->SetLineSize(units);
  bar->SetPageSize(units);
  bar->SetPosition(BarUnits(static_cast<double>(r->GetValue()) * scale));
}

void TFormScannerEditor::Scanner1BeforeScan(vcl::TObject*, const TScanImageInfo& ImageInfo, bool&) {
  LabelImageInfo->SetCaption(vcl::Format("W=%d, H=%d PixelType=%s (%dBits) XRes=%g, YRes=%g", ImageInfo.Width,
                                         ImageInfo.Height, NameOf(ScanPixelTypeNames, ImageInfo.PixelType),
                                         ImageInfo.BitsPerPixel, ImageInfo.XResolution, ImageInfo.YResolution));
}

// ---- The controls' handlers ---------------------------------------------------------------------

void TFormScannerEditor::CheckUseDefaultSourceClick(vcl::TObject*) {
  if (FUpdating) return;
  FScanner->SetUseDefaultSource(CheckUseDefaultSource->GetChecked());
  UpdateInfo();
}

void TFormScannerEditor::CheckUseCurrentValueClick(vcl::TObject*) {
  if (FUpdating) return;
  FScanner->SetUseCurrentValue(CheckUseCurrentValue->GetChecked());
  UpdateInfo();
}

void TFormScannerEditor::CheckShowUIClick(vcl::TObject*) {
  if (FUpdating) return;
  FScanner->SetShowUI(CheckShowUI->GetChecked());
}

void TFormScannerEditor::CheckShowIndicatorClick(vcl::TObject*) {
  if (FUpdating) return;
  FScanner->SetShowIndicator(CheckShowIndicator->GetChecked());
}

void TFormScannerEditor::ComboDataSourceClick(vcl::TObject*) {
  if (FUpdating) return;
  int index = ComboDataSource->GetItemIndex();
  if (index < 0) return;
  FScanner->SetSourceName(ComboDataSource->GetItems()->Strings(index));
  UpdateInfo();
}

void TFormScannerEditor::ComboDataSourceExit(vcl::TObject*) {
  if (FUpdating) return;
  FScanner->SetSourceName(ComboDataSource->GetText());
}

void TFormScannerEditor::ComboPixelTypeClick(vcl::TObject*) {
  int index = ComboPixelType->GetItemIndex();
  if (index < 0) return;
  FScanner->SetPixelType(static_cast<TScanPixelType>(OrdinalOf(ComboPixelType->GetItems()->Objects(index))));
  UpdateInfo();
}

void TFormScannerEditor::ComboUnitModeClick(vcl::TObject*) {
  int index = ComboUnitMode->GetItemIndex();
  if (index < 0) return;
  FScanner->SetUnitMode(static_cast<TScanUnitMode>(OrdinalOf(ComboUnitMode->GetItems()->Objects(index))));
  UpdateInfo();
}

void TFormScannerEditor::ComboResolutionClick(vcl::TObject*) {
  int index = ComboResolution->GetItemIndex();
  if (index < 0) return;
  FScanner->GetResolution()->SetValue(static_cast<float>(vcl::StrToFloat(ComboResolution->GetItems()->Strings(index))));
  UpdateInfo();
}

void TFormScannerEditor::ComboResolutionExit(vcl::TObject*) {
  FScanner->GetResolution()->SetValue(static_cast<float>(vcl::StrToFloat(ComboResolution->GetText())));
  UpdateInfo();
}

void TFormScannerEditor::ComboPaperSizeClick(vcl::TObject*) {
  int index = ComboPaperSize->GetItemIndex();
  if (index < 0) return;
  FScanner->SetPaperSize(static_cast<TScanPaperSize>(OrdinalOf(ComboPaperSize->GetItems()->Objects(index))));
  UpdateInfo();
}

void TFormScannerEditor::EditLeftExit(vcl::TObject* Sender) {
  auto* edit = vcl::As<vcl::TEdit>(Sender);
  float value = static_cast<float>(vcl::StrToFloat(edit->GetText()));
  switch (edit->GetTag()) {
    case 0:
      FScanner->SetFrameLeft(value);
      break;
    case 1:
      FScanner->SetFrameTop(value);
      break;
    case 2:
      FScanner->SetFrameWidth(value);
      break;
    case 3:
      FScanner->SetFrameHeight(value);
      break;
    default:
      break;
  }
  UpdateInfo();
}

void TFormScannerEditor::EditPaperSizeKeyPress(vcl::TObject*, char& Key) {
  bool allowed = Key == '\b' || Key == '.' || (Key >= '0' && Key <= '9');
  if (!allowed) Key = '\0';
}

void TFormScannerEditor::CheckAutoBrightClick(vcl::TObject*) {
  if (FUpdating) return;
  FScanner->SetAutoBright(CheckAutoBright->GetChecked());
}

void TFormScannerEditor::CheckFeederEnabledClick(vcl::TObject*) {
  if (FUpdating) return;
  FScanner->SetFeederEnabled(CheckFeederEnabled->GetChecked());
  UpdateInfo();
}

void TFormScannerEditor::CheckAutoFeedEnabledClick(vcl::TObject*) {
  if (FUpdating) return;
  FScanner->SetAutoFeedEnabled(CheckAutoFeedEnabled->GetChecked());
  UpdateInfo();
}

void TFormScannerEditor::BarControlChange(vcl::TObject* Sender) {
  if (FUpdating) return;
  auto* bar = vcl::As<vcl::TTrackBar>(Sender);
  for (int ic = icBrightness; ic <= icScaling; ++ic) {
    if (FBars[ic] != bar) continue;
    // A bar whose range was never filled as supported has no scale yet: nothing to convert.
    if (bar->GetTag() == 0) return;
    float v = static_cast<float>(static_cast<double>(bar->GetPosition()) / bar->GetTag());
    FValueLabels[ic]->SetCaption(Num(v));
    FRanges[ic]->SetValue(v);
    return;
  }
}

void TFormScannerEditor::CmdOpenClick(vcl::TObject*) {
  FScanner->Open();
  CmdOpen->SetEnabled(!FScanner->GetActive());
  CmdClose->SetEnabled(FScanner->GetActive());
  UpdateInfo();
}

void TFormScannerEditor::CmdCloseClick(vcl::TObject*) {
  FScanner->Close();
  CmdOpen->SetEnabled(!FScanner->GetActive());
  CmdClose->SetEnabled(FScanner->GetActive());
  UpdateInfo();
}

void TFormScannerEditor::CmdResetClick(vcl::TObject*) {
  std::string question = platform::FromUtf8("設定値が初期値にリセットされます\r\nリセットしてもいいですか？");
  if (vcl::MessageDlg(question, vcl::mtInformation, vcl::mbOKCancel, 0) != vcl::mrOk) return;
  FScanner->Reset();
  UpdateInfo();
}

void TFormScannerEditor::CmdScanClick(vcl::TObject*) {
  CmdScan->SetEnabled(false);
  CmdAbort->SetEnabled(true);
  struct Restore {
    TFormScannerEditor& f;
    ~Restore() {
      f.CmdScan->SetEnabled(true);
      f.CmdAbort->SetEnabled(false);
    }
  } restore{*this};
  if (FScanner->Execute()) FScanner->DrawFixedAspect(Image1);
  UpdateInfo();
}

void TFormScannerEditor::CmdAbortClick(vcl::TObject*) { FScanner->Abort(); }

}  // namespace korven
