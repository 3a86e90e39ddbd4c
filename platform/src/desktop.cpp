// The desktop: describing windows as a person sees them, acting on their controls, and the default
// and scripted desktops.
#include <korven/desktop.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "internal.h"

using namespace korven::platform;
using namespace korven::platform::detail;

namespace {

std::atomic<Desktop*> g_desktop{nullptr};
std::atomic<DWORD> g_desktopThread{0};
std::atomic<uint64_t> g_desktopGeneration{0};

// Captions compare as a person reads them, and without regard to case.
std::string Normalize(const std::string& s) { return LowerAscii(StripAccelerators(s)); }

// A label's text as it names a control: also without a trailing ':' and blanks.
std::string NormalizeLabel(const std::string& s) {
  std::string n = Normalize(s);
  while (!n.empty() && (n.back() == ':' || n.back() == ' ')) n.pop_back();
  return n;
}

bool IsClass(const WindowInfo& info, const char* name) { return EqualNoCase(info.className, name); }

// Visible descendants in creation order (depth first). With `usable`, only enabled ones, and nothing
// below a disabled or hidden window.
void Descendants(HWND h, bool usable, std::vector<WindowInfo>& out) {
  for (HWND c : ChildWindows(h)) {
    WindowInfo info;
    if (!GetWindowInfo(c, info) || !(info.style & WS_VISIBLE)) continue;
    if (usable && (info.style & WS_DISABLED)) continue;
    out.push_back(info);
    Descendants(c, usable, out);
  }
}

// The first usable control of the window matching the predicate; 0 when there is none or the window
// itself takes no input.
template <typename Pred>
HWND FindControl(HWND window, Pred pred) {
  WindowInfo top;
  if (!GetWindowInfo(window, top) || (top.style & WS_DISABLED)) return 0;
  std::vector<WindowInfo> all;
  Descendants(window, true, all);
  for (const WindowInfo& info : all)
    if (pred(info)) return info.hwnd;
  return 0;
}

bool IsListLike(const WindowInfo& info) { return IsClass(info, "LISTBOX") || IsClass(info, "COMBOBOX"); }

bool IsEditable(const WindowInfo& info) {
  return IsClass(info, "EDIT") || (IsClass(info, "COMBOBOX") && (info.style & 0x3) != CBS_DROPDOWNLIST);
}

bool IsCheckBox(const WindowInfo& info) {
  if (!IsClass(info, "BUTTON")) return false;
  const DWORD type = info.style & BS_TYPEMASK;
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
         type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// A "STATIC" that shows text (not a picture or a frame).
bool IsTextLabel(const WindowInfo& info) {
  if (!IsClass(info, "STATIC")) return false;
  const DWORD type = info.style & SS_TYPEMASK;
  return type <= SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP;
}

// The label that names a control: one whose SetLabelFor is the control, else the text label created
// just before it among its siblings (unless that label names another control). 0 when none.
HWND LabelOf(HWND control) {
  WindowInfo info;
  if (!GetWindowInfo(control, info)) return 0;
  HWND top = control;
  for (WindowInfo t = info; t.style & WS_CHILD;) {
    top = t.parent;
    if (!GetWindowInfo(top, t)) break;
  }
  std::vector<HWND> stack = ChildWindows(top);
  while (!stack.empty()) {
    HWND h = stack.back();
    stack.pop_back();
    WindowInfo l;
    if (GetWindowInfo(h, l) && IsTextLabel(l) && l.control.labelFor == control) return h;
    for (HWND c : ChildWindows(h)) stack.push_back(c);
  }
  HWND prev = GetWindow(control, GW_HWNDPREV);
  WindowInfo p;
  if (prev && GetWindowInfo(prev, p) && IsTextLabel(p) && !p.control.labelFor) return prev;
  return 0;
}

// Moves the focus to a control as a person's click would. False when a window appeared meanwhile (a
// handler objected to the focus leaving another control): then the click itself is lost.
bool ClickFocus(HWND control) {
  if (GetFocus() == control) return true;
  const uint64_t before = ShowCount();
  SetFocus(control);
  return ShowCount() == before;
}

// Holds keys down (Shift) for the duration of a scope.
class KeysDown {
 public:
  KeysDown(int vk, bool down) : vk_(vk), down_(down) {
    if (down_) SetKeyDown(vk_, true);
  }
  ~KeysDown() {
    if (down_) SetKeyDown(vk_, false);
  }
  KeysDown(const KeysDown&) = delete;
  KeysDown& operator=(const KeysDown&) = delete;

 private:
  int vk_;
  bool down_;
};

// The window's focused control, or the window itself.
HWND FocusIn(HWND window) {
  HWND focus = GetFocus();
  return focus && (focus == window || IsChild(window, focus)) ? focus : window;
}

bool IsDefaultPush(const WindowInfo& info) {
  return IsClass(info, "BUTTON") && (info.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

bool Click(HWND button) {
  if (!button) return false;
  SendMessageA(button, BM_CLICK, 0, 0);
  return true;
}

// The visible top-level windows of this thread that take input and whose caption contains `caption`.
std::vector<HWND> Candidates(const std::string& caption) {
  std::vector<HWND> out;
  for (HWND h : VisibleWindows()) {
    WindowInfo info;
    if (!GetWindowInfo(h, info) || (info.style & WS_DISABLED)) continue;
    if (!caption.empty() && info.caption.find(caption) == std::string::npos) continue;
    out.push_back(h);
  }
  return out;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string Where(const std::string& caption) { return caption.empty() ? "" : " in " + Quote(caption); }

// The button a person would press: the default one, else the only one, else OK; 0 when none.
HWND ButtonToPress(HWND dialog) {
  if (HWND def = FindControl(dialog, IsDefaultPush)) return def;
  HWND only = 0;
  int count = 0;
  std::vector<WindowInfo> all;
  Descendants(dialog, true, all);
  for (const auto& info : all)
    if (IsClass(info, "BUTTON")) ++count, only = info.hwnd;
  if (count == 1) return only;
  return FindControl(dialog, [](const WindowInfo& i) { return IsClass(i, "BUTTON") && Normalize(i.caption) == "ok"; });
}

// What a person sees of a dialog, down to which buttons can be pressed: a press after which this
// changed moved the dialog on (a wizard's next page, a scanner's next page in).
std::string Fingerprint(HWND dialog) {
  korven::platform::ShownWindow w = korven::platform::Describe(dialog);
  std::string fp = korven::platform::DescribeLine(w) + "|" + w.defaultButton + "|" + w.selectedItem;
  for (const auto& e : w.edits) fp += "|" + e;
  for (const auto& i : w.items) fp += "|" + i;
  std::vector<WindowInfo> all;
  Descendants(dialog, false, all);
  for (const auto& info : all)
    if (IsClass(info, "BUTTON")) fp += (info.style & WS_DISABLED) ? "-" : "+";
  return fp;
}

Desktop& ProcessDefault() {
  static DefaultDesktop desktop([] {
    const char* env = std::getenv("KORVEN_DESKTOP");
    return env && std::strcmp(env, "quiet") == 0;
  }());
  return desktop;
}

}  // namespace

namespace korven::platform {

ShownWindow Describe(HWND hwnd) {
  ShownWindow w;
  WindowInfo top;
  if (!GetWindowInfo(hwnd, top)) return w;
  w.hwnd = hwnd;
  w.className = top.className;
  w.caption = top.caption;
  w.messageBoxType = top.messageBoxType;
  w.dialog = IsClass(top, "#32770") || (top.exStyle & WS_EX_DLGMODALFRAME);
  std::vector<WindowInfo> all;
  Descendants(hwnd, false, all);
  bool haveList = false;
  for (const WindowInfo& info : all) {
    if (IsTextLabel(info)) {
      w.texts.push_back(info.caption);
    } else if (IsClass(info, "BUTTON")) {
      w.buttons.push_back(info.caption);
      if (IsDefaultPush(info) && w.defaultButton.empty()) w.defaultButton = info.caption;
    } else if (IsClass(info, "EDIT")) {
      w.edits.push_back(info.caption);
    } else if (IsListLike(info) && !haveList) {
      haveList = true;
      w.items = info.control.items;
      if (info.control.selected >= 0 && size_t(info.control.selected) < w.items.size())
        w.selectedItem = w.items[size_t(info.control.selected)];
    }
    w.controls.push_back(DescribeControl(info.hwnd));
  }
  return w;
}

ShownControl DescribeControl(HWND control) {
  ShownControl c;
  WindowInfo info;
  if (!GetWindowInfo(control, info)) return c;
  c.hwnd = control;
  c.className = info.className;
  c.automationId = info.control.automationId;
  c.text = info.caption;
  c.hint = info.control.hint;
  if (HWND label = LabelOf(control)) c.label = Caption(label);
  c.visible = IsWindowVisible(control);
  c.enabled = true;
  for (HWND h = control; h;) {
    WindowInfo up;
    if (!GetWindowInfo(h, up)) break;
    if (up.style & WS_DISABLED) c.enabled = false;
    h = (up.style & WS_CHILD) ? up.parent : 0;
  }
  c.focused = GetFocus() == control;
  if (IsCheckBox(info)) c.checked = info.control.check;
  if (IsListLike(info) || IsClass(info, WC_TABCONTROLA)) {
    c.items = info.control.items;
    c.selected = info.control.selected;
  }
  if (IsClass(info, TRACKBAR_CLASSA)) {
    c.position = info.control.pos;
    c.rangeMin = info.control.rangeMin;
    c.rangeMax = info.control.rangeMax;
    c.sliderVisible = !(info.style & TBS_NOTHUMB);
  }
  RECT r{};
  GetWindowRect(control, &r);
  POINT origin{0, 0};
  HWND top = control;
  while (GetWindowLongPtrA(top, GWL_STYLE) & WS_CHILD) top = GetParent(top);
  ClientToScreen(top, &origin);
  c.rect = RECT{r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
  return c;
}

HWND FindControlWindow(HWND window, const std::string& control, bool usable) {
  WindowInfo top;
  if (!GetWindowInfo(window, top) || (usable && (top.style & WS_DISABLED))) return 0;
  std::vector<WindowInfo> all;
  if (usable) {
    Descendants(window, true, all);
  } else {
    std::function<void(HWND)> walk = [&](HWND h) {
      for (HWND c : ChildWindows(h)) {
        WindowInfo info;
        if (!GetWindowInfo(c, info)) continue;
        all.push_back(info);
        walk(c);
      }
    };
    walk(window);
  }
  const std::string want = NormalizeLabel(control);
  for (const WindowInfo& info : all)
    if (!info.control.automationId.empty() && LowerAscii(info.control.automationId) == LowerAscii(control))
      return info.hwnd;
  for (const WindowInfo& info : all)
    if (IsClass(info, "BUTTON") && NormalizeLabel(info.caption) == want) return info.hwnd;
  for (const WindowInfo& info : all) {
    if (IsTextLabel(info)) continue;
    if (HWND label = LabelOf(info.hwnd); label && NormalizeLabel(Caption(label)) == want) return info.hwnd;
  }
  return 0;
}

ShownControl ReadControl(HWND window, const std::string& control) {
  return DescribeControl(FindControlWindow(window, control, false));
}

std::string DescribeLine(const ShownWindow& w) {
  if (!w.hwnd) return "(no window)";
  auto join = [](const std::vector<std::string>& v, const char* sep) {
    std::string s;
    for (size_t i = 0; i < v.size(); ++i) s += (i ? sep : "") + v[i];
    return s;
  };
  std::string line = "[" + w.caption + "]";
  if (!w.texts.empty()) line += " " + join(w.texts, " ");
  if (!w.buttons.empty()) line += " (buttons: " + join(w.buttons, ", ") + ")";
  if (!w.items.empty()) {
    line += " (items: " + join(w.items, ", ");
    if (!w.selectedItem.empty()) line += "; selected: " + w.selectedItem;
    line += ")";
  }
  if (!w.edits.empty()) {
    std::vector<std::string> quoted;
    for (const auto& e : w.edits) quoted.push_back(Quote(e));
    line += " (edits: " + join(quoted, ", ") + ")";
  }
  return line;
}

std::vector<HWND> VisibleWindows() {
  DWORD tid = GetCurrentThreadId();
  std::vector<WindowInfo> top;
  for (HWND h : AllWindows()) {
    WindowInfo info;
    if (GetWindowInfo(h, info) && !(info.style & WS_CHILD) && (info.style & WS_VISIBLE) && info.thread == tid)
      top.push_back(info);
  }
  std::sort(top.begin(), top.end(), [](const WindowInfo& a, const WindowInfo& b) { return a.zOrder > b.zOrder; });
  std::vector<HWND> out;
  for (const auto& info : top) out.push_back(info.hwnd);
  return out;
}

bool PressButton(HWND window, const std::string& caption) {
  std::string want = Normalize(caption);
  HWND button =
      FindControl(window, [&](const WindowInfo& i) { return IsClass(i, "BUTTON") && Normalize(i.caption) == want; });
  if (!button) {
    button = FindControlWindow(window, caption);
    WindowInfo info;
    if (!GetWindowInfo(button, info) || !IsClass(info, "BUTTON")) return false;
  }
  if (ClickFocus(button)) Click(button);
  return true;
}

bool PressDefaultButton(HWND window) {
  HWND button = FindControl(window, IsDefaultPush);
  if (!button) return false;
  if (ClickFocus(button)) Click(button);
  return true;
}

namespace {

bool PickIn(HWND list, const std::string& item) {
  WindowInfo info;
  if (!GetWindowInfo(list, info)) return false;
  std::string want = Normalize(item);
  auto it = std::find_if(info.control.items.begin(), info.control.items.end(),
                         [&](const std::string& s) { return Normalize(s) == want; });
  if (it == info.control.items.end()) return false;
  bool combo = IsClass(info, "COMBOBOX");
  auto index = static_cast<WPARAM>(it - info.control.items.begin());
  if (!ClickFocus(list)) return true;
  SendMessageA(list, combo ? CB_SETCURSEL : LB_SETCURSEL, index, 0);
  if (HWND parent = GetParent(list))
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(info.id, combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                 static_cast<LPARAM>(list));
  return true;
}

bool TypeInto(HWND edit, const std::string& text) {
  WindowInfo info;
  if (!GetWindowInfo(edit, info) || !IsEditable(info)) return false;
  ClickFocus(edit);  // typing goes on even when leaving another control raised an error box
  if (!IsWindow(edit)) return true;
  if (IsClass(info, "EDIT"))
    SendMessageA(edit, EM_SETSEL, 0, -1);
  else
    SendMessageA(edit, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
  if (text.empty()) SendMessageA(edit, WM_CHAR, '\b', 0);
  for (char ch : text) {
    if (!IsWindow(edit)) break;
    SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(ch)), 0);
  }
  return true;
}

// The control named `control` when it fits `pred` (usable only).
template <typename Pred>
HWND NamedControl(HWND window, const std::string& control, Pred pred) {
  HWND h = FindControlWindow(window, control, true);
  WindowInfo info;
  return h && GetWindowInfo(h, info) && pred(info) ? h : 0;
}

}  // namespace

bool PickItem(HWND window, const std::string& item, int controlId) {
  HWND list =
      FindControl(window, [&](const WindowInfo& i) { return IsListLike(i) && (controlId == 0 || i.id == controlId); });
  return list && PickIn(list, item);
}

bool PickItem(HWND window, const std::string& item, const std::string& control) {
  HWND list = NamedControl(window, control, IsListLike);
  return list && PickIn(list, item);
}

bool TypeText(HWND window, const std::string& text, int controlId) {
  HWND edit = FindControl(
      window, [&](const WindowInfo& i) { return IsClass(i, "EDIT") && (controlId == 0 || i.id == controlId); });
  return edit && TypeInto(edit, text);
}

bool TypeText(HWND window, const std::string& text, const std::string& control) {
  HWND edit = NamedControl(window, control, IsEditable);
  return edit && TypeInto(edit, text);
}

bool SetCheck(HWND window, const std::string& control, bool checked) {
  HWND box = NamedControl(window, control, IsCheckBox);
  if (!box) return false;
  for (int clicks = 0; clicks < 3; ++clicks) {  // a three-state box may need two clicks
    const bool isChecked = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (isChecked == checked) break;
    if (!ClickFocus(box)) break;
    Click(box);
    if (!IsWindow(box)) break;
  }
  return true;
}

bool FocusOn(HWND window, const std::string& control) {
  HWND h = NamedControl(window, control, [](const WindowInfo&) { return true; });
  if (!h) return false;
  ClickFocus(h);
  return true;
}

bool Slide(HWND window, const std::string& control, int position) {
  HWND bar = NamedControl(window, control, [](const WindowInfo& i) { return IsClass(i, TRACKBAR_CLASSA); });
  if (!bar) return false;
  if (ClickFocus(bar)) SlideTo(bar, position);
  return true;
}

bool ChooseTab(HWND window, const std::string& tab) {
  const std::string want = Normalize(tab);
  int index = -1;
  HWND tabs = FindControl(window, [&](const WindowInfo& i) {
    if (!IsClass(i, WC_TABCONTROLA)) return false;
    for (size_t k = 0; k < i.control.items.size(); ++k)
      if (Normalize(i.control.items[k]) == want) index = static_cast<int>(k);
    return index >= 0;
  });
  if (!tabs) return false;
  if (ClickFocus(tabs)) SelectTab(tabs, index);
  return true;
}

bool PressKey(HWND window, int virtualKey, bool shift) {
  WindowInfo top;
  if (!GetWindowInfo(window, top) || (top.style & WS_DISABLED)) return false;
  KeysDown held(VK_SHIFT, shift);
  SendMessageA(FocusIn(window), WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 0);
  return true;
}

bool PressAccelerator(HWND window, char key) {
  WindowInfo top;
  if (!GetWindowInfo(window, top) || (top.style & WS_DISABLED)) return false;
  {
    KeysDown alt(VK_MENU, true);
    if (SendMessageA(FocusIn(window), WM_SYSCHAR, static_cast<WPARAM>(static_cast<unsigned char>(key)), 0)) return true;
  }
  // As the dialog manager does: a button with that accelerator is pressed; a label's gives the focus
  // to the control it names, or to the next control that takes the focus.
  const char want = static_cast<char>(std::tolower(static_cast<unsigned char>(key)));
  auto hasAccel = [&](const std::string& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
      if (caption[i] != '&') continue;
      if (caption[i + 1] == '&') {
        ++i;
        continue;
      }
      return std::tolower(static_cast<unsigned char>(caption[i + 1])) == want;
    }
    return false;
  };
  HWND hit = FindControl(window, [&](const WindowInfo& i) {
    return (IsClass(i, "BUTTON") || IsTextLabel(i)) && !(i.style & SS_NOPREFIX && IsClass(i, "STATIC")) &&
           hasAccel(i.caption);
  });
  WindowInfo info;
  if (!hit || !GetWindowInfo(hit, info)) return false;
  if (IsClass(info, "BUTTON")) {
    if (ClickFocus(hit)) Click(hit);
    return true;
  }
  HWND target = info.control.labelFor ? info.control.labelFor : GetNextDlgTabItem(window, hit, FALSE);
  if (target) SetFocus(target);
  return true;
}

std::string ReadText(HWND window, int controlId) {
  std::vector<HWND> stack = ChildWindows(window);
  std::vector<HWND> order;
  // Depth first, creation order, hidden controls included: reading needs no person.
  std::function<void(HWND)> walk = [&](HWND h) {
    order.push_back(h);
    for (HWND c : ChildWindows(h)) walk(c);
  };
  for (HWND c : stack) walk(c);
  for (HWND h : order) {
    WindowInfo info;
    if (!GetWindowInfo(h, info)) continue;
    if (controlId == 0 ? IsClass(info, "EDIT") : info.id == controlId) {
      int n = GetWindowTextLengthA(h);
      std::string s(static_cast<size_t>(n) + 1, '\0');
      int got = GetWindowTextA(h, s.data(), n + 1);
      s.resize(static_cast<size_t>(std::max(got, 0)));
      return s;
    }
  }
  return "";
}

bool RequestClose(HWND window) {
  if (!IsWindow(window)) return false;
  SendMessageA(window, WM_CLOSE, 0, 0);
  return true;
}

Desktop* SetDesktop(Desktop* desktop) {
  g_desktopThread = desktop ? GetCurrentThreadId() : 0;
  ++g_desktopGeneration;
  return g_desktop.exchange(desktop);
}

DWORD detail::DesktopThread() { return g_desktopThread; }
uint64_t detail::DesktopGeneration() { return g_desktopGeneration; }

Desktop& CurrentDesktop() {
  Desktop* d = g_desktop.load();
  return d ? *d : ProcessDefault();
}

// ---- DefaultDesktop -----------------------------------------------------------------------------

void DefaultDesktop::Shown(const ShownWindow& window) {
  if (!quiet_) std::fprintf(stderr, "korven: %s\n", DescribeLine(window).c_str());
}

bool DefaultDesktop::Idle() {
  for (HWND h : Candidates("")) {
    ShownWindow w = Describe(h);
    if (!w.dialog) continue;
    // Only the topmost dialog: a person answers what is in front.
    HWND button = ButtonToPress(h);
    HWND cancel =
        FindControl(h, [](const WindowInfo& i) { return IsClass(i, "BUTTON") && Normalize(i.caption) == "cancel"; });
    enum { Press, Cancel, Close, Wait } action = Wait;
    {
      std::lock_guard lock(mu_);
      std::erase_if(attempts_, [](const auto& entry) { return !IsWindow(entry.first); });
      Attempts& a = attempts_[h];
      if (a.stage == Stage::Pressing) {
        if (!button) return false;
        std::string now = Fingerprint(h);
        if (a.button != button) a = Attempts{button, 0, Stage::Pressing, {}};
        // The dialog changed since the last press: it moved on and asks for the button again.
        if (a.presses > 0 && now != a.before) a.presses = 0;
        if (a.presses < kMaxPresses) {
          ++a.presses;
          a.before = std::move(now);
          action = Press;
        } else {
          std::fprintf(stderr,
                       "korven: the dialog \"%s\" stayed open after \"%s\" was pressed %d times; giving up on it: "
                       "Cancel, then close\n",
                       w.caption.c_str(), StripAccelerators(Caption(button)).c_str(), a.presses);
          a.stage = Stage::CancelTried;
          if (cancel && cancel != button) action = Cancel;
        }
      }
      if (action == Wait && a.stage == Stage::CancelTried) {
        a.stage = Stage::CloseTried;
        action = Close;
      } else if (action == Wait && a.stage == Stage::CloseTried) {
        a.stage = Stage::Abandoned;
        std::fprintf(stderr, "korven: the dialog \"%s\" stays open after Cancel and close; leaving it to a person\n",
                     w.caption.c_str());
      }
    }
    switch (action) {
      case Press:
        return Click(button);
      case Cancel:
        return Click(cancel);
      case Close:
        return RequestClose(h);
      case Wait:
        return false;
    }
  }
  return false;
}

// ---- ScriptedDesktop ----------------------------------------------------------------------------

ScriptedDesktop& ScriptedDesktop::Press(const std::string& button, const std::string& caption) {
  steps_.push_back({"Press " + Quote(button) + Where(caption), [button, caption] {
                      for (HWND h : Candidates(caption))
                        if (PressButton(h, button)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Pick(const std::string& item, const std::string& caption, int controlId) {
  steps_.push_back({"Pick " + Quote(item) + Where(caption), [item, caption, controlId] {
                      for (HWND h : Candidates(caption))
                        if (PickItem(h, item, controlId)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Type(const std::string& text, const std::string& caption, int controlId) {
  steps_.push_back({"Type " + Quote(text) + Where(caption), [text, caption, controlId] {
                      for (HWND h : Candidates(caption))
                        if (TypeText(h, text, controlId)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Pick(const std::string& item, const std::string& caption, const std::string& control) {
  steps_.push_back({"Pick " + Quote(item) + " in " + Quote(control) + Where(caption), [item, caption, control] {
                      for (HWND h : Candidates(caption))
                        if (PickItem(h, item, control)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Type(const std::string& text, const std::string& caption, const std::string& control) {
  steps_.push_back({"Type " + Quote(text) + " into " + Quote(control) + Where(caption), [text, caption, control] {
                      for (HWND h : Candidates(caption))
                        if (TypeText(h, text, control)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Check(const std::string& control, bool checked, const std::string& caption) {
  steps_.push_back({std::string(checked ? "Check " : "Uncheck ") + Quote(control) + Where(caption),
                    [control, checked, caption] {
                      for (HWND h : Candidates(caption))
                        if (SetCheck(h, control, checked)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Focus(const std::string& control, const std::string& caption) {
  steps_.push_back({"Focus " + Quote(control) + Where(caption), [control, caption] {
                      for (HWND h : Candidates(caption))
                        if (FocusOn(h, control)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Slide(const std::string& control, int position, const std::string& caption) {
  steps_.push_back({"Slide " + Quote(control) + " to " + std::to_string(position) + Where(caption),
                    [control, position, caption] {
                      for (HWND h : Candidates(caption))
                        if (korven::platform::Slide(h, control, position)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::SelectTab(const std::string& tab, const std::string& caption) {
  steps_.push_back({"Select the tab " + Quote(tab) + Where(caption), [tab, caption] {
                      for (HWND h : Candidates(caption))
                        if (ChooseTab(h, tab)) return true;
                      return false;
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Key(int virtualKey, const std::string& caption, bool shift) {
  steps_.push_back({std::string("Press the key ") + (shift ? "Shift+" : "") + std::to_string(virtualKey) + Where(caption),
                    [virtualKey, caption, shift] {
                      auto c = Candidates(caption);
                      return !c.empty() && PressKey(c.front(), virtualKey, shift);
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Accelerator(char key, const std::string& caption) {
  steps_.push_back({std::string("Press Alt+") + key + Where(caption), [key, caption] {
                      auto c = Candidates(caption);
                      return !c.empty() && PressAccelerator(c.front(), key);
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Close(const std::string& caption) {
  steps_.push_back({"Close" + Where(caption), [caption] {
                      auto c = Candidates(caption);
                      return !c.empty() && RequestClose(c.front());
                    }});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Do(const std::string& description, std::function<bool()> action) {
  steps_.push_back({description, std::move(action)});
  return *this;
}

ScriptedDesktop& ScriptedDesktop::Always(const std::string& button, const std::string& caption) {
  rules_.push_back({"Always press " + Quote(button) + Where(caption), [button, caption] {
                      for (HWND h : Candidates(caption))
                        if (PressButton(h, button)) return true;
                      return false;
                    }});
  return *this;
}

std::vector<std::string> ScriptedDesktop::Remaining() const {
  std::vector<std::string> out;
  for (const auto& s : steps_) out.push_back(s.description);
  return out;
}

void ScriptedDesktop::Shown(const ShownWindow& window) { shown_.push_back(window); }

bool ScriptedDesktop::Idle() {
  if (!steps_.empty()) {
    // The step leaves the script before it runs: what it sets off (a nested modal loop) waits for
    // the steps after it.
    Step step = std::move(steps_.front());
    steps_.erase(steps_.begin());
    // An action that throws has acted (a pressed button's handler raised): the step stays consumed,
    // or it would be retried for ever, and the exception passes on.
    if (step.act && step.act()) return true;
    steps_.insert(steps_.begin(), std::move(step));
  }
  std::vector<Step> rules = rules_;
  for (auto& r : rules)
    if (r.act && r.act()) return true;
  return false;
}

void ScriptedDesktop::Stalled() { Throw("The application waits for input and the script cannot act."); }

void ScriptedDesktop::StalledOnTimers() {
  Throw("The application has waited " + std::to_string(timerOnlyLimitMs_) +
        " ms with only timers firing (" + std::to_string(LiveTimerCount()) +
        " live), and the script cannot act.");
}

void ScriptedDesktop::Throw(const std::string& why) const {
  std::string text = why + "\nWindows on screen:";
  auto visible = VisibleWindows();
  if (visible.empty()) text += " none";
  for (HWND h : visible) {
    text += "\n  " + DescribeLine(Describe(h));
    if (!IsWindowEnabled(h)) text += " (disabled)";
  }
  text += "\nNext step: " + (steps_.empty() ? std::string("none, the script is finished") : steps_.front().description);
  throw DesktopStalled(text);
}

}  // namespace korven::platform
