// The standard controls on the platform's built-in window classes.
#include <korven/desktop.h>
#include <korven/snapshot.h>
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>
#include <vcl/TypInfo.h>

#include <algorithm>

namespace vcl {

VCL_IMPLEMENT_CLASS(TButton, TWinControl)
VCL_IMPLEMENT_CLASS(TCheckBox, TWinControl)
VCL_IMPLEMENT_CLASS(TLabel, TGraphicControl)
VCL_IMPLEMENT_CLASS(TEdit, TWinControl)
VCL_IMPLEMENT_CLASS(TCustomListControl, TWinControl)
VCL_IMPLEMENT_CLASS(TListBox, TCustomListControl)
VCL_IMPLEMENT_CLASS(TComboBox, TCustomListControl)

namespace {

// Sets or clears style bits of a live window.
void ChangeStyle(HWND h, DWORD bits, bool on) {
  if (!h) return;
  LONG_PTR style = GetWindowLongPtrA(h, GWL_STYLE);
  style = on ? (style | static_cast<LONG_PTR>(bits)) : (style & ~static_cast<LONG_PTR>(bits));
  SetWindowLongPtrA(h, GWL_STYLE, style);
}

}  // namespace

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
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE) & ~static_cast<LONG_PTR>(BS_TYPEMASK);
    SetWindowLongPtrA(handle_, GWL_STYLE, style | (value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON));
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

bool TButton::DialogChar(char key) {
  if (!IsAccel(key, GetCaption()) || !CanFocus()) return false;
  Click();
  return true;
}

// ---- TCheckBox ----------------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
  width_ = 97;
  height_ = 17;
  SetTabStop(true);
}

void TCheckBox::DeclareProperties(TPropertyBuilder<TCheckBox>& p) {
  p.Property("Alignment", &TCheckBox::GetAlignment, &TCheckBox::SetAlignment).Default(taRightJustify);
  p.Property("AllowGrayed", &TCheckBox::GetAllowGrayed, &TCheckBox::SetAllowGrayed).Default(false);
  p.Property("Caption", &TCheckBox::GetCaption, &TCheckBox::SetCaption);
  p.Property("Checked", &TCheckBox::GetChecked, &TCheckBox::SetChecked).Default(false);
  p.Property("State", &TCheckBox::GetState, &TCheckBox::SetState)
      .Default(cbUnchecked)
      .Stored([](TCheckBox& c) { return c.state_ == cbGrayed; });
  p.Property("TabStop", &TCheckBox::GetTabStop, &TCheckBox::SetTabStop).Default(true);
  p.Property("OnClick", &TCheckBox::OnClick, &TCheckBox::OnClick).TypeName("TNotifyEvent");
}

void TCheckBox::SetState(TCheckBoxState value) {
  if (value == cbGrayed && !allowGrayed_ && !Loading()) value = cbUnchecked;
  if (value == state_) return;
  state_ = value;
  if (handle_) SendMessageA(handle_, BM_SETCHECK, static_cast<WPARAM>(value), 0);
  if (!Loading()) Click();  // as the framework does: a change in code is a click too
}

void TCheckBox::SetAllowGrayed(bool value) {
  if (value == allowGrayed_) return;
  allowGrayed_ = value;
  if (handle_) {
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE) & ~static_cast<LONG_PTR>(BS_TYPEMASK);
    SetWindowLongPtrA(handle_, GWL_STYLE, style | (value ? BS_AUTO3STATE : BS_AUTOCHECKBOX));
  }
}

void TCheckBox::SetAlignment(TAlignment value) {
  alignment_ = value;
  ChangeStyle(handle_, BS_LEFTTEXT, value == taLeftJustify);
}

void TCheckBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "BUTTON";
  Params.Style |= (allowGrayed_ ? BS_AUTO3STATE : BS_AUTOCHECKBOX) | (alignment_ == taLeftJustify ? BS_LEFTTEXT : 0);
}

void TCheckBox::HandleCreated() { SendMessageA(handle_, BM_SETCHECK, static_cast<WPARAM>(state_), 0); }

