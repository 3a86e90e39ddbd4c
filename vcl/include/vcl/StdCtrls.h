// Standard controls, each a child window of one of the platform's built-in classes so that the
// desktop can read and operate it: TButton and TCheckBox ("BUTTON"), TLabel ("STATIC"), TEdit
// ("EDIT"), TListBox ("LISTBOX"), TComboBox ("COMBOBOX").
//
// Events fire for what a person does and for the changes the framework fires them for (setting
// Checked fires OnClick, as in the framework); none fires while the control is being read from a
// form file.
#ifndef VCL_STDCTRLS_H
#define VCL_STDCTRLS_H

#include <vcl/Controls.h>

#include <memory>
#include <string>

namespace vcl {

// A push button. Pressing it (a click, or BM_CLICK from the desktop) sets its form's ModalResult to
// the button's ModalResult, then fires OnClick. Default makes it the default push button
// (BS_DEFPUSHBUTTON, pressed by Return); Cancel marks the button Escape presses. Alt+its
// accelerator presses it.
class TButton : public TWinControl {
  VCL_CLASS(TButton, TWinControl)
 public:
  explicit TButton(TComponent* AOwner);
  // Published: Cancel, Caption, Default, ModalResult (0), TabStop (true), OnClick.
  static void DeclareProperties(TPropertyBuilder<TButton>& p);
  bool GetDefault() const { return default_; }
  void SetDefault(bool value);
  bool GetCancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  TModalResult GetModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  void Click() override;
  void CommandNotify(WORD code) override;
  bool DialogChar(char key) override;

 protected:
  void CreateParams(TCreateParams& Params) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  TModalResult modalResult_ = mrNone;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
VCL_ENUM_INFO(TCheckBoxState, cbUnchecked, cbChecked, cbGrayed)

// A check box (an auto check box "BUTTON"; with AllowGrayed a three-state one). A click, or a
// change of Checked or State in code, fires OnClick. Alignment taRightJustify (the default) puts
// the text to the right of the box.
class TCheckBox : public TWinControl {
  VCL_CLASS(TCheckBox, TWinControl)
 public:
  explicit TCheckBox(TComponent* AOwner);
  // Published: Alignment (taRightJustify), AllowGrayed (false), Caption, Checked (false), State
  // (written only when grayed), TabStop (true), OnClick.
  static void DeclareProperties(TPropertyBuilder<TCheckBox>& p);
  bool GetChecked() const { return state_ == cbChecked; }
  void SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }
  TCheckBoxState GetState() const { return state_; }
  void SetState(TCheckBoxState value);
  bool GetAllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool value);
  TAlignment GetAlignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  void CommandNotify(WORD code) override;
  bool DialogChar(char key) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void HandleCreated() override;

 private:
  TCheckBoxState state_ = cbUnchecked;
  bool allowGrayed_ = false;
  TAlignment alignment_ = taRightJustify;
};

// A static text. '&' marks an accelerator (drawn underlined; "&&" is a literal '&') unless
// ShowAccelChar is false: Alt+that key gives the focus to FocusControl. AutoSize (the default)
// sizes the label to its text with the canvas metrics of TCanvas and the label's font whenever the
// caption or the font changes after it was read (a form file's own bounds are kept as designed).
// Transparent labels show their parent's background.
class TLabel : public TGraphicControl {
  VCL_CLASS(TLabel, TGraphicControl)
 public:
  explicit TLabel(TComponent* AOwner);
  ~TLabel() override;
  // Published: Alignment (taLeftJustify), AutoSize (true), Caption, FocusControl, ShowAccelChar
  // (true), Transparent (false), WordWrap (false).
  static void DeclareProperties(TPropertyBuilder<TLabel>& p);
  bool GetAutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TWinControl* GetFocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* value);
  bool GetShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool value);
  bool GetTransparent() const { return transparent_; }
  void SetTransparent(bool value);
  bool GetWordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  TAlignment GetAlignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  bool DialogChar(char key) override;
  // Tells the desktop which control the label names (once both windows exist).
  void LinkFocusControl();

 protected:
  void CreateParams(TCreateParams& Params) override;
  void TextChanged() override;
  void LookChanged() override;
  void HandleCreated() override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  void AdjustSize();
  bool autoSize_ = true;
  bool showAccelChar_ = true;
  bool transparent_ = false;
  bool wordWrap_ = false;
  TAlignment alignment_ = taLeftJustify;
  TWinControl* focusControl_ = nullptr;
};

// A one-line edit box. Text reads the window's contents; OnChange fires when they change
// (EN_CHANGE, also for each character the desktop types). Each typed character passes OnKeyPress
// first: a handler that sets the key to #0 discards it. MaxLength (0: none) limits typing;
// ReadOnly refuses it. ImeMode and ImeName are kept for form files.
class TEdit : public TWinControl {
  VCL_CLASS(TEdit, TWinControl)
 public:
  explicit TEdit(TComponent* AOwner);
  // Published: AutoSelect (true), ImeMode (imDontCare), ImeName, MaxLength (0), ReadOnly (false),
  // TabStop (true), Text, OnChange.
  static void DeclareProperties(TPropertyBuilder<TEdit>& p);
  void CommandNotify(WORD code) override;
  int GetMaxLength() const { return maxLength_; }
  void SetMaxLength(int value);
  bool GetReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  TImeMode GetImeMode() const { return imeMode_; }
  void SetImeMode(TImeMode value) { imeMode_ = value; }
  const std::string& GetImeName() const { return imeName_; }
  void SetImeName(const std::string& value) { imeName_ = value; }
  bool GetAutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool value) { autoSelect_ = value; }
  // Selects the whole text (as entering the box with AutoSelect does).
  void SelectAll();
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void HandleCreated() override;
  TColor DefaultColor() const override { return clWindow; }

 private:
  int maxLength_ = 0;
  bool readOnly_ = false;
  bool autoSelect_ = true;
  TImeMode imeMode_ = imDontCare;
  std::string imeName_;
};

