// Standard controls, each a child window of one of the platform's built-in classes so that the
// desktop can read and operate it: TButton ("BUTTON"), TLabel ("STATIC"), TEdit ("EDIT"),
// TListBox ("LISTBOX"), TComboBox ("COMBOBOX"). Only what forms and message dialogs need so far.
#ifndef VCL_STDCTRLS_H
#define VCL_STDCTRLS_H

#include <vcl/Controls.h>

#include <memory>
#include <string>

namespace vcl {

// A push button. Pressing it (a click, or BM_CLICK from the desktop) sets its form's ModalResult to
// the button's ModalResult, then fires OnClick. Default makes it the default push button
// (BS_DEFPUSHBUTTON); Cancel marks the button Escape would press.
class TButton : public TWinControl {
  VCL_CLASS(TButton, TWinControl)
 public:
  explicit TButton(TComponent* AOwner);
  // Published: Caption, Default, Cancel, ModalResult (0), TabStop.
  static void DeclareProperties(TPropertyBuilder<TButton>& p);
  bool GetDefault() const { return default_; }
  void SetDefault(bool value);
  bool GetCancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  TModalResult GetModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  void Click() override;
  void CommandNotify(WORD code) override;

 protected:
  void CreateParams(TCreateParams& Params) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  TModalResult modalResult_ = mrNone;
};

// A static text. AutoSize (the default) sizes it to its text with the canvas metrics of TCanvas.
class TLabel : public TWinControl {
  VCL_CLASS(TLabel, TWinControl)
 public:
  explicit TLabel(TComponent* AOwner);
  // Published: Caption, AutoSize (true).
  static void DeclareProperties(TPropertyBuilder<TLabel>& p);
  bool GetAutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void TextChanged() override;

 private:
  void AdjustSize();
  bool autoSize_ = true;
};

// A one-line edit box. Text reads the window's contents; OnChange fires when they change
// (EN_CHANGE, also when the desktop types into it).
class TEdit : public TWinControl {
  VCL_CLASS(TEdit, TWinControl)
 public:
  explicit TEdit(TComponent* AOwner);
  // Published: Text, TabStop.
  static void DeclareProperties(TPropertyBuilder<TEdit>& p);
  void CommandNotify(WORD code) override;
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& Params) override;
};

// Shared by TListBox and TComboBox: a list of items mirrored into the window, and the selection.
class TCustomListControl : public TWinControl {
  VCL_CLASS(TCustomListControl, TWinControl)
 public:
  explicit TCustomListControl(TComponent* AOwner);
  ~TCustomListControl() override;
  // Published: Items, ItemIndex.
  static void DeclareProperties(TPropertyBuilder<TCustomListControl>& p);
  TStrings* GetItems() const { return items_.get(); }
  void SetItems(TStrings* value) { items_->Assign(value); }
  // -1 when nothing is selected; setting an index outside the list selects nothing.
  int GetItemIndex() const;
  void SetItemIndex(int value);

 protected:
  void HandleCreated() override;
  void SyncItems();
  virtual UINT MsgAdd() const = 0;
  virtual UINT MsgReset() const = 0;
  virtual UINT MsgGetSel() const = 0;
  virtual UINT MsgSetSel() const = 0;

 private:
  std::unique_ptr<TStringList> items_;
  int itemIndex_ = -1;
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

// A drop-down list (CBS_DROPDOWNLIST): Text is the selected item.
class TComboBox : public TCustomListControl {
  VCL_CLASS(TComboBox, TCustomListControl)
 public:
  explicit TComboBox(TComponent* AOwner);
  std::string GetText() const override;
  // CBN_SELCHANGE fires OnChange, then OnClick.
  void CommandNotify(WORD code) override;
  TNotifyEvent OnChange;

 protected:
  void CreateParams(TCreateParams& Params) override;
  UINT MsgAdd() const override { return CB_ADDSTRING; }
  UINT MsgReset() const override { return CB_RESETCONTENT; }
  UINT MsgGetSel() const override { return CB_GETCURSEL; }
  UINT MsgSetSel() const override { return CB_SETCURSEL; }
};

}  // namespace vcl

#endif