void TCheckBox::CommandNotify(WORD code) {
  if (code != BN_CLICKED) return;
  const auto now = static_cast<TCheckBoxState>(SendMessageA(handle_, BM_GETCHECK, 0, 0));
  state_ = now;
  Click();
}

bool TCheckBox::DialogChar(char key) {
  if (!IsAccel(key, GetCaption()) || !CanFocus()) return false;
  SetFocus();
  if (Focused()) SendMessageA(handle_, BM_CLICK, 0, 0);  // toggles, as a click does
  return true;
}

// ---- TLabel -------------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  width_ = 65;
  height_ = 13;
}

TLabel::~TLabel() {
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
}

void TLabel::DeclareProperties(TPropertyBuilder<TLabel>& p) {
  p.Property("Alignment", &TLabel::GetAlignment, &TLabel::SetAlignment).Default(taLeftJustify);
  p.Property("AutoSize", &TLabel::GetAutoSize, &TLabel::SetAutoSize).Default(true);
  p.Property("Caption", &TLabel::GetCaption, &TLabel::SetCaption);
  p.Property("FocusControl", &TLabel::GetFocusControl, &TLabel::SetFocusControl);
  p.Property("ShowAccelChar", &TLabel::GetShowAccelChar, &TLabel::SetShowAccelChar).Default(true);
  p.Property("Transparent", &TLabel::GetTransparent, &TLabel::SetTransparent).Default(false);
  p.Property("WordWrap", &TLabel::GetWordWrap, &TLabel::SetWordWrap).Default(false);
}

void TLabel::SetAutoSize(bool value) {
  autoSize_ = value;
  AdjustSize();
}

void TLabel::SetFocusControl(TWinControl* value) {
  if (value == focusControl_) return;
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
  focusControl_ = value;
  if (value) value->FreeNotification(this);
  LinkFocusControl();
}

void TLabel::Notification(TComponent* component, TOperation operation) {
  TGraphicControl::Notification(component, operation);
  if (operation == opRemove && component == focusControl_) focusControl_ = nullptr;
}

void TLabel::LinkFocusControl() {
  if (!handle_) return;
  HWND target = focusControl_ && focusControl_->HandleAllocated() ? focusControl_->GetHandle() : 0;
  if (target || !focusControl_) korven::platform::SetLabelFor(handle_, target);
}

void TLabel::SetShowAccelChar(bool value) {
  if (value == showAccelChar_) return;
  showAccelChar_ = value;
  ChangeStyle(handle_, SS_NOPREFIX, !value);
  AdjustSize();
}

void TLabel::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  LookChanged();
}

void TLabel::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  wordWrap_ = value;
  RecreateWnd();
  AdjustSize();
}

void TLabel::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  RecreateWnd();
}

void TLabel::CreateParams(TCreateParams& Params) {
  TGraphicControl::CreateParams(Params);
  DWORD align = alignment_ == taCenter ? SS_CENTER : alignment_ == taRightJustify ? SS_RIGHT : SS_LEFT;
  if (!wordWrap_ && alignment_ == taLeftJustify) align = SS_LEFTNOWORDWRAP;
  Params.Style |= align | (showAccelChar_ ? 0 : SS_NOPREFIX);
}

void TLabel::HandleCreated() { LinkFocusControl(); }

void TLabel::LookChanged() {
  TGraphicControl::LookChanged();
  if (handle_) {
    korven::platform::WindowLook look = korven::platform::GetWindowLook(handle_);
    look.transparent = transparent_;
    korven::platform::SetWindowLook(handle_, look);
  }
  AdjustSize();
}

void TLabel::TextChanged() { AdjustSize(); }

void TLabel::Loaded() {
  TGraphicControl::Loaded();
  LinkFocusControl();
}

bool TLabel::DialogChar(char key) {
  if (!showAccelChar_ || !IsAccel(key, GetCaption()) || !focusControl_ || !focusControl_->CanFocus()) return false;
  focusControl_->SetFocus();
  return true;
}

