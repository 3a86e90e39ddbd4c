// user32's process-wide state and the helpers every user32_*.cpp file uses; the snapshots the controls
// and the desktop read.
#include "user32_state.h"

#include <algorithm>
#include <cstring>

using namespace korven::platform;
using namespace korven::platform::detail;
using namespace korven::platform::detail::user32;

namespace korven::platform::detail::user32 {

State::State() {
  auto builtin = [&](const char* name, WNDPROC proc) {
    ClassEntry e;
    e.name = name;
    e.builtin = true;
    e.wc.lpfnWndProc = proc;
    e.atom = nextAtom++;
    classes[LowerAscii(name)] = e;
  };
  builtin("STATIC", StaticProc);
  builtin("BUTTON", ButtonProc);
  builtin("EDIT", EditProc);
  builtin("LISTBOX", ListBoxProc);
  builtin("COMBOBOX", ComboBoxProc);
  builtin("#32770", DialogProc);
  builtin(TRACKBAR_CLASSA, TrackBarProc);
  builtin(WC_TABCONTROLA, TabControlProc);
}

State& S() {
  static State* s = new State;
  return *s;
}

Window* W(HWND h) { return h ? S().windows.Find(h) : nullptr; }

namespace {

// Removes the calling thread's queue when the thread ends, so a later thread reusing the id starts
// with an empty queue.
struct QueueReaper {
  DWORD tid = 0;
  ~QueueReaper() {
    if (!tid) return;
    std::lock_guard lock(S().mu);
    S().queues.erase(tid);
  }
};
thread_local QueueReaper t_reaper;

}  // namespace

Queue& QueueOf(DWORD tid) {
  auto& q = S().queues[tid];
  if (!q) q = std::make_unique<Queue>();
  return *q;
}

Queue& MyQueue() {
  DWORD tid = GetCurrentThreadId();
  t_reaper.tid = tid;
  return QueueOf(tid);
}

void Wake(Queue& q) {
  ++q.stamp;
  q.cv.notify_all();
}

ClassEntry* FindClass(LPCSTR name) {
  auto& classes = S().classes;
  if (!name) return nullptr;
  if (reinterpret_cast<uintptr_t>(name) < 0x10000) {
    WORD atom = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
    for (auto& [k, e] : classes)
      if (e.atom == atom) return &e;
    return nullptr;
  }
  auto it = classes.find(LowerAscii(name));
  return it == classes.end() ? nullptr : &it->second;
}

bool IsDescendant(HWND h, HWND ancestor) {
  for (Window* w = W(h); w && w->parent; w = W(w->parent))
    if (w->parent == ancestor) return true;
  return false;
}

HWND TopLevelOf(HWND h) {
  Window* w = W(h);
  while (w && (w->style & WS_CHILD) && w->parent) {
    h = w->parent;
    w = W(h);
  }
  return w ? h : 0;
}

void Snapshot(HWND h, const Window& w, WindowInfo& info) {
  info.hwnd = h;
  info.className = w.className;
  info.caption = w.caption;
  info.parent = w.parent;
  info.owner = w.owner;
  info.style = w.style;
  info.exStyle = w.exStyle;
  info.id = w.id;
  info.thread = w.thread;
  info.messageBoxType = w.messageBoxType;
  info.zOrder = w.zOrder;
  info.rect = w.rect;
  info.control = w.control;
}

size_t CopyText(const std::string& text, LPSTR out, size_t size) {
  if (!out || size == 0) return 0;
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}

}  // namespace korven::platform::detail::user32

// ---- detail -------------------------------------------------------------------------------------

namespace korven::platform {

size_t LiveWindowCount() {
  std::lock_guard lock(S().mu);
  return S().windows.Live();
}

namespace detail {

bool GetWindowInfo(HWND hwnd, WindowInfo& info) {
  std::lock_guard lock(S().mu);
  Window* w = W(hwnd);
  if (!w) return false;
  Snapshot(hwnd, *w, info);
  return true;
}

std::vector<HWND> ChildWindows(HWND hwnd) {
  std::lock_guard lock(S().mu);
  Window* w = W(hwnd);
  return w ? w->children : std::vector<HWND>();
}

std::vector<HWND> AllWindows() {
  std::lock_guard lock(S().mu);
  std::vector<HWND> all;
  S().windows.ForEach([&](HANDLE h, Window&) { all.push_back(h); });
  return all;
}

bool WithControl(HWND hwnd, const std::function<void(ControlState&, WindowInfo&)>& f) {
  std::lock_guard lock(S().mu);
  Window* w = W(hwnd);
  if (!w) return false;
  WindowInfo info;
  Snapshot(hwnd, *w, info);
  f(w->control, info);
  return true;
}

void SetMessageBoxType(HWND hwnd, UINT type) {
  std::lock_guard lock(S().mu);
  if (Window* w = W(hwnd)) w->messageBoxType = type;
}

bool StoreCaption(HWND hwnd, const char* text) {
  std::lock_guard lock(S().mu);
  Window* w = W(hwnd);
  if (!w) return false;
  w->caption = text ? text : "";
  return true;
}

std::string Caption(HWND hwnd) {
  std::lock_guard lock(S().mu);
  Window* w = W(hwnd);
  return w ? w->caption : std::string();
}

}  // namespace detail
}  // namespace korven::platform
