// TControl, TGraphicControl and TWinControl: bounds, alignment and looks kept in the object and
// mirrored into the platform window once it exists; tab order, focus and keys.
#include <korven/desktop.h>
#include <korven/snapshot.h>
#include <vcl/Controls.h>
#include <vcl/Forms.h>
#include <vcl/TypInfo.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <set>
#include <unordered_map>

namespace vcl {

VCL_IMPLEMENT_CLASS(TControl, TComponent)
VCL_IMPLEMENT_CLASS(TGraphicControl, TWinControl)
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
  static const char* const kBuiltIn[] = {"STATIC", "BUTTON", "EDIT", "LISTBOX", "COMBOBOX", "#32770",
                                         TRACKBAR_CLASSA, WC_TABCONTROLA};
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

std::string StripAccelChars(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') out.push_back('&'), ++i;
      continue;
    }
    out.push_back(caption[i]);
  }
  return out;
}

bool IsAccel(char key, const std::string& caption) {
  const int want = std::tolower(static_cast<unsigned char>(key));
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return std::tolower(static_cast<unsigned char>(caption[i + 1])) == want;
  }
  return false;
}

// ---- TControl -----------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), font_(std::make_unique<TFont>()) {
  font_->OnChange = [this](TObject*) { FontChanged(); };
}

TControl::~TControl() {
  font_->OnChange = nullptr;
  if (parent_) parent_->RemoveControl(this);
}

void TControl::DeclareProperties(TPropertyBuilder<TControl>& p) {
  p.Property("Left", &TControl::GetLeft, &TControl::SetLeft);
  p.Property("Top", &TControl::GetTop, &TControl::SetTop);
  p.Property("Width", &TControl::GetWidth, &TControl::SetWidth);
  p.Property("Height", &TControl::GetHeight, &TControl::SetHeight);
  p.Property("Align", &TControl::GetAlign, &TControl::SetAlign).Default(alNone);
  p.Property("Color", &TControl::GetColor, &TControl::SetColor)
      .TypeName("TColor")
      .Stored([](TControl& c) { return !c.parentColor_ && c.color_ != c.DefaultColor(); });
  p.Property("Enabled", &TControl::GetEnabled, &TControl::SetEnabled).Default(true);
  p.Property("Font", &TControl::GetFont, &TControl::SetFont).Stored([](TControl& c) { return !c.parentFont_; });
  p.Property("Hint", &TControl::GetHint, &TControl::SetHint);
  p.Property("ParentColor", &TControl::GetParentColor, &TControl::SetParentColor)
      .Stored([](TControl& c) { return c.parentColor_ != c.DefaultParentColor(); });
  p.Property("ParentFont", &TControl::GetParentFont, &TControl::SetParentFont)
      .Stored([](TControl& c) { return c.parentFont_ != c.DefaultParentFont(); });
  p.Property("ParentShowHint", &TControl::GetParentShowHint, &TControl::SetParentShowHint).Default(true);
  p.Property("ShowHint", &TControl::GetShowHint, &TControl::SetShowHint)
      .Stored([](TControl& c) { return !c.parentShowHint_; });
  p.Property("Visible", &TControl::GetVisible, &TControl::SetVisible).Default(true);
  p.Property("OnClick", &TControl::OnClick, &TControl::OnClick).TypeName("TNotifyEvent");
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == parent_) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
  left_ = ALeft;
  top_ = ATop;
  width_ = AWidth;
  height_ = AHeight;
  BoundsChanged();
  if (parent_ && align_ != alNone) parent_->Realign();
}

void TControl::SetAlign(TAlign value) {
  if (value == align_) return;
  align_ = value;
  if (parent_) parent_->Realign();
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
  if (parent_ && align_ != alNone) parent_->Realign();
}

void TControl::SetText(const std::string& value) {
  if (value == text_) return;
  text_ = value;
  TextChanged();
}

void TControl::SetColor(TColor value) {
  parentColor_ = false;
  if (value == color_) return;
  color_ = value;
  LookChanged();
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (TControl* c : w->controls_) c->ParentChanged();
}

void TControl::SetParentColor(bool value) {
  parentColor_ = value;
  if (value) ParentChanged();
}

void TControl::SetParentFont(bool value) {
  parentFont_ = value;
  if (value) ParentChanged();
}

