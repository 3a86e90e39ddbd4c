// TCustomForm and TForm: top-level windows, showing, closing and the modal loop.
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>
#include <vcl/TypInfo.h>

#include <algorithm>

namespace vcl {

VCL_IMPLEMENT_CLASS(TCustomForm, TWinControl)
VCL_IMPLEMENT_CLASS(TForm, TCustomForm)

namespace {
// Posted to a form by Release; the form deletes itself when it arrives.
constexpr UINT CM_RELEASE = 0xB000 + 33;

// The visible, enabled top-level windows of this thread, which a modal form disables while it runs.
BOOL CALLBACK CollectTaskWindow(HWND h, LPARAM param) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(param);
  if (GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId() && IsWindowVisible(h) && IsWindowEnabled(h))
    list->push_back(h);
  return TRUE;
}
}  // namespace

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  visible_ = false;
  width_ = 320;
  height_ = 240;
  InitLook(clBtnFace, false, false);
  if (Screen) Screen->forms_.push_back(this);
}

TCustomForm::~TCustomForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      if (Application) Application->HandleException(this);
    }
  }
  if (Screen) {
    auto& forms = Screen->forms_;
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  }
  if (Application && Application->mainForm_ == this) Application->mainForm_ = nullptr;
  // The window and the child controls go in ~TWinControl.
}

void TCustomForm::DeclareProperties(TPropertyBuilder<TCustomForm>& p) {
  // A form file keeps the client size; the outer size follows from it and the border style.
  p.Property("Width", &TCustomForm::GetWidth, &TCustomForm::SetWidth).Stored(false);
  p.Property("Height", &TCustomForm::GetHeight, &TCustomForm::SetHeight).Stored(false);
  p.Property("Visible", &TCustomForm::GetVisible, &TCustomForm::SetVisible).Default(false);
  p.Property("ActiveControl", &TCustomForm::GetActiveControl, &TCustomForm::SetActiveControl);
  p.Property("BorderIcons", &TCustomForm::GetBorderIcons, &TCustomForm::SetBorderIcons)
      .Default(TBorderIcons{biSystemMenu, biMinimize, biMaximize});
  p.Property("BorderStyle", &TCustomForm::GetBorderStyle, &TCustomForm::SetBorderStyle).Default(bsSizeable);
  p.Property("Caption", &TCustomForm::GetCaption, &TCustomForm::SetCaption);
  // Written after the border style, which decides the frame around them.
  p.Property("ClientHeight", &TCustomForm::GetClientHeight, &TCustomForm::SetClientHeight);
  p.Property("ClientWidth", &TCustomForm::GetClientWidth, &TCustomForm::SetClientWidth);
  p.Property("FormStyle", &TCustomForm::GetFormStyle, &TCustomForm::SetFormStyle).Default(fsNormal);
  p.Property("HelpContext", &TCustomForm::GetHelpContext, &TCustomForm::SetHelpContext).Default(0);
  p.Property("KeyPreview", &TCustomForm::GetKeyPreview, &TCustomForm::SetKeyPreview).Default(false);
  // Kept for form files; they change nothing here (OnCreate always fires after the resource is read,
  // and there is one screen at 96 pixels per inch).
  p.Property("OldCreateOrder", &TCustomForm::oldCreateOrder_, &TCustomForm::oldCreateOrder_).Default(false);
  p.Property("PixelsPerInch", &TCustomForm::pixelsPerInch_, &TCustomForm::pixelsPerInch_);
  p.Property("Scaled", &TCustomForm::scaled_, &TCustomForm::scaled_).Default(true);
  p.Property("TextHeight", &TCustomForm::textHeight_, &TCustomForm::textHeight_);
  p.Property("WindowState", &TCustomForm::GetWindowState, &TCustomForm::SetWindowState).Default(wsNormal);
  p.Property("Position", &TCustomForm::GetPosition, &TCustomForm::SetPosition).Default(poDesigned);
  p.Property("OnClose", &TCustomForm::OnClose, &TCustomForm::OnClose).TypeName("TCloseEvent");
  p.Property("OnCloseQuery", &TCustomForm::OnCloseQuery, &TCustomForm::OnCloseQuery).TypeName("TCloseQueryEvent");
  p.Property("OnCreate", &TCustomForm::OnCreate, &TCustomForm::OnCreate).TypeName("TNotifyEvent");
  p.Property("OnDestroy", &TCustomForm::OnDestroy, &TCustomForm::OnDestroy).TypeName("TNotifyEvent");
  p.Property("OnHide", &TCustomForm::OnHide, &TCustomForm::OnHide).TypeName("TNotifyEvent");
  p.Property("OnShow", &TCustomForm::OnShow, &TCustomForm::OnShow).TypeName("TNotifyEvent");
}

