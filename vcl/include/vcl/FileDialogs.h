// The file dialogs of the Dialogs unit: TOpenDialog, TSaveDialog and, with a picture preview,
// TOpenPictureDialog and TSavePictureDialog.
//
// Execute shows the dialog through the platform desktop as a person would see it: a top-level
// "#32770" window with WS_EX_DLGMODALFRAME, the caption Title ("Open" / "Save As" when empty), an
// EDIT (id edt1) with the file name without its folder, a drop-down COMBOBOX (id cmb1) listing the
// file types (the descriptions of Filter), the default button "&Open" / "&Save" (IDOK) and "Cancel"
// (IDCANCEL). A test drives it with ScriptedDesktop: Pick("Bitmap (*.bmp)") chooses a file type
// (the type-change notification runs), Type("scan.bmp") fills the name box, Press("Save") or
// Press("Cancel") ends it; korven::platform::ReadText(window, edt1) reads the box at any moment.
//
// Folders. The dialog works in one folder: the folder of FileName when it has one, else InitialDir,
// else the current working directory (a relative folder counts from InitialDir or the working
// directory). A name typed without a folder is joined with it, so FileName is always a full path
// after a successful Execute; a typed absolute or relative path is kept. A typed name that is an
// existing folder becomes the dialog's folder and the box is emptied (the dialog stays open).
// Paths use '/'; the working directory is never changed (ofNoChangeDir is always in effect).
#ifndef VCL_FILEDIALOGS_H
#define VCL_FILEDIALOGS_H

#include <vcl/Classes.h>
#include <vcl/Forms.h>
#include <windows.h>

#include <memory>
#include <string>

namespace vcl {

// The framework's options of the file dialogs. Those with an effect here: ofReadOnly (in: the
// read-only box starts checked; out: its state), ofOverwritePrompt, ofHideReadOnly (no read-only
// check box), ofPathMustExist, ofFileMustExist, ofCreatePrompt and ofExtensionDifferent (out: the
// chosen name's extension differs from DefaultExt). The rest are accepted and kept, without effect.
enum TOpenOption { ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp, ofNoValidate,
                   ofAllowMultiSelect, ofExtensionDifferent, ofPathMustExist, ofFileMustExist, ofCreatePrompt,
                   ofShareAware, ofNoReadOnlyReturn, ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames,
                   ofOldStyleDialog, ofNoDereferenceLinks, ofEnableIncludeNotify, ofEnableSizing };
VCL_ENUM_INFO(TOpenOption, ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp, ofNoValidate,
              ofAllowMultiSelect, ofExtensionDifferent, ofPathMustExist, ofFileMustExist, ofCreatePrompt,
              ofShareAware, ofNoReadOnlyReturn, ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames,
              ofOldStyleDialog, ofNoDereferenceLinks, ofEnableIncludeNotify, ofEnableSizing)
using TOpenOptions = Set<TOpenOption>;

// Control ids of the file dialogs beyond edt1 and cmb1 of <windows.h>.
constexpr int kFileDlgReadOnlyId = 0x0410;  // chx1: "Open as &read-only"
constexpr int kFileDlgFolderId = 0x0440;    // stc1: the folder the dialog works in
constexpr int kFileDlgPreviewId = 0x0444;   // stc5: the picture dialogs' preview text

// A dialog shown by Execute. Published: HelpContext (default 0), OnClose, OnShow.
class TCommonDialog : public TComponent {
  VCL_CLASS(TCommonDialog, TComponent)
 public:
  explicit TCommonDialog(TComponent* AOwner);
  static void DeclareProperties(TPropertyBuilder<TCommonDialog>& p);

  // Shows the dialog modally; true when the user confirmed it.
  virtual bool Execute() = 0;

  // While the dialog is open, its hook window (a hidden child of the visible dialog window, which
  // GetParent gives); 0 otherwise.
  HWND GetHandle() const { return handle_; }
  HWND Handle() const { return handle_; }
  int GetHelpContext() const { return helpContext_; }
  void SetHelpContext(int value) { helpContext_ = value; }

  // OnShow runs when the dialog window has been shown, OnClose when it ends (not when an exception
  // passes out of Execute).
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 protected:
  virtual void DoShow();
  virtual void DoClose();
  HWND handle_ = 0;

 private:
  int helpContext_ = 0;
};

// The open dialog. Published: DefaultExt, FileName, Filter, FilterIndex (default 1), InitialDir,
// Options (default [ofHideReadOnly, ofEnableSizing]), Title, OnCanClose, OnTypeChange.
//
// Filter alternates descriptions and mask lists separated by '|' ("Bitmap (*.bmp)|*.bmp|All|*.*"),
// split on whole characters of the active code page; a description without masks is left out.
// FilterIndex counts the types from 1; an index outside them selects no type when the dialog opens
// (and FilterIndex keeps its value until the user picks one).
class TOpenDialog : public TCommonDialog {
  VCL_CLASS(TOpenDialog, TCommonDialog)
 public:
  explicit TOpenDialog(TComponent* AOwner);
  ~TOpenDialog() override;
  static void DeclareProperties(TPropertyBuilder<TOpenDialog>& p);