void TControl::FontChanged() {
  if (!fontFromParent_) parentFont_ = false;
  LookChanged();
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (TControl* c : w->controls_) c->ParentChanged();
}

void TControl::SetHint(const std::string& value) {
  if (value == hint_) return;
  hint_ = value;
  LookChanged();
}

void TControl::SetShowHint(bool value) {
  parentShowHint_ = false;
  if (value == showHint_) return;
  showHint_ = value;
  LookChanged();
}

void TControl::SetParentShowHint(bool value) {
  parentShowHint_ = value;
  if (value) ParentChanged();
}

void TControl::InitLook(TColor color, bool parentColor, bool parentFont) {
  color_ = color;
  parentColor_ = parentColor;
  parentFont_ = parentFont;
}

void TControl::ParentChanged() {
  if (!parent_) return;
  bool changed = false;
  if (parentColor_ && color_ != parent_->color_) {
    color_ = parent_->color_;
    changed = true;
  }
  if (parentFont_) {
    fontFromParent_ = true;
    font_->Assign(parent_->font_.get());  // FontChanged tells the window and the children
    fontFromParent_ = false;
  }
  if (parentShowHint_ && showHint_ != parent_->showHint_) {
    showHint_ = parent_->showHint_;
    changed = true;
  }
  if (changed) {
    LookChanged();
    if (auto* w = dynamic_cast<TWinControl*>(this))
      for (TControl* c : w->controls_) c->ParentChanged();
  }
}

void TControl::SetParentComponent(TComponent* parent) {
  if (auto* w = dynamic_cast<TWinControl*>(parent)) SetParent(w);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

// ---- TWinControl --------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  if (TCustomForm* form = GetParentForm(this); form && form != this) form->ControlGoing(this);
  DestroyWnd();
  // Child controls go with their parent; each one's destructor also leaves its owner's list.
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    controls_.pop_back();
    std::erase(tabList_, c);
    c->parent_ = nullptr;
    delete c;
  }
}

void TWinControl::DeclareProperties(TPropertyBuilder<TWinControl>& p) {
  p.Property("TabOrder", &TWinControl::GetTabOrder, &TWinControl::SetTabOrder).Default(-1);
  p.Property("TabStop", &TWinControl::GetTabStop, &TWinControl::SetTabStop).Default(false);
  p.Property("OnEnter", &TWinControl::OnEnter, &TWinControl::OnEnter).TypeName("TNotifyEvent");
  p.Property("OnExit", &TWinControl::OnExit, &TWinControl::OnExit).TypeName("TNotifyEvent");
  p.Property("OnKeyPress", &TWinControl::OnKeyPress, &TWinControl::OnKeyPress).TypeName("TKeyPressEvent");
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
  AControl->ParentChanged();
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    if (w->IsWindowed()) tabList_.push_back(w);
    w->childId_ = nextChildId_++;
    if (handle_) w->CreateWnd();
  }
  if (AControl->align_ != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(controls_.begin(), controls_.end(), AControl);
  if (it == controls_.end()) return;
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    if (TCustomForm* form = GetParentForm(this)) form->ControlGoing(w);
    w->DestroyWnd();
  }
  controls_.erase(it);
  std::erase(tabList_, AControl);
  AControl->parent_ = nullptr;
  if (AControl->align_ != alNone) Realign();
}

bool TWinControl::ContainsControl(const TControl* AControl) const {
  for (const TControl* c = AControl; c; c = c->GetParent())
    if (c == this) return true;
  return false;
}

// ---- Tab order ----

int TWinControl::GetTabOrder() const {
  if (!GetParent()) return -1;
  const auto& list = GetParent()->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int value) {
  if (Loading()) {  // put in order once the whole form is read (Loaded)
    pendingTabOrder_ = value;
    return;
  }
  TWinControl* parent = GetParent();
  const int current = GetTabOrder();
  if (!parent || current < 0) return;
  auto& list = parent->tabList_;
  const int last = static_cast<int>(list.size()) - 1;
  if (value < 0 || value > last) value = last;
  if (value == current) return;
  list.erase(list.begin() + current);
  list.insert(list.begin() + value, this);
}

void TWinControl::SetTabStop(bool value) {
  if (value == tabStop_) return;
  tabStop_ = value;
  if (handle_) {
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE);
    style = value ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    SetWindowLongPtrA(handle_, GWL_STYLE, style);
  }
}