// Shared by TListBox and TComboBox: a list of items (with an object each) mirrored into the window,
// and the selection.
class TCustomListControl : public TWinControl {
  VCL_CLASS(TCustomListControl, TWinControl)
 public:
  explicit TCustomListControl(TComponent* AOwner);
  ~TCustomListControl() override;
  // Published: ItemHeight, Items, ItemIndex (-1), Sorted (false).
  static void DeclareProperties(TPropertyBuilder<TCustomListControl>& p);
  TStrings* GetItems() const { return items_.get(); }
  void SetItems(TStrings* value) { items_->Assign(value); }
  // -1 when nothing is selected; setting an index outside the list selects nothing. Setting it
  // fires no event. While the control is read, the index waits until the items are there.
  int GetItemIndex() const;
  void SetItemIndex(int value);
  bool GetSorted() const { return items_->GetSorted(); }
  void SetSorted(bool value) { items_->SetSorted(value); }
  int GetItemHeight() const { return itemHeight_; }
  void SetItemHeight(int value) { itemHeight_ = value; }

 protected:
  void HandleCreated() override;
  void Loaded() override;
  void SyncItems();
  TColor DefaultColor() const override { return clWindow; }
  // The selection was set while there is no window (the window keeps it otherwise).
  virtual void SelectionSet(int index) { (void)index; }
  virtual UINT MsgAdd() const = 0;
  virtual UINT MsgReset() const = 0;
  virtual UINT MsgGetSel() const = 0;
  virtual UINT MsgSetSel() const = 0;

 private:
  std::unique_ptr<TStringList> items_;
  int itemIndex_ = -1;
  int pendingItemIndex_ = -2;  // -2: none waiting
  int itemHeight_ = 13;
};

// A list box (platform class LISTBOX) showing Items, one selectable at a time.
class TListBox : public TCustomListControl {
  VCL_CLASS(TListBox, TCustomListControl)
 public:
  explicit TListBox(TComponent* AOwner);
  // LBN_SELCHANGE fires OnClick; LBN_DBLCLK fires OnDblClick.
  void CommandNotify(WORD code) override;
  TNotifyEvent OnDblClick;

 protected:
  void CreateParams(TCreateParams& Params) override;
  UINT MsgAdd() const override { return LB_ADDSTRING; }
  UINT MsgReset() const override { return LB_RESETCONTENT; }
  UINT MsgGetSel() const override { return LB_GETCURSEL; }
  UINT MsgSetSel() const override { return LB_SETCURSEL; }
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
VCL_ENUM_INFO(TComboBoxStyle, csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable)

// A combo box: csDropDown (the default) has an edit field a person types into, csDropDownList
// only a list whose selected item is the text (the owner-drawn styles behave as these two).
// Choosing an item from the list fires OnClick, then OnChange; typing fires OnChange (and
// OnKeyPress for each character). Text of an editable combo box is the field; setting ItemIndex
// puts the item's text there, and selecting no item (-1) empties it. Text of a drop-down list is
// its selected item; setting it selects the item with that text (none when there is none).
class TComboBox : public TCustomListControl {
  VCL_CLASS(TComboBox, TCustomListControl)
 public:
  explicit TComboBox(TComponent* AOwner);
  // Published: DropDownCount (8), ImeMode (imDontCare), ImeName, MaxLength (0), Style (csDropDown),
  // TabStop (true), Text (written for the editable styles), OnChange, OnClick.
  static void DeclareProperties(TPropertyBuilder<TComboBox>& p);
  std::string GetText() const override;
  void SetText(const std::string& value) override;
  TComboBoxStyle GetStyle() const { return style_; }
  void SetStyle(TComboBoxStyle value);
  int GetMaxLength() const { return maxLength_; }
  void SetMaxLength(int value);
  int GetDropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int value) { dropDownCount_ = value; }
  TImeMode GetImeMode() const { return imeMode_; }
  void SetImeMode(TImeMode value) { imeMode_ = value; }
  const std::string& GetImeName() const { return imeName_; }
  void SetImeName(const std::string& value) { imeName_ = value; }
  // Whether a person can type into it (csDropDown, csSimple).
  bool Editable() const { return style_ == csDropDown || style_ == csSimple; }
  // CBN_SELCHANGE fires OnClick, then OnChange; CBN_EDITCHANGE fires OnChange.
  void CommandNotify(WORD code) override;
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void HandleCreated() override;
  void Loaded() override;
  void SelectionSet(int index) override;
  UINT MsgAdd() const override { return CB_ADDSTRING; }
  UINT MsgReset() const override { return CB_RESETCONTENT; }
  UINT MsgGetSel() const override { return CB_GETCURSEL; }
  UINT MsgSetSel() const override { return CB_SETCURSEL; }

 private:
  TComboBoxStyle style_ = csDropDown;
  int maxLength_ = 0;
  int dropDownCount_ = 8;
  TImeMode imeMode_ = imDontCare;
  std::string imeName_;
  bool pendingText_ = false;
};

}  // namespace vcl

#endif
