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
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
VCL_ENUM_INFO(TBorderIcon, biSystemMenu, biMinimize, biMaximize, biHelp)
using TBorderIcons = Set<TBorderIcon>;
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
VCL_ENUM_INFO(TWindowState, wsNormal, wsMinimized, wsMaximized)

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

// A top-level window with a caption and border: showing (also modally), closing with
// OnCloseQuery/OnClose, the form events from OnCreate to OnDestroy, and the focus among its controls.
//
// A form class with a form resource (a form file compiled into its module, see
// TFormResourceRegistration) reads it once its object is complete: properties, controls at any
// depth, published fields (DeclareField) and event handlers (DeclareHandler) bound by name. C++
// cannot read it in TCustomForm's constructor (the derived members do not exist yet), so a derived
// constructor ends with InitInherited(), or the form reads it in AfterConstruction, which
// Application->CreateForm calls (and the first Show or ShowModal).
//
// Width and Height include the frame of the border style (AdjustWindowRectEx: bsDialog adds 3 on
// each side and a 19-pixel caption); ClientWidth and ClientHeight are the inside, where the controls
// sit, and are what form files store.
class TCustomForm : public TWinControl {
  VCL_CLASS(TCustomForm, TWinControl)
 public:
  explicit TCustomForm(TComponent* AOwner);
  // Fires OnDestroy, then destroys the window and the child controls.
  ~TCustomForm() override;
  // Published: ActiveControl, BorderIcons, BorderStyle (bsSizeable), Caption, ClientWidth,
  // ClientHeight, FormStyle (fsNormal), HelpContext, KeyPreview, OldCreateOrder, PixelsPerInch,
  // Position (poDesigned), Scaled, TextHeight, Visible (false), WindowState, and the events OnCreate,
  // OnShow, OnHide, OnClose, OnCloseQuery, OnDestroy. Width and Height are not written.
  static void DeclareProperties(TPropertyBuilder<TCustomForm>& p);

  // Reads the form resources of the form's class chain (InitInheritedComponent), once; true when
  // there was one. A derived constructor calls it as its last step.
  bool InitInherited();
  // Reads the form resources (InitInherited) and fires OnCreate, once. Application->CreateForm
  // calls it; otherwise the first Show or ShowModal.
  void AfterConstruction();

  TRect GetClientRect() const override;

  TFormBorderStyle GetBorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle value);
  TFormStyle GetFormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle value) { formStyle_ = value; }
  TPosition GetPosition() const { return position_; }
  void SetPosition(TPosition value) { position_ = value; }
  int GetHelpContext() const { return helpContext_; }
  void SetHelpContext(int value) { helpContext_ = value; }
  TBorderIcons GetBorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons value) { borderIcons_ = value; }
  TWindowState GetWindowState() const { return windowState_; }
  void SetWindowState(TWindowState value) { windowState_ = value; }
  bool GetKeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool value) { keyPreview_ = value; }

  // The control that has (or, while the form is not active, will get) the focus. Setting it on a
  // shown form moves the focus there.
  TWinControl* GetActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* value);
  // Moves the form's focus record to the control (the platform already gave it the focus): OnExit
  // fires on the control that had it and on each container it leaves, then OnEnter on the new one.
  void SetFocusedControl(TWinControl* Control);
  // A control is going away (freed, or taken out of the form): the form forgets it.
  void ControlGoing(TWinControl* Control);
  // Keys the form handles for its controls: Tab (Shift+Tab) moves through the tab order, Return
  // presses the focused or the default button, Escape the cancel button. True when handled.
  bool DialogKey(TWinControl* From, int VirtualKey);
  // Alt+key: offered to every visible, enabled control (DialogChar) until one takes it.
  bool DialogChar(char Key) override;

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
  // Creates the windows, then tells the desktop which control each label names.
  void CreateWnd() override;
  void DoClose(TCloseAction& Action);

 private:
  bool CloseModal();
  // Gives the focus to the active control, else the first control in tab order, else the form.
  void SetWindowFocus();
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TWindowState windowState_ = wsNormal;
  bool keyPreview_ = false;
  bool oldCreateOrder_ = false;
  bool scaled_ = true;
  int pixelsPerInch_ = 96;
  int textHeight_ = 13;
  bool resourceRead_ = false;
  TWinControl* activeControl_ = nullptr;
  TWinControl* focusedControl_ = nullptr;
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

  // Creates a form owned by the application, reads its form resource and fires its OnCreate; the
  // first becomes MainForm. When the constructor, the resource or OnCreate raises, the form is freed,
  // Reference is nullptr and the exception passes, as in the framework.
  template <class T>
  void CreateForm(T*& Reference) {
    Reference = nullptr;
    T* form = new T(this);
    FormCreated(form);  // frees the form when it raises
    Reference = form;
  }
  // The same with the class given at run time (Application->CreateForm(TFoo::StaticClass(), Foo)):
  // InstanceClass must be a registered form class that derives from T (EInvalidCast otherwise).
  template <class T>
  void CreateForm(const TMetaClass& InstanceClass, T*& Reference) {
    Reference = nullptr;
    TCustomForm* form = CreateFormOf(InstanceClass);  // frees the form when it raises
    T* typed = dynamic_cast<T*>(form);
    if (!typed) {
      delete form;
      RaiseInvalidCast();
    }
    Reference = typed;
  }
  template <class T>
  void CreateForm(TClass InstanceClass, T*& Reference) {
    if (!InstanceClass) throw EInvalidOperation("CreateForm needs a class");
    CreateForm(*InstanceClass, Reference);
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
  TCustomForm* CreateFormOf(const TMetaClass& InstanceClass);
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