void TWinControl::Loaded() {
  TControl::Loaded();
  // The tab orders the form file gave, each control at its position (the rest keep theirs after).
  std::stable_sort(tabList_.begin(), tabList_.end(), [](TWinControl* a, TWinControl* b) {
    const int ka = a->pendingTabOrder_ < 0 ? INT32_MAX : a->pendingTabOrder_;
    const int kb = b->pendingTabOrder_ < 0 ? INT32_MAX : b->pendingTabOrder_;
    return ka < kb;
  });
  for (TWinControl* c : tabList_) c->pendingTabOrder_ = -1;
  if (pendingTabOrder_ >= 0) {  // read into a parent that was not read itself: take the place now
    const int wanted = pendingTabOrder_;
    pendingTabOrder_ = -1;
    SetTabOrder(wanted);
  }
  Realign();
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
  for (TWinControl* c : tabList_) {
    list.push_back(c);
    c->GetTabOrderList(list);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop) const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  auto it = std::find(list.begin(), list.end(), current);
  const size_t n = list.size();
  size_t start = it == list.end() ? (goForward ? n - 1 : 0) : static_cast<size_t>(it - list.begin());
  for (size_t step = 1; step <= n; ++step) {
    const size_t i = goForward ? (start + step) % n : (start + n - step) % n;
    TWinControl* c = list[i];
    if (c->CanFocus() && (!checkTabStop || c->tabStop_)) return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool goForward, bool checkTabStop) {
  if (TWinControl* next = FindNextControl(current, goForward, checkTabStop)) next->SetFocus();
}

// ---- Windows ----

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
  const bool builtIn = IsBuiltInClass(params.WinClassName);
  if (!builtIn) EnsureClass(params.WinClassName);
  const HWND h = CreateWindowExA(params.ExStyle, params.WinClassName.c_str(), params.Caption.c_str(), params.Style,
                                 params.X, params.Y, params.Width, params.Height, params.WndParent,
                                 child ? static_cast<HMENU>(childId_) : 0, 0, this);
  if (!h) throw EInvalidOperation("Error creating window of class " + params.WinClassName);
  handle_ = h;
  MapHandle(h, this);
  if (builtIn) {
    // Subclassed, as the framework does with the standard controls: keys, focus and notifications
    // reach the control first, the built-in procedure does the rest.
    defProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameworkWndProc)));
  }
  PushExtras();
  LookChanged();
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

void TWinControl::RecreateWnd() {
  if (!handle_) return;
  const bool focused = Focused();
  DestroyWnd();
  CreateWnd();
  if (focused && handle_) ::SetFocus(handle_);
}

void TWinControl::ForgetHandle() {
  if (!handle_) return;
  MapHandle(handle_, nullptr);
  handle_ = 0;
  defProc_ = nullptr;
}

void TWinControl::PushExtras() {
  if (!handle_) return;
  korven::platform::SetAutomationId(handle_, GetName());
  korven::platform::SetWindowHint(handle_, GetShowHint() ? GetHint() : std::string());
}

void TWinControl::LookChanged() {
  if (!handle_) return;
  PushExtras();
  korven::platform::WindowLook look = korven::platform::GetWindowLook(handle_);
  look.color = static_cast<uint32_t>(ColorToRGB(GetColor()));
  look.fontName = GetFont()->GetName();
  look.fontHeight = GetFont()->GetHeight();
  const TFontStyles style = GetFont()->GetStyle();
  look.bold = style.Contains(fsBold);
  look.italic = style.Contains(fsItalic);
  look.underline = style.Contains(fsUnderline);
  look.strikeOut = style.Contains(fsStrikeOut);
  look.fontColor = static_cast<uint32_t>(ColorToRGB(GetFont()->GetColor()));
  korven::platform::SetWindowLook(handle_, look);
}

LRESULT TWinControl::DefaultHandler(UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (defProc_) return CallWindowProcA(defProc_, handle_, Msg, wParam, lParam);
  return DefWindowProcA(handle_, Msg, wParam, lParam);
}