void TLabel::AdjustSize() {
  // A form file's bounds are the designed ones: only later changes resize.
  if (!autoSize_ || Loading() || wordWrap_) return;
  TCanvas measure;
  measure.GetFont()->Assign(GetFont());
  int w = 0, lines = 0;
  // '&' marks the accelerator and takes no room; "&&" is one '&'.
  const std::string text = showAccelChar_ ? StripAccelChars(text_) : text_;
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
  InitLook(clWindow, false, true);
  SetTabStop(true);
}

void TEdit::DeclareProperties(TPropertyBuilder<TEdit>& p) {
  p.Property("AutoSelect", &TEdit::GetAutoSelect, &TEdit::SetAutoSelect).Default(true);
  p.Property("ImeMode", &TEdit::GetImeMode, &TEdit::SetImeMode).Default(imDontCare);
  p.Property("ImeName", &TEdit::GetImeName, &TEdit::SetImeName);
  p.Property("MaxLength", &TEdit::GetMaxLength, &TEdit::SetMaxLength).Default(0);
  p.Property("ReadOnly", &TEdit::GetReadOnly, &TEdit::SetReadOnly).Default(false);
  p.Property("TabStop", &TEdit::GetTabStop, &TEdit::SetTabStop).Default(true);
  p.Property("Text", &TEdit::GetText, &TEdit::SetText);
  p.Property("OnChange", &TEdit::OnChange, &TEdit::OnChange).TypeName("TNotifyEvent");
}

