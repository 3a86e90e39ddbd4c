// Message dialogs: ShowMessage and MessageDlg.
//
// A message dialog is a modal form of class "TMessageForm" with border style bsDialog (so the
// window carries WS_EX_DLGMODALFRAME and a desktop sees a dialog): its caption is the dialog type's
// ("Warning", "Error", "Information", "Confirm"; the application title for mtCustom), one STATIC
// with the message, and one BUTTON per requested button, in the order of TMsgDlgBtn, with the
// framework's captions ("&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore", "&All",
// "N&o to All", "Yes to &All", "&Help"). A test answers it with ScriptedDesktop::Press("OK") (or
// any other caption; '&' is ignored) or Close() (gives mrCancel).
//
// The file dialogs (TOpenDialog and its family) live in <vcl/FileDialogs.h>, which this header
// includes, as the framework's Dialogs unit holds both.
#ifndef VCL_DIALOGS_H
#define VCL_DIALOGS_H

#include <vcl/Forms.h>
#include <vcl/FileDialogs.h>

#include <string>

namespace vcl {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
VCL_ENUM_INFO(TMsgDlgType, mtWarning, mtError, mtInformation, mtConfirmation, mtCustom)
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
VCL_ENUM_INFO(TMsgDlgBtn, mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll,
              mbHelp)
using TMsgDlgButtons = Set<TMsgDlgBtn>;

inline const TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline const TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline const TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

// The dialog's caption for a type: "Warning", "Error", "Information", "Confirm"; "" for mtCustom.
std::string MsgDlgCaption(TMsgDlgType DlgType);
// A button's caption ("&Yes", ...) and the modal result it gives (mrYes, ...; 0 for mbHelp).
std::string MsgDlgButtonCaption(TMsgDlgBtn Button);
TModalResult MsgDlgButtonResult(TMsgDlgBtn Button);

// Builds the dialog without showing it; the caller owns it. The default button is OK, else Yes,
// else Retry (the first button when none of these is there); Cancel, else No, else OK is the
// cancel button. No buttons at all gives one OK button.
TForm* CreateMessageDialog(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);

// Shows a message dialog modally and returns the modal result of the button pressed (mrCancel when
// closed). HelpCtx becomes the dialog's HelpContext; the Help button asks Application->HelpContext
// and leaves the dialog open.
int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
// The same at a position (-1, -1: centred on the screen).
int MessageDlgPos(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y);

// A message dialog with the application title as caption and one "OK" button.
void ShowMessage(const std::string& Msg);
template <class... Args>
void ShowMessageFmt(std::string_view Fmt, const Args&... args) {
  ShowMessage(Format(Fmt, args...));
}

}  // namespace vcl

#endif
