// Forms, the application object and the screen.
//
// A form is a top-level window of a class the framework registers (named after the form's C++
// class), owned by the application's hidden window. Showing it makes it visible to the desktop of
// <korven/desktop.h>; ShowModal runs its own message loop (GetMessageA, TranslateMessage,
// DispatchMessageA) until ModalResult is set, so a ScriptedDesktop answers it by pressing one of its
// buttons or closing it.
#ifndef VCL_FORMS_H
#define VCL_FORMS_H

#include <vcl/Controls.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vcl {

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
VCL_ENUM_INFO(TFormBorderStyle, bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin)
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
VCL_ENUM_INFO(TFormStyle, fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop)
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
                 poMainFormCenter, poOwnerFormCenter };
VCL_ENUM_INFO(TPosition, poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
              poDesktopCenter, poMainFormCenter, poOwnerFormCenter)
enum TCloseAction { caNone, caHide, caFree, caMinimize };
VCL_ENUM_INFO(TCloseAction, caNone, caHide, caFree, caMinimize)

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A top-level window with a caption and border: showing (also modally), closing with
// OnCloseQuery/OnClose, and the form events from OnCreate to OnDestroy.
class TCustomForm : public TWinControl {
  VCL_CLASS(TCustomForm, TWinControl)
 public:
  explicit TCustomForm(TComponent* AOwner);
  // Fires OnDestroy, then destroys the window and the child controls.
  ~TCustomForm() override;
  // Published: Caption, BorderStyle (bsSizeable), FormStyle (fsNormal), Position (poDesigned),
  // and the events OnCreate, OnShow, OnHide, OnClose, OnCloseQuery, OnDestroy.
  static void DeclareProperties(TPropertyBuilder<TCustomForm>& p);

  // Fires OnCreate once. Application->CreateForm calls it; otherwise the first Show or ShowModal.
  void AfterConstruction();

  TFormBorderStyle GetBorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle value);
  TFormStyle GetFormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle value) { formStyle_ = value; }
  TPosition GetPosition() const { return position_; }
  void SetPosition(TPosition value) { position_ = value; }
  int GetHelpContext() const { return helpContext_; }
  void SetHelpContext(int value) { helpContext_ = value; }

  // Shows the form (fires OnShow) and activates it.
  void Show();
  void Hide();
  void SetVisible(bool value) override;
  void SetFocus() override;

  // Shows the form modally: disables the other visible windows of the thread, runs the message
  // loop until ModalResult is non-zero (and OnCloseQuery/OnClose agree), hides the form and gives
  // every window back its enabled state, also when an exception passes. Exceptions raised by
  // handlers inside the loop go to Application->HandleException and the loop goes on; others (a
  // stalled scripted desktop) pass after the cleanup. A WM_QUIT ends it with mrCancel and leaves
  // Application->Terminated set. Raises EInvalidOperation "Cannot make a visible window modal" for
  // a visible or disabled form.
  TModalResult ShowModal();
  TModalResult GetModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  bool Modal() const { return modal_; }

  // A modal form: sets ModalResult to mrCancel. Otherwise asks OnCloseQuery, then OnClose with
  // caHide; caHide hides, caFree releases the form (deleted from the message loop), caNone keeps it.
  void Close();
  virtual bool CloseQuery();
  // Deletes the form once the messages now queued for it have been handled.
  void Release();

  // The form's canvas has no pixels: it measures text (TextExtent) and ignores drawing.
  TCanvas* GetCanvas();

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;
  // Form writing: the child controls first, then the components the form owns that sit on no
  // parent (non-visual components such as a TScanner).
  void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void DoClose(TCloseAction& Action);

 private:
  bool CloseModal();
  TFormBorderStyle borderStyle_ = bsSizeable;
  TFormStyle formStyle_ = fsNormal;
  TPosition position_ = poDesigned;
  TModalResult modalResult_ = mrNone;
  int helpContext_ = 0;
  bool modal_ = false;
  bool created_ = false;
  std::unique_ptr<TCanvas> canvas_;
};

// The form class applications derive from or create; nothing beyond TCustomForm.
class TForm : public TCustomForm {
  VCL_CLASS(TForm, TCustomForm)
 public:
  explicit TForm(TComponent* AOwner);
};

using TExceptionEvent = std::function<void(TObject* Sender, Exception* E)>;
using THelpEvent = std::function<bool(uint16_t Command, int Data, bool& CallHelp)>;

// The application: its hidden window, its title, its forms (it owns what CreateForm makes) and the
// message loop helpers. One instance, vcl::Application, made when the library is loaded.
class TApplication : public TComponent {
  VCL_CLASS(TApplication, TComponent)
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // The hidden application window (class "TApplication").
  HWND GetHandle() const { return handle_; }
  HWND Handle() const { return handle_; }
  // The program's file name without directory and extension unless set.
  const std::string& GetTitle() const { return title_; }
  void SetTitle(const std::string& value);
  TCustomForm* GetMainForm() const { return mainForm_; }
  bool GetTerminated() const { return terminated_; }
  bool Terminated() const { return terminated_; }
  bool ShowMainForm = true;

  // Creates a form owned by the application, fires its OnCreate; the first becomes MainForm.
  template <class T>
  void CreateForm(T*& Reference) {
    Reference = new T(this);
    FormCreated(Reference);
  }

  // MessageBoxA with the active form (or the application window) as owner; Caption "" gives the
  // title. Returns IDOK, IDCANCEL, ...
  int MessageBox(const std::string& Text, const std::string& Caption = "", UINT Flags = MB_OK);
  // Brings the active form (or the main form) to the top and to the foreground.
  void BringToFront();
  // Called inside a catch block: OnException when set, otherwise ShowException. EAbort is silent.
  void HandleException(TObject* Sender);
  // Shows the message in a message box with the title as caption and MB_ICONSTOP.
  void ShowException(const Exception* E);

  // Handles every message queued now, without waiting. WM_QUIT sets Terminated.
  void ProcessMessages();
  // Waits for one message (the desktop may act meanwhile) and handles it; handler exceptions go
  // to HandleException.
  void HandleMessage();
  // Shows the main form and handles messages until Terminate (WM_QUIT).
  void Run();
  // Posts WM_QUIT.
  void Terminate();
  // Asks OnHelp about a help context; false when nobody answers.
  bool HelpContext(int Context);
  void Initialize() {}

  TExceptionEvent OnException;
  THelpEvent OnHelp;

 private:
  void FormCreated(TCustomForm* form);
  bool ProcessMessage();
  friend class TCustomForm;
  HWND handle_ = 0;
  std::string title_;
  TCustomForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

// The forms that exist and which one is active.
class TScreen : public TComponent {
  VCL_CLASS(TScreen, TComponent)
 public:
  explicit TScreen(TComponent* AOwner);
  // The form whose window is active, else the most recently shown visible form; nullptr when none.
  TCustomForm* GetActiveForm() const;
  TCustomForm* ActiveForm() const { return GetActiveForm(); }
  int GetFormCount() const { return static_cast<int>(forms_.size()); }
  int FormCount() const { return GetFormCount(); }
  // EListError outside 0..FormCount()-1.
  TCustomForm* Forms(int index) const;
  // Fixed metrics (no real screen): 1024 x 768 at 96 pixels per inch.
  int GetWidth() const { return 1024; }
  int GetHeight() const { return 768; }
  int GetPixelsPerInch() const { return 96; }

 private:
  friend class TCustomForm;
  std::vector<TCustomForm*> forms_;  // most recently shown or created last
};

extern TApplication* Application;
extern TScreen* Screen;

}  // namespace vcl

#endif