void TEdit::SetMaxLength(int value) {
  maxLength_ = std::max(value, 0);
  if (handle_) SendMessageA(handle_, EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void TEdit::SetReadOnly(bool value) {
  readOnly_ = value;
  if (handle_) SendMessageA(handle_, EM_SETREADONLY, value ? TRUE : FALSE, 0);
}

void TEdit::SelectAll() {
  if (handle_) SendMessageA(handle_, EM_SETSEL, 0, -1);
}

void TEdit::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "EDIT";
  Params.Style |= ES_AUTOHSCROLL | (readOnly_ ? ES_READONLY : 0);
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::HandleCreated() {
  if (maxLength_) SendMessageA(handle_, EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void TEdit::CommandNotify(WORD code) {
  if (code == EN_CHANGE && OnChange && !Loading()) OnChange(this);
  if (code == EN_SETFOCUS && autoSelect_) SelectAll();
}

// ---- List controls ------------------------------------------------------------------------------

TCustomListControl::TCustomListControl(TComponent* AOwner)
    : TWinControl(AOwner), items_(std::make_unique<TStringList>()) {
  width_ = 121;
  height_ = 97;
  InitLook(clWindow, false, true);
  SetTabStop(true);
  items_->OnChange = [this](TObject*) { SyncItems(); };
}

TCustomListControl::~TCustomListControl() { items_->OnChange = nullptr; }

void TCustomListControl::DeclareProperties(TPropertyBuilder<TCustomListControl>& p) {
  p.Property("ItemHeight", &TCustomListControl::GetItemHeight, &TCustomListControl::SetItemHeight);
  p.Property("Items", &TCustomListControl::GetItems, &TCustomListControl::SetItems);
  p.Property("ItemIndex", &TCustomListControl::GetItemIndex, &TCustomListControl::SetItemIndex).Default(-1);
  p.Property("Sorted", &TCustomListControl::GetSorted, &TCustomListControl::SetSorted).Default(false);
}

int TCustomListControl::GetItemIndex() const {
  if (!handle_) return itemIndex_;
  const LRESULT r = SendMessageA(handle_, MsgGetSel(), 0, 0);
  return r < 0 ? -1 : static_cast<int>(r);
}

void TCustomListControl::SetItemIndex(int value) {
  if (Loading()) {  // the items may come later in the form file
    pendingItemIndex_ = value;
    return;
  }
  if (value < 0 || value >= items_->Count()) value = -1;
  itemIndex_ = value;
  if (handle_)
    SendMessageA(handle_, MsgSetSel(), static_cast<WPARAM>(value), 0);
  else
    SelectionSet(value);
}

void TCustomListControl::Loaded() {
  TWinControl::Loaded();
  if (pendingItemIndex_ != -2) {
    const int wanted = pendingItemIndex_;
    pendingItemIndex_ = -2;
    SetItemIndex(wanted);
  }
}

void TCustomListControl::SyncItems() {
  if (!handle_) {
    if (itemIndex_ >= items_->Count()) itemIndex_ = -1;
    return;
  }
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
  Params.Style |= LBS_NOTIFY;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TListBox::CommandNotify(WORD code) {
  if (code == LBN_SELCHANGE)
    Click();
  else if (code == LBN_DBLCLK && OnDblClick)
    OnDblClick(this);
}

// ---- TComboBox ----------------------------------------------------------------------------------

TComboBox::TComboBox(TComponent* AOwner) : TCustomListControl(AOwner) {
  width_ = 145;
  height_ = 21;
}

void TComboBox::DeclareProperties(TPropertyBuilder<TComboBox>& p) {
  p.Property("DropDownCount", &TComboBox::GetDropDownCount, &TComboBox::SetDropDownCount).Default(8);
  p.Property("ImeMode", &TComboBox::GetImeMode, &TComboBox::SetImeMode).Default(imDontCare);
  p.Property("ImeName", &TComboBox::GetImeName, &TComboBox::SetImeName);
  p.Property("MaxLength", &TComboBox::GetMaxLength, &TComboBox::SetMaxLength).Default(0);
  p.Property("Style", &TComboBox::GetStyle, &TComboBox::SetStyle).Default(csDropDown);
  p.Property("Text", &TComboBox::GetText, &TComboBox::SetText).Stored([](TComboBox& c) { return c.Editable(); });
  p.Property("OnChange", &TComboBox::OnChange, &TComboBox::OnChange).TypeName("TNotifyEvent");
  p.Property("OnClick", &TComboBox::OnClick, &TComboBox::OnClick).TypeName("TNotifyEvent");
}

void TComboBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "COMBOBOX";
  Params.Style |= Editable() ? (style_ == csSimple ? CBS_SIMPLE : CBS_DROPDOWN) : CBS_DROPDOWNLIST;
}

void TComboBox::HandleCreated() {
  TCustomListControl::HandleCreated();
  if (maxLength_) SendMessageA(handle_, CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
  // The edit field shows the text kept while there was no window (the selection sets it otherwise).
  if (Editable() && GetItemIndex() < 0) SetWindowTextA(handle_, text_.c_str());
}

void TComboBox::SelectionSet(int index) {
  // As the window does: the field shows the chosen item, and no item empties it.
  if (Editable()) text_ = index >= 0 ? GetItems()->Get(index) : std::string();
}

void TComboBox::SetStyle(TComboBoxStyle value) {
  if (value == style_) return;
  const std::string text = GetText();
  style_ = value;
  RecreateWnd();
  if (Editable()) SetText(text);
}

void TComboBox::SetMaxLength(int value) {
  maxLength_ = std::max(value, 0);
  if (handle_) SendMessageA(handle_, CB_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

std::string TComboBox::GetText() const {
  if (!Editable()) {
    const int i = GetItemIndex();
    return i >= 0 && i < GetItems()->Count() ? GetItems()->Get(i) : std::string();
  }
  return TWinControl::GetText();
}

void TComboBox::SetText(const std::string& value) {
  if (Loading()) {  // a drop-down list needs its items, which may come later in the form file
    text_ = value;
    pendingText_ = true;
    return;
  }
  if (!Editable()) {
    SetItemIndex(GetItems()->IndexOf(value));
    return;
  }
  TWinControl::SetText(value);
}

void TComboBox::Loaded() {
  TCustomListControl::Loaded();
  if (pendingText_) {
    pendingText_ = false;
    if (!Editable() || GetItemIndex() < 0) SetText(text_);
  }
}

void TComboBox::CommandNotify(WORD code) {
  if (Loading()) return;
  if (code == CBN_SELCHANGE) {
    Click();
    if (OnChange) OnChange(this);
  } else if (code == CBN_EDITCHANGE) {
    if (OnChange) OnChange(this);
  }
}

}  // namespace vcl
