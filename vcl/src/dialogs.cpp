// Message dialogs built as ordinary forms, so that the desktop sees a caption, a text and buttons.
#include <vcl/Dialogs.h>
#include <vcl/StdCtrls.h>
#include <vcl/TypInfo.h>

#include <algorithm>
#include <memory>

namespace vcl {

namespace {

class TMessageForm : public TForm {
  VCL_CLASS(TMessageForm, TForm)
 public:
  explicit TMessageForm(TComponent* AOwner) : TForm(AOwner) {}
};

constexpr TMsgDlgBtn kAllButtons[] = {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry,
                                      mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp};
const char* const kButtonNames[] = {"Yes", "No", "OK", "Cancel", "Abort", "Retry",
                                    "Ignore", "All", "NoToAll", "YesToAll", "Help"};

constexpr int kMargin = 8, kButtonWidth = 75, kButtonHeight = 25, kButtonSpacing = 4;

}  // namespace

VCL_IMPLEMENT_CLASS(TMessageForm, TForm)

std::string MsgDlgCaption(TMsgDlgType DlgType) {
  switch (DlgType) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    default: return "";
  }
}

std::string MsgDlgButtonCaption(TMsgDlgBtn Button) {
  switch (Button) {
    case mbYes: return "&Yes";
    case mbNo: return "&No";
    case mbOK: return "OK";
    case mbCancel: return "Cancel";
    case mbAbort: return "&Abort";
    case mbRetry: return "&Retry";
    case mbIgnore: return "&Ignore";
    case mbAll: return "&All";
    case mbNoToAll: return "N&o to All";
    case mbYesToAll: return "Yes to &All";
    case mbHelp: return "&Help";
  }
  return "";
}

TModalResult MsgDlgButtonResult(TMsgDlgBtn Button) {
  switch (Button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrNone;
  }
  return mrNone;
}

TForm* CreateMessageDialog(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons) {
  if (Buttons.Empty()) Buttons = TMsgDlgButtons{mbOK};
  auto form = std::make_unique<TMessageForm>(Application);
  form->SetBorderStyle(bsDialog);
  form->SetPosition(poScreenCenter);
  const std::string caption = MsgDlgCaption(DlgType);
  form->SetCaption(caption.empty() && Application ? Application->GetTitle() : caption);

  auto* text = new TLabel(form.get());
  text->SetName("Message");
  text->SetParent(form.get());
  text->SetCaption(Msg);
  text->SetBounds(kMargin, kMargin, text->GetWidth(), text->GetHeight());

  TMsgDlgBtn defaultButton = Buttons.Contains(mbOK) ? mbOK : Buttons.Contains(mbYes) ? mbYes : mbRetry;
  if (!Buttons.Contains(defaultButton))
    for (TMsgDlgBtn b : kAllButtons)
      if (Buttons.Contains(b)) {
        defaultButton = b;
        break;
      }
  const TMsgDlgBtn cancelButton = Buttons.Contains(mbCancel) ? mbCancel : Buttons.Contains(mbNo) ? mbNo : mbOK;

  int count = 0;
  for (TMsgDlgBtn b : kAllButtons) count += Buttons.Contains(b) ? 1 : 0;
  const int buttonsWidth = count * kButtonWidth + (count - 1) * kButtonSpacing;
  const int clientWidth = std::max(text->GetWidth(), buttonsWidth) + 2 * kMargin;
  const int buttonTop = text->GetTop() + text->GetHeight() + 2 * kMargin;
  // The text and the buttons lie in the client area, inside the dialog's frame and caption bar.
  form->SetClientWidth(clientWidth);
  form->SetClientHeight(buttonTop + kButtonHeight + kMargin);

  int x = (clientWidth - buttonsWidth) / 2;
  for (size_t i = 0; i < std::size(kAllButtons); ++i) {
    const TMsgDlgBtn b = kAllButtons[i];
    if (!Buttons.Contains(b)) continue;
    auto* button = new TButton(form.get());
    button->SetName(kButtonNames[i]);
    button->SetParent(form.get());
    button->SetCaption(MsgDlgButtonCaption(b));
    button->SetModalResult(MsgDlgButtonResult(b));
    button->SetDefault(b == defaultButton);
    button->SetCancel(b == cancelButton);
    button->SetBounds(x, buttonTop, kButtonWidth, kButtonHeight);
    if (b == mbHelp) {
      TForm* f = form.get();
      button->OnClick = [f](TObject*) {
        if (Application) Application->HelpContext(f->GetHelpContext());
      };
    }
    x += kButtonWidth + kButtonSpacing;
  }
  return form.release();
}

int MessageDlgPos(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y) {
  std::unique_ptr<TForm> dialog(CreateMessageDialog(Msg, DlgType, Buttons));
  dialog->SetHelpContext(HelpCtx);
  if (X >= 0) {
    dialog->SetPosition(poDesigned);
    dialog->SetLeft(X);
  }
  if (Y >= 0) {
    dialog->SetPosition(poDesigned);
    dialog->SetTop(Y);
  }
  return dialog->ShowModal();
}

int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
  return MessageDlgPos(Msg, DlgType, Buttons, HelpCtx, -1, -1);
}

void ShowMessage(const std::string& Msg) { MessageDlgPos(Msg, mtCustom, TMsgDlgButtons{mbOK}, 0, -1, -1); }

}  // namespace vcl