LRESULT TWinControl::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_COMMAND:
      if (lParam)
        if (TWinControl* child = FindControl(static_cast<HWND>(lParam)); child && child != this) {
          child->CommandNotify(HIWORD(wParam));
          return 0;
        }
      break;
    case WM_NOTIFY:
      if (const auto* hdr = reinterpret_cast<const NMHDR*>(lParam))
        if (TWinControl* child = FindControl(hdr->hwndFrom); child && child != this)
          return child->NotifyNotify(hdr->code);
      break;
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (TWinControl* child = FindControl(static_cast<HWND>(lParam)); child && child != this) {
        child->ScrollNotify(LOWORD(wParam));
        return 0;
      }
      break;
    case WM_SETFOCUS: {
      const LRESULT r = DefaultHandler(Msg, wParam, lParam);
      if (TCustomForm* form = GetParentForm(this)) form->SetFocusedControl(this);
      return r;
    }
    case WM_CHAR: {
      char key = static_cast<char>(wParam);
      KeyPress(key);
      if (key == 0 || !handle_) return 0;  // discarded by a handler
      return DefaultHandler(Msg, static_cast<WPARAM>(static_cast<unsigned char>(key)), lParam);
    }
    case WM_KEYDOWN:
      if (TCustomForm* form = GetParentForm(this); form && form->DialogKey(this, static_cast<int>(wParam))) return 0;
      break;
    case WM_SYSCHAR:
      // The form answers Alt+key for all its controls (labels focus, buttons press).
      if (TCustomForm* form = GetParentForm(this)) {
        form->DialogChar(static_cast<char>(wParam));
        return 1;
      }
      break;
    default:
      break;
  }
  return DefaultHandler(Msg, wParam, lParam);
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  const std::vector<TControl*> children = controls_;  // a callback must not see the list change
  for (TControl* c : children)
    if (c->GetOwner() == root || c->GetOwner() == this) proc(c);
}

bool TWinControl::CanFocus() const {
  if (!IsWindowed()) return false;
  for (const TControl* c = this; c; c = c->GetParent())
    if (!c->GetVisible() || !c->GetEnabled()) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  ::SetFocus(GetHandle());
}

bool TWinControl::Focused() const { return handle_ != 0 && ::GetFocus() == handle_; }

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TWinControl::SetName(const std::string& name) {
  TControl::SetName(name);
  PushExtras();
}

void TWinControl::BoundsChanged() {
  if (handle_) MoveWindow(handle_, left_, top_, width_, height_, TRUE);
  Realign();
}

void TWinControl::Realign() {
  if (aligning_ || Loading()) return;
  aligning_ = true;
  struct Guard {
    bool& flag;
    ~Guard() { flag = false; }
  } guard{aligning_};
  TRect area = GetClientRect();
  AdjustClientRect(area);
  // Each edge in turn, the controls nearest it first; what is left goes to alClient.
  auto place = [&](TAlign align) {
    std::vector<TControl*> list;
    // Hidden controls take no room; a hidden alClient control (a page not shown) still gets the
    // area, which it takes from nobody.
    for (TControl* c : controls_)
      if (c->align_ == align && (c->visible_ || align == alClient)) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [align](TControl* a, TControl* b) {
      switch (align) {
        case alTop: return a->top_ < b->top_;
        case alBottom: return a->top_ + a->height_ > b->top_ + b->height_;
        case alLeft: return a->left_ < b->left_;
        case alRight: return a->left_ + a->width_ > b->left_ + b->width_;
        default: return false;
      }
    });
    for (TControl* c : list) {
      switch (align) {
        case alTop:
          c->SetBounds(area.Left, area.Top, area.Width(), c->height_);
          area.Top += c->height_;
          break;
        case alBottom:
          c->SetBounds(area.Left, area.Bottom - c->height_, area.Width(), c->height_);
          area.Bottom -= c->height_;
          break;
        case alLeft:
          c->SetBounds(area.Left, area.Top, c->width_, area.Height());
          area.Left += c->width_;
          break;
        case alRight:
          c->SetBounds(area.Right - c->width_, area.Top, c->width_, area.Height());
          area.Right -= c->width_;
          break;
        case alClient:
          c->SetBounds(area.Left, area.Top, area.Width(), area.Height());
          break;
        default:
          break;
      }
    }
  };
  for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) place(a);
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

// ---- TGraphicControl ----------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* AOwner) : TWinControl(AOwner) { InitLook(clBtnFace, true, true); }
TGraphicControl::~TGraphicControl() = default;

TCanvas* TGraphicControl::GetCanvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>();
  return canvas_.get();
}

void TGraphicControl::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = "STATIC";
  Params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
}

}  // namespace vcl
