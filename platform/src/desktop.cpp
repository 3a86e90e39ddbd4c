// The desktop: describing windows as a person sees them, acting on their controls, and the default
// and scripted desktops.
#include <korven/desktop.h>

#include <algorithm>
#include <atomic>
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

// A caption as a person reads it: without '&' accelerators ("&&" is a literal '&').
std::string StripAccelerators(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') out.push_back('&'), ++i;
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

// Captions compare as a person reads them, and without regard to case.
std::string Normalize(const std::string& s) { return LowerAscii(StripAccelerators(s)); }

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
    if (IsClass(info, "STATIC")) {
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
  }
  return w;
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
  return Click(
      FindControl(window, [&](const WindowInfo& i) { return IsClass(i, "BUTTON") && Normalize(i.caption) == want; }));
}

bool PressDefaultButton(HWND window) { return Click(FindControl(window, IsDefaultPush)); }

bool PickItem(HWND window, const std::string& item, int controlId) {
  HWND list =
      FindControl(window, [&](const WindowInfo& i) { return IsListLike(i) && (controlId == 0 || i.id == controlId); });
  if (!list) return false;
  WindowInfo info;
  if (!GetWindowInfo(list, info)) return false;
  std::string want = Normalize(item);
  auto it = std::find_if(info.control.items.begin(), info.control.items.end(),
                         [&](const std::string& s) { return Normalize(s) == want; });
  if (it == info.control.items.end()) return false;
  bool combo = IsClass(info, "COMBOBOX");
  auto index = static_cast<WPARAM>(it - info.control.items.begin());
  SendMessageA(list, combo ? CB_SETCURSEL : LB_SETCURSEL, index, 0);
  if (HWND parent = GetParent(list))
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(info.id, combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                 static_cast<LPARAM>(list));
  return true;
}

bool TypeText(HWND window, const std::string& text, int controlId) {
  HWND edit = FindControl(
      window, [&](const WindowInfo& i) { return IsClass(i, "EDIT") && (controlId == 0 || i.id == controlId); });
  if (!edit) return false;
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
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
