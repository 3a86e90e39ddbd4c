// TApplication and TScreen, and the two global objects made when the library is loaded.
#include <vcl/ComCtrls.h>
#include <vcl/ExtCtrls.h>
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>
#include <vcl/TypInfo.h>

#include <exception>
#include <mutex>

namespace vcl {

VCL_IMPLEMENT_CLASS(TApplication, TComponent)
VCL_IMPLEMENT_CLASS(TScreen, TComponent)

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

std::string ProgramTitle() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(0, path, MAX_PATH);
  std::string name(path, n);
  const auto slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

// Made at load time so that the application window exists before any test starts counting windows,
// as it exists before any form in a program of the framework.
struct Globals {
  Globals() {
    // Form files name these classes; reading them needs them registered.
    RegisterClasses({&TForm::StaticClass(), &TButton::StaticClass(), &TCheckBox::StaticClass(), &TLabel::StaticClass(),
                     &TEdit::StaticClass(), &TListBox::StaticClass(), &TComboBox::StaticClass(),
                     &TImage::StaticClass(), &TPanel::StaticClass(), &TBevel::StaticClass(),
                     &TTrackBar::StaticClass(), &TPageControl::StaticClass(), &TTabSheet::StaticClass()});
    Screen = new TScreen(nullptr);
    Application = new TApplication(nullptr);
  }
  ~Globals() {
    delete Application;
    Application = nullptr;
    delete Screen;
    Screen = nullptr;
  }
} globals;

}  // namespace

// ---- TApplication -------------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner), title_(ProgramTitle()) {
  static std::once_flag registered;
  std::call_once(registered, [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.lpszClassName = "TApplication";
    RegisterClassA(&wc);
  });
  handle_ = CreateWindowExA(0, "TApplication", title_.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, 0, 0,
                            0, nullptr);
}

TApplication::~TApplication() {
  DestroyComponents();  // the forms first, while the application window they belong to still exists
  if (handle_) DestroyWindow(handle_);
}

void TApplication::SetTitle(const std::string& value) {
  title_ = value;
  if (handle_) SetWindowTextA(handle_, value.c_str());
}

void TApplication::FormCreated(TCustomForm* form) {
  if (!mainForm_) mainForm_ = form;
  try {
    form->AfterConstruction();
  } catch (...) {
    delete form;  // also leaves MainForm
    throw;
  }
}

TCustomForm* TApplication::CreateFormOf(const TMetaClass& InstanceClass) {
  TComponent* created = InstanceClass.CreateComponent(this);
  auto* form = dynamic_cast<TCustomForm*>(created);
  if (!form) {
    delete created;
    RaiseInvalidCast();
  }
  FormCreated(form);
  return form;
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, UINT Flags) {
  HWND owner = handle_;
  if (TCustomForm* f = Screen ? Screen->GetActiveForm() : nullptr)
    if (f->HandleAllocated()) owner = f->GetHandle();
  return MessageBoxA(owner, Text.c_str(), Caption.empty() ? nullptr : Caption.c_str(), Flags);
}

void TApplication::BringToFront() {
  TCustomForm* f = Screen ? Screen->GetActiveForm() : nullptr;
  if (!f) f = mainForm_;
  const HWND h = f && f->HandleAllocated() ? f->GetHandle() : handle_;
  BringWindowToTop(h);
  SetForegroundWindow(h);
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr current = std::current_exception();
  if (!current) return;
  try {
    std::rethrow_exception(current);
  } catch (const EAbort&) {
    // silent by design
  } catch (Exception& e) {
    if (OnException)
      OnException(Sender, &e);
    else
      ShowException(&e);
  } catch (const std::exception& e) {
    Exception wrapped(e.what());
    if (OnException)
      OnException(Sender, &wrapped);
    else
      ShowException(&wrapped);
  } catch (...) {
    Exception wrapped("Unknown exception");
    if (OnException)
      OnException(Sender, &wrapped);
    else
      ShowException(&wrapped);
  }
}

void TApplication::ShowException(const Exception* E) {
  std::string msg = E ? E->Message() : std::string();
  // The framework ends the text with a period unless it already ends in punctuation.
  if (!msg.empty() && static_cast<unsigned char>(msg.back()) > '.') msg += '.';
  MessageBox(msg, title_, MB_OK | MB_ICONSTOP);
}

bool TApplication::ProcessMessage() {
  MSG msg{};
  if (!PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return true;
  }
  try {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  } catch (const Exception&) {
    HandleException(this);
  }
  return true;
}

void TApplication::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

void TApplication::HandleMessage() {
  try {
    MSG msg{};
    // The desktop may act (and a handler may raise) inside the wait itself.
    const BOOL r = GetMessageA(&msg, 0, 0, 0);
    if (r == 0) {
      terminated_ = true;
      return;
    }
    if (r == -1) throw EInvalidOperation("GetMessageA failed");
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  } catch (const Exception&) {
    HandleException(this);
  }
}

void TApplication::Run() {
  if (mainForm_ && ShowMainForm) mainForm_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::Terminate() { PostQuitMessage(0); }

bool TApplication::HelpContext(int Context) {
  bool callHelp = true;
  return OnHelp ? OnHelp(0x0008 /* HELP_CONTEXT */, Context, callHelp) : false;
}

// ---- TScreen ------------------------------------------------------------------------------------

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}

TCustomForm* TScreen::GetActiveForm() const {
  const HWND active = GetActiveWindow();
  for (TCustomForm* f : forms_)
    if (active && f->HandleAllocated() && f->GetHandle() == active && f->GetVisible()) return f;
  for (auto it = forms_.rbegin(); it != forms_.rend(); ++it)
    if ((*it)->GetVisible()) return *it;
  return nullptr;
}

TCustomForm* TScreen::Forms(int index) const {
  if (index < 0 || index >= GetFormCount())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return forms_[static_cast<size_t>(index)];
}

}  // namespace vcl
