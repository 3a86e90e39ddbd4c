// The standard controls on the platform's built-in window classes.
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>
#include <vcl/TypInfo.h>

#include <algorithm>

namespace vcl {

VCL_IMPLEMENT_CLASS(TButton, TWinControl)
VCL_IMPLEMENT_CLASS(TLabel, TWinControl)
VCL_IMPLEMENT_CLASS(TEdit, TWinControl)
VCL_IMPLEMENT_CLASS(TCustomListControl, TWinControl)
VCL_IMPLEMENT_CLASS(TListBox, TCustomListControl)
VCL_IMPLEMENT_CLASS(TComboBox, TCustomListControl)

// ---- TButton ------------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 75;
  height_ = 25;
  SetTabStop(true);
}

void TButton::DeclareProperties(TPropertyBuilder<TButton>& p) {
  p.Property("Cancel", &TButton::GetCancel, &TButton::SetCancel).Default(false);
  p.Property("Caption", &TButton::GetCaption, &TButton::SetCaption);
  p.Property("Default", &TButton::GetDefault, &TButton::SetDefault).Default(false);
  p.Property("ModalResult", &TButton::GetModalResult, &TButton::SetModalResult).Default(0);
  p.Property("TabStop", &TButton::GetTabStop, &TButton::SetTabStop).Default(true);
  p.Property("OnClick", &TButton::OnClick, &TButton::OnClick).TypeName("TNotifyEvent");
}

void TButton::SetDefault(bool value) {
  if (value == default_) return;
  default_ = value;
  if (handle_) {
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE);
    style = value ? (style | BS_DEFPUSHBUTTON) : (style & ~static_cast<LONG_PTR>(BS_DEFPUSHBUTTON));
    SetWindowLongPtrA(handle_, GWL_STYLE, style);
  }
}

void TButton::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "BUTTON";
  Params.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::Click() {
  if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
  TWinControl::Click();
}

void TButton::CommandNotify(WORD code) {
  if (code == BN_CLICKED) Click();
}

// ---- TLabel -------------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 65;
  height_ = 13;
}

void TLabel::DeclareProperties(TPropertyBuilder<TLabel>& p) {
  p.Property("AutoSize", &TLabel::GetAutoSize, &TLabel::SetAutoSize).Default(true);
  p.Property("Caption", &TLabel::GetCaption, &TLabel::SetCaption);
}

void TLabel::SetAutoSize(bool value) {
  autoSize_ = value;
  AdjustSize();
}

void TLabel::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "STATIC";
}

void TLabel::TextChanged() { AdjustSize(); }

void TLabel::AdjustSize() {
  if (!autoSize_) return;
  TCanvas measure;
  int w = 0, lines = 0;
  std::string text = text_;
  size_t start = 0;
  for (;;) {  // one line per '\n', a '\r' before it ignored
    size_t nl = text.find('\n', start);
    std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    w = std::max(w, measure.TextWidth(line));
    ++lines;
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  SetBounds(left_, top_, w, lines * measure.TextHeight("Ag"));
}

// ---- TEdit --------------------------------------------------------------------------------------

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 121;
  height_ = 21;
  SetTabStop(true);
}

void TEdit::DeclareProperties(TPropertyBuilder<TEdit>& p) {
  p.Property("TabStop", &TEdit::GetTabStop, &TEdit::SetTabStop).Default(true);
  p.Property("Text", &TEdit::GetText, &TEdit::SetText);
  p.Property("OnChange", &TEdit::OnChange, &TEdit::OnChange).TypeName("TNotifyEvent");
}

void TEdit::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "EDIT";
}

void TEdit::CommandNotify(WORD code) {
  if (code == EN_CHANGE && OnChange) OnChange(this);
}

// ---- List controls ------------------------------------------------------------------------------

TCustomListControl::TCustomListControl(TComponent* AOwner)
    : TWinControl(AOwner), items_(std::make_unique<TStringList>()) {
  width_ = 121;
  height_ = 97;
  SetTabStop(true);
  items_->OnChange = [this](TObject*) { SyncItems(); };
}

TCustomListControl::~TCustomListControl() { items_->OnChange = nullptr; }

void TCustomListControl::DeclareProperties(TPropertyBuilder<TCustomListControl>& p) {
  p.Property("ItemIndex", &TCustomListControl::GetItemIndex, &TCustomListControl::SetItemIndex).Default(-1);
  p.Property("Items", &TCustomListControl::GetItems, &TCustomListControl::SetItems);
}

int TCustomListControl::GetItemIndex() const {
  if (!handle_) return itemIndex_;
  const LRESULT r = SendMessageA(handle_, MsgGetSel(), 0, 0);
  return r < 0 ? -1 : static_cast<int>(r);
}

void TCustomListControl::SetItemIndex(int value) {
  if (value < 0 || value >= items_->Count()) value = -1;
  itemIndex_ = value;
  if (handle_) SendMessageA(handle_, MsgSetSel(), static_cast<WPARAM>(value), 0);
}

void TCustomListControl::SyncItems() {
  if (!handle_) return;
  const int keep = GetItemIndex();
  SendMessageA(handle_, MsgReset(), 0, 0);
  for (int i = 0; i < items_->Count(); ++i) {
    const std::string s = items_->Get(i);
    SendMessageA(handle_, MsgAdd(), 0, reinterpret_cast<LPARAM>(s.c_str()));
  }
  if (keep >= 0 && keep < items_->Count()) SendMessageA(handle_, MsgSetSel(), static_cast<WPARAM>(keep), 0);
}

void TCustomListControl::HandleCreated() {
  const int keep = itemIndex_;
  SyncItems();
  if (keep >= 0) SendMessageA(handle_, MsgSetSel(), static_cast<WPARAM>(keep), 0);
}

TListBox::TListBox(TComponent* AOwner) : TCustomListControl(AOwner) {}

void TListBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "LISTBOX";
}

void TListBox::CommandNotify(WORD code) {
  if (code == LBN_SELCHANGE)
    Click();
  else if (code == LBN_DBLCLK && OnDblClick)
    OnDblClick(this);
}

TComboBox::TComboBox(TComponent* AOwner) : TCustomListControl(AOwner) { height_ = 21; }

void TComboBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "COMBOBOX";
  Params.Style |= CBS_DROPDOWNLIST;
}

std::string TComboBox::GetText() const {
  const int i = GetItemIndex();
  return i >= 0 && i < GetItems()->Count() ? GetItems()->Get(i) : std::string();
}

void TComboBox::CommandNotify(WORD code) {
  if (code != CBN_SELCHANGE) return;
  if (OnChange) OnChange(this);
  Click();
}

}  // namespace vcl