bool TCustomForm::InitInherited() {
  if (resourceRead_) return false;
  resourceRead_ = true;
  return InitInheritedComponent(this, InheritsFrom(TForm::StaticClass()) ? TForm::StaticClass()
                                                                         : TCustomForm::StaticClass());
}

void TCustomForm::AfterConstruction() {
  if (created_) return;
  created_ = true;
  InitInherited();
  if (OnCreate) OnCreate(this);
}

TRect TCustomForm::GetClientRect() const {
  TCreateParams params;
  const_cast<TCustomForm*>(this)->CreateParams(params);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, params.Style, FALSE, params.ExStyle);
  return Rect(0, 0, std::max(0, width_ - (frame.right - frame.left)), std::max(0, height_ - (frame.bottom - frame.top)));
}

void TCustomForm::SetActiveControl(TWinControl* value) {
  if (value == activeControl_) return;
  if (value && !ContainsControl(value)) throw EInvalidOperation("Invalid property value");
  activeControl_ = value;
  if (value && !Loading() && handle_ && IsWindowVisible(handle_) && value->CanFocus()) value->SetFocus();
}

void TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (!Control || Control == this || Control == focusedControl_ || !ContainsControl(Control)) return;
  TWinControl* old = focusedControl_;
  focusedControl_ = Control;
  activeControl_ = Control;
  // Exits from the control that had the focus up through the containers the focus leaves, then
  // enters from the outermost container it comes into down to the control.
  for (TWinControl* p = old; p && p != this && !p->ContainsControl(Control); p = p->GetParent()) p->DoExit();
  std::vector<TWinControl*> entered;
  for (TWinControl* p = Control; p && p != this && !(old && p->ContainsControl(old)); p = p->GetParent())
    entered.push_back(p);
  for (auto it = entered.rbegin(); it != entered.rend(); ++it) (*it)->DoEnter();
}

void TCustomForm::ControlGoing(TWinControl* Control) {
  if (!Control) return;
  if (focusedControl_ && Control->ContainsControl(focusedControl_)) focusedControl_ = nullptr;
  if (activeControl_ && Control->ContainsControl(activeControl_)) activeControl_ = nullptr;
}

void TCustomForm::SetWindowFocus() {
  if (!handle_ || !IsWindowVisible(handle_) || !IsWindowEnabled(handle_)) return;
  TWinControl* target = activeControl_ && activeControl_->CanFocus() ? activeControl_ : FindNextControl(nullptr, true, true);
  ::SetFocus(target ? target->GetHandle() : handle_);
}

bool TCustomForm::DialogKey(TWinControl* From, int VirtualKey) {
  switch (VirtualKey) {
    case VK_TAB:
      SelectNext(From, GetKeyState(VK_SHIFT) >= 0, true);
      return true;
    case VK_RETURN:
    case VK_ESCAPE: {
      if (auto* b = dynamic_cast<TButton*>(From); b && VirtualKey == VK_RETURN) {
        b->Click();
        return true;
      }
      std::vector<TWinControl*> all;
      GetTabOrderList(all);
      for (TWinControl* c : all)
        if (auto* b = dynamic_cast<TButton*>(c);
            b && b->CanFocus() && (VirtualKey == VK_RETURN ? b->GetDefault() : b->GetCancel())) {
          b->Click();
          return true;
        }
      return false;
    }
    default:
      return false;
  }
}

bool TCustomForm::DialogChar(char Key) {
  std::function<bool(TWinControl*)> offer = [&](TWinControl* parent) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      auto* c = dynamic_cast<TWinControl*>(parent->Controls(i));
      if (!c || !c->GetVisible() || !c->GetEnabled()) continue;
      if (c->DialogChar(Key) || offer(c)) return true;
    }
    return false;
  };
  return offer(this);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  if (handle_) {  // the styles are fixed at creation: make the window again with the new ones
    const bool wasVisible = IsWindowVisible(handle_);
    DestroyWnd();
    CreateWnd();
    if (wasVisible) ShowWindow(handle_, SW_SHOW);
  }
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style &= ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  switch (borderStyle_) {
    case bsNone: Params.Style |= WS_POPUP; break;
    case bsSingle: Params.Style |= WS_CAPTION | WS_SYSMENU | WS_BORDER; break;
    case bsSizeable: Params.Style |= WS_OVERLAPPEDWINDOW; break;
    case bsDialog:
      Params.Style |= WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
      Params.ExStyle |= WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
      Params.Style |= WS_CAPTION | WS_SYSMENU | WS_BORDER;
      Params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      Params.Style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
      Params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (formStyle_ == fsStayOnTop) Params.ExStyle |= WS_EX_TOPMOST;
  if (position_ == poScreenCenter || position_ == poDesktopCenter || position_ == poMainFormCenter ||
      position_ == poOwnerFormCenter) {
    Params.X = std::max(0, (Screen ? Screen->GetWidth() : 1024) - width_) / 2;
    Params.Y = std::max(0, (Screen ? Screen->GetHeight() : 768) - height_) / 2;
  }
  Params.WndParent = Application ? Application->GetHandle() : 0;  // owned by the application window
}

