// TControl, TGraphicControl and TWinControl: bounds and state kept in the object and mirrored into
// the platform window once it exists.
#include <vcl/Controls.h>
#include <vcl/Forms.h>
#include <vcl/TypInfo.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <unordered_map>

namespace vcl {

VCL_IMPLEMENT_CLASS(TControl, TComponent)
VCL_IMPLEMENT_CLASS(TGraphicControl, TControl)
VCL_IMPLEMENT_CLASS(TWinControl, TControl)

namespace {

// Window handle → control, for the window procedure and for FindControl.
std::mutex& MapLock() {
  static std::mutex m;
  return m;
}
std::unordered_map<HWND, TWinControl*>& HandleMap() {
  static std::unordered_map<HWND, TWinControl*> map;
  return map;
}

void MapHandle(HWND h, TWinControl* c) {
  std::lock_guard<std::mutex> lock(MapLock());
  if (c)
    HandleMap()[h] = c;
  else
    HandleMap().erase(h);
}

// Registers the framework's window class of that name once per process.
void EnsureClass(const std::string& name) {
  static std::mutex m;
  static std::set<std::string> done;
  std::lock_guard<std::mutex> lock(m);
  if (done.count(name)) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = &FrameworkWndProc;
  wc.lpszClassName = name.c_str();
  if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EInvalidOperation("Cannot register the window class " + name);
  done.insert(name);
}

bool IsBuiltInClass(const std::string& name) {
  static const char* const kBuiltIn[] = {"STATIC", "BUTTON", "EDIT", "LISTBOX", "COMBOBOX", "#32770"};
  for (const char* b : kBuiltIn)
    if (SameText(name, b)) return true;
  return false;
}

}  // namespace

TWinControl* FindControl(HWND handle) {
  if (!handle) return nullptr;
  std::lock_guard<std::mutex> lock(MapLock());
  auto it = HandleMap().find(handle);
  return it == HandleMap().end() ? nullptr : it->second;
}

LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* control = static_cast<TWinControl*>(cs->lpCreateParams);
    if (control) {
      control->handle_ = hwnd;
      MapHandle(hwnd, control);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  TWinControl* control = FindControl(hwnd);
  if (!control) return DefWindowProcA(hwnd, msg, wParam, lParam);
  // As the framework's main window procedure does, a framework exception raised while a message is
  // handled (an OnClick failing) is shown by the application and goes no further: the code that
  // sent the message, the platform's included, never sees it. Other exceptions pass.
  try {
    if (msg == WM_NCDESTROY) {
      const LRESULT r = control->WndProc(msg, wParam, lParam);
      control->ForgetHandle();
      return r;
    }
    return control->WndProc(msg, wParam, lParam);
  } catch (const Exception&) {
    if (msg == WM_NCDESTROY) control->ForgetHandle();
    if (Application) Application->HandleException(control);
    return 0;
  }
}

TCustomForm* GetParentForm(TControl* Control) {
  while (Control && Control->GetParent()) Control = Control->GetParent();
  return dynamic_cast<TCustomForm*>(Control);
}

// ---- TControl -----------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  if (parent_) parent_->RemoveControl(this);
}

void TControl::DeclareProperties(TPropertyBuilder<TControl>& p) {
  p.Property("Left", &TControl::GetLeft, &TControl::SetLeft);
  p.Property("Top", &TControl::GetTop, &TControl::SetTop);
  p.Property("Width", &TControl::GetWidth, &TControl::SetWidth);
  p.Property("Height", &TControl::GetHeight, &TControl::SetHeight);
  p.Property("Enabled", &TControl::GetEnabled, &TControl::SetEnabled).Default(true);
  p.Property("Visible", &TControl::GetVisible, &TControl::SetVisible).Default(true);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == parent_) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  left_ = ALeft;
  top_ = ATop;
  width_ = std::max(AWidth, 0);
  height_ = std::max(AHeight, 0);
  BoundsChanged();
}

void TControl::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  EnabledChanged();
}

void TControl::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  VisibleChanged();
}

void TControl::SetText(const std::string& value) {
  if (value == text_) return;
  text_ = value;
  TextChanged();
}

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* w = dynamic_cast<TWinControl*>(parent)) SetParent(w);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

// ---- TGraphicControl ----------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}
TGraphicControl::~TGraphicControl() = default;

TCanvas* TGraphicControl::GetCanvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>();
  return canvas_.get();
}