  // Runs the dialog with its own message loop (GetMessageA) until the user confirms or cancels.
  // The visible, enabled top-level windows of the thread are disabled meanwhile and the active
  // window comes back afterwards, on every path (an exception from the desktop passes out after
  // that). On true, FileName is the chosen full path, FilterIndex the chosen type, Files holds the
  // name, and ofReadOnly/ofExtensionDifferent in Options report the outcome. On false (Cancel, the
  // close box, WM_QUIT, which is posted again) nothing stored changes. Exceptions that handlers
  // raise inside the loop go to Application->HandleException. A dialog already open returns false;
  // a handler must not free the dialog while it is open.
  bool Execute() override;

  // While open: the full path the name box now gives ("" when the box is empty); otherwise the
  // stored name.
  std::string GetFileName() const;
  void SetFileName(const std::string& value) { fileName_ = value; }
  const std::string& GetFilter() const { return filter_; }
  void SetFilter(const std::string& value) { filter_ = value; }
  // While open: the type selected in the window (the stored index while none is); otherwise the
  // stored index. Writing stores the index used when the dialog next opens.
  int GetFilterIndex() const;
  void SetFilterIndex(int value) { filterIndex_ = value; }
  const std::string& GetInitialDir() const { return initialDir_; }
  void SetInitialDir(const std::string& value) { initialDir_ = value; }
  // Appended (with a dot; a leading dot given here is not doubled) to a chosen name without extension.
  const std::string& GetDefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const std::string& value) { defaultExt_ = value; }
  const std::string& GetTitle() const { return title_; }
  void SetTitle(const std::string& value) { title_ = value; }
  TOpenOptions GetOptions() const { return options_; }
  void SetOptions(TOpenOptions value) { options_ = value; }
  // The chosen names after a successful Execute (one; multiple selection is not offered).
  TStrings* GetFiles() const { return files_.get(); }
  // While open: the folder the dialog works in; otherwise "".
  std::string GetFolder() const;

  // Raised by DoTypeChange after the user picked another file type (FilterIndex already reads it).
  TNotifyEvent OnTypeChange;
  // Asked when the user confirms, before the name is checked; CanClose false keeps the dialog open.
  TCloseQueryEvent OnCanClose;

 protected:
  // The type-change notification: raises OnTypeChange. Called while the dialog is open.
  virtual void DoTypeChange();
  // Called while the dialog is open when the user confirms a non-empty name; false keeps it open.
  // The name box may be rewritten here: the dialog reads it again afterwards.
  virtual bool DoCanClose();
  // The name box changed (typed, or set with CDM_SETCONTROLTEXT). Used by the picture dialogs.
  virtual void DoSelectionChange() {}
  // Adds controls of a derived dialog to the dialog window before it is shown.
  virtual void CreateExtraControls(HWND dialog) { (void)dialog; }

  // Runs the dialog as an open (save false) or a save dialog.
  bool DoExecute(bool save);

 private:
  struct Session;
  friend struct Session;
  static LRESULT CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  std::string fileName_;
  std::string filter_;
  int filterIndex_ = 1;
  std::string initialDir_;
  std::string defaultExt_;
  std::string title_;
  TOpenOptions options_{ofHideReadOnly, ofEnableSizing};
  std::unique_ptr<TStringList> files_;
  Session* session_ = nullptr;  // the running dialog, on Execute's stack
};

// The save dialog: caption "Save As", button "&Save"; with ofOverwritePrompt an existing file is
// confirmed (MessageBoxA "<path> already exists. Do you want to replace it?", Yes/No) first.
class TSaveDialog : public TOpenDialog {
  VCL_CLASS(TSaveDialog, TOpenDialog)
 public:
  explicit TSaveDialog(TComponent* AOwner);
  bool Execute() override;
};

// The open dialog with a preview area. Nothing is drawn here: the preview is a STATIC (id
// kFileDlgPreviewId) that reads "(None)", or the picture's size "(640x480)" when the name box names
// a picture file the framework can load. Filter starts as the framework's picture filter
// ("All (*.bmp)|*.bmp|Bitmaps (*.bmp)|*.bmp").
class TOpenPictureDialog : public TOpenDialog {
  VCL_CLASS(TOpenPictureDialog, TOpenDialog)
 public:
  explicit TOpenPictureDialog(TComponent* AOwner);
  // The preview's text now ("" while the dialog is closed).
  std::string PreviewText() const;

 protected:
  void DoSelectionChange() override;
  void CreateExtraControls(HWND dialog) override;

 private:
  HWND preview_ = 0;
};

// The save dialog with the picture preview.
class TSavePictureDialog : public TOpenPictureDialog {
  VCL_CLASS(TSavePictureDialog, TOpenPictureDialog)
 public:
  explicit TSavePictureDialog(TComponent* AOwner);
  bool Execute() override;
};

}  // namespace vcl

#endif