void TCustomForm::CreateWnd() {
  TWinControl::CreateWnd();
  std::function<void(TWinControl*)> link = [&](TWinControl* parent) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      if (auto* label = dynamic_cast<TLabel*>(parent->Controls(i))) label->LinkFocusControl();
      if (auto* w = dynamic_cast<TWinControl*>(parent->Controls(i))) link(w);
    }
  };
  link(this);
}

void TCustomForm::SetVisible(bool value) {
  if (value) {
    AfterConstruction();
    HandleNeeded();
    if (!visible_) {
      visible_ = true;
      if (OnShow) OnShow(this);
    }
    if (!handle_) return;  // OnShow may have freed the window
    ShowWindow(handle_, SW_SHOW);
    SetActiveWindow(handle_);
    SetWindowFocus();
    if (!handle_) return;
    if (Screen) {  // most recently shown last
      auto& forms = Screen->forms_;
      forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
      forms.push_back(this);
    }
  } else {
    if (!visible_) return;
    visible_ = false;
    if (handle_) ShowWindow(handle_, SW_HIDE);
    if (OnHide) OnHide(this);
  }
}

void TCustomForm::Show() { SetVisible(true); }
void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  SetActiveWindow(GetHandle());
  ::SetFocus(handle_);
}

TCanvas* TCustomForm::GetCanvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TCanvas>();
    canvas_->GetBrush()->SetColor(clBtnFace);
  }
  return canvas_.get();
}

TModalResult TCustomForm::ShowModal() {
  if (visible_ || !enabled_ || modal_) throw EInvalidOperation("Cannot make a visible window modal");
  AfterConstruction();

  // Everything ShowModal changes is put back here, on every path.
  struct ModalScope {
    TCustomForm* form;
    std::vector<HWND> disabled;
    HWND activeBefore = GetActiveWindow();
    explicit ModalScope(TCustomForm* f) : form(f) {
      EnumWindows(&CollectTaskWindow, reinterpret_cast<LPARAM>(&disabled));
      for (HWND h : disabled) EnableWindow(h, FALSE);
      form->modal_ = true;
    }
    ~ModalScope() {
      form->modal_ = false;
      try {
        form->Hide();
      } catch (...) {  // an OnHide handler failing must not stop the windows coming back
        form->visible_ = false;
        if (form->handle_) ShowWindow(form->handle_, SW_HIDE);
      }
      for (HWND h : disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
      if (activeBefore && IsWindow(activeBefore)) SetActiveWindow(activeBefore);
    }
  } scope(this);

  modalResult_ = mrNone;
  Show();
  while (modalResult_ == mrNone) {
    Application->HandleMessage();
    if (Application->terminated_) {
      modalResult_ = mrCancel;
      break;
    }
    if (modalResult_ != mrNone) CloseModal();
  }
  return modalResult_;
}

// Returns false when OnCloseQuery or OnClose refused; ModalResult is then back at 0.
bool TCustomForm::CloseModal() {
  TCloseAction action = caNone;
  if (CloseQuery()) {
    action = caHide;
    DoClose(action);
  }
  if (action == caNone) {
    modalResult_ = mrNone;
    return false;
  }
  if (action == caFree) Release();
  return true;
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application && Application->GetMainForm() == this) {
    Application->Terminate();
    return;
  }
  if (action == caFree)
    Release();
  else
    Hide();
}

void TCustomForm::Release() { PostMessageA(GetHandle(), CM_RELEASE, 0, 0); }

LRESULT TCustomForm::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_CLOSE:
      Close();
      return 0;
    case CM_RELEASE:
      delete this;
      return 0;
    default: return TWinControl::WndProc(Msg, wParam, lParam);
  }
}

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  TWinControl::GetChildren(proc, root);
  if (root != this) return;
  std::vector<TComponent*> owned;
  for (int i = 0; i < ComponentCount(); ++i) owned.push_back(Components(i));
  for (TComponent* c : owned) {
    auto* control = dynamic_cast<TControl*>(c);
    if (!control || !control->GetParent()) proc(c);
  }
}

TForm::TForm(TComponent* AOwner) : TCustomForm(AOwner) {}

}  // namespace vcl