// ---- TWinControl --------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  DestroyWnd();
  // Child controls go with their parent; each one's destructor also leaves its owner's list.
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    controls_.pop_back();
    c->parent_ = nullptr;
    delete c;
  }
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return controls_[static_cast<size_t>(index)];
}

void TWinControl::InsertControl(TControl* AControl) {
  if (!AControl || AControl->parent_ == this) return;
  if (AControl->parent_) AControl->parent_->RemoveControl(AControl);
  controls_.push_back(AControl);
  AControl->parent_ = this;
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    w->childId_ = nextChildId_++;
    if (handle_) w->CreateWnd();
  }
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(controls_.begin(), controls_.end(), AControl);
  if (it == controls_.end()) return;
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) w->DestroyWnd();
  controls_.erase(it);
  AControl->parent_ = nullptr;
}

HWND TWinControl::GetHandle() {
  if (!handle_) {
    if (GetParent())
      GetParent()->HandleNeeded();  // creates ours too, as one of its children
    if (!handle_) CreateWnd();
  }
  return handle_;
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.WinClassName = ClassName();
  Params.Caption = text_;
  Params.Style = WS_CHILD | (visible_ ? WS_VISIBLE : 0) | (enabled_ ? 0 : WS_DISABLED) | (tabStop_ ? WS_TABSTOP : 0);
  Params.X = left_;
  Params.Y = top_;
  Params.Width = width_;
  Params.Height = height_;
  Params.WndParent = GetParent() ? GetParent()->handle_ : 0;
}

void TWinControl::CreateWnd() {
  if (handle_) return;
  TCreateParams params;
  CreateParams(params);
  const bool child = (params.Style & WS_CHILD) != 0;
  if (child && !params.WndParent) return;  // no parent window yet: created with the parent's
  if (!IsBuiltInClass(params.WinClassName)) EnsureClass(params.WinClassName);
  const HWND h = CreateWindowExA(params.ExStyle, params.WinClassName.c_str(), params.Caption.c_str(), params.Style,
                                 params.X, params.Y, params.Width, params.Height, params.WndParent,
                                 child ? static_cast<HMENU>(childId_) : 0, 0, this);
  if (!h) throw EInvalidOperation("Error creating window of class " + params.WinClassName);
  handle_ = h;
  MapHandle(h, this);
  HandleCreated();
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->CreateWnd();
}

void TWinControl::DestroyWnd() {
  if (!handle_) return;
  for (TControl* c : controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyWnd();
  if (handle_) {
    // Keep the text the window holds (an edit box's contents) before the window goes.
    text_ = GetText();
    const HWND h = handle_;
    ForgetHandle();
    DestroyWindow(h);
  }
}

void TWinControl::ForgetHandle() {
  if (!handle_) return;
  MapHandle(handle_, nullptr);
  handle_ = 0;
}

LRESULT TWinControl::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (Msg == WM_COMMAND && lParam) {
    if (TWinControl* child = FindControl(static_cast<HWND>(lParam))) {
      child->CommandNotify(HIWORD(wParam));
      return 0;
    }
  }
  return DefWindowProcA(handle_, Msg, wParam, lParam);
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  const std::vector<TControl*> children = controls_;  // a callback must not see the list change
  for (TControl* c : children)
    if (c->GetOwner() == root || c->GetOwner() == this) proc(c);
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->GetParent())
    if (!c->GetVisible() || !c->GetEnabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  ::SetFocus(GetHandle());
}

bool TWinControl::Focused() const { return handle_ != 0 && ::GetFocus() == handle_; }

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (handle_) MoveWindow(handle_, left_, top_, width_, height_, TRUE);
}

void TWinControl::SetEnabled(bool value) {
  TControl::SetEnabled(value);
  if (handle_) EnableWindow(handle_, value ? TRUE : FALSE);
}

void TWinControl::SetVisible(bool value) {
  TControl::SetVisible(value);
  if (handle_) ShowWindow(handle_, value ? SW_SHOW : SW_HIDE);
}

std::string TWinControl::GetText() const {
  if (!handle_) return text_;
  const int n = GetWindowTextLengthA(handle_);
  std::string s(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
  const int got = GetWindowTextA(handle_, s.data(), static_cast<int>(s.size()));
  s.resize(static_cast<size_t>(std::max(got, 0)));
  return s;
}

void TWinControl::SetText(const std::string& value) {
  text_ = value;
  if (handle_) SetWindowTextA(handle_, value.c_str());
  TextChanged();
}

}  // namespace vcl
