// user32: window classes, windows, message queues, timers, focus and activation.
//
// All state lives in one process-wide table behind one mutex. The mutex is never held while a
// window procedure, a timer procedure or the desktop runs, so any of them may call back into the
// layer (and the desktop may throw out of GetMessageA).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "handles.h"
#include "internal.h"

using namespace korven::platform;
using namespace korven::platform::detail;
using Clock = std::chrono::steady_clock;

namespace {

constexpr UINT kTimerMinimum = 10;  // USER_TIMER_MINIMUM
constexpr UINT kTimerMaximum = 0x7FFFFFFF;

struct ClassEntry {
  std::string name;
  std::string menuName;
  WNDCLASSA wc{};
  WORD atom = 0;
  bool builtin = false;
};

struct Window {
  std::string className;
  WNDPROC proc = nullptr;
  HINSTANCE instance = 0;
  std::string caption;
  HWND parent = 0;  // WS_CHILD windows
  HWND owner = 0;   // top-level windows
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  DWORD thread = 0;
  RECT rect{};
  LONG_PTR userData = 0;
  std::vector<char> extra;
  std::vector<HWND> children;  // creation order
  bool destroying = false;
  uint64_t zOrder = 0;
  UINT messageBoxType = 0;
  ControlState control;
};

struct Timer {
  HWND hwnd = 0;
  UINT_PTR id = 0;
  UINT elapse = 0;
  TIMERPROC proc = nullptr;
  DWORD thread = 0;
  Clock::time_point due;
  uint64_t seq = 0;  // setting order, breaks ties between timers due at the same moment
};

struct Queue {
  std::deque<MSG> messages;
  bool quit = false;
  int quitCode = 0;
  uint64_t stamp = 0;  // changes whenever something arrives that a waiting thread must look at
  std::condition_variable cv;
};

struct State {
  std::mutex mu;
  HandleTable<Window> windows{HandleTag::Window};
  std::map<std::string, ClassEntry> classes;  // by lower-case name
  WORD nextAtom = 0xC000;
  std::vector<Timer> timers;
  uint64_t timerSeq = 0;
  UINT_PTR nextThreadTimer = 1;
  std::unordered_map<DWORD, std::unique_ptr<Queue>> queues;
  std::map<std::string, UINT> messageNames;
  UINT nextMessage = 0xC000;
  HWND focus = 0;
  HWND active = 0;
  HWND foreground = 0;
  uint64_t zCounter = 0;

  State() {
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
  }
};

// Never destroyed: windows procedures and other threads may still run during static destruction.
State& S() {
  static State* s = new State;
  return *s;
}

// ---- helpers (the caller holds S().mu) ------------------------------------------------------------

Window* W(HWND h) { return h ? S().windows.Find(h) : nullptr; }

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

bool MatchWindow(HWND msgHwnd, HWND filter) {
  if (filter == 0) return true;
  if (filter == HWND(-1)) return msgHwnd == 0;
  return msgHwnd == filter || IsDescendant(msgHwnd, filter);
}

bool MatchRange(UINT msg, UINT lo, UINT hi) {
  if (lo == 0 && hi == 0) return true;
  return msg >= lo && msg <= hi;
}

// Retrieves the next message for the calling thread: posted messages first, then WM_QUIT (which
// passes any filter, as in Win32), then a due timer (earliest due first, then setting order).
bool Take(Queue& q, DWORD tid, MSG* m, HWND filter, UINT lo, UINT hi, bool remove) {
  for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
    if (MatchWindow(it->hwnd, filter) && MatchRange(it->message, lo, hi)) {
      *m = *it;
      if (remove) q.messages.erase(it);
      return true;
    }
  }
  if (q.quit) {
    *m = MSG{0, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount(), {0, 0}};
    if (remove) q.quit = false;
    return true;
  }
  if (!MatchRange(WM_TIMER, lo, hi)) return false;
  auto now = Clock::now();
  Timer* best = nullptr;
  for (Timer& t : S().timers) {
    if (t.thread != tid || t.due > now || !MatchWindow(t.hwnd, filter)) continue;
    if (!best || t.due < best->due || (t.due == best->due && t.seq < best->seq)) best = &t;
  }
  if (!best) return false;
  *m = MSG{best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), GetTickCount(), {0, 0}};
  // One WM_TIMER at a time per timer: the next one is due a whole period after this one is taken.
  if (remove) best->due = now + std::chrono::milliseconds(best->elapse);
  return true;
}

std::optional<Clock::time_point> NextTimer(DWORD tid, HWND filter, UINT lo, UINT hi) {
  std::optional<Clock::time_point> next;
  if (!MatchRange(WM_TIMER, lo, hi)) return next;
  for (const Timer& t : S().timers)
    if (t.thread == tid && MatchWindow(t.hwnd, filter) && (!next || t.due < *next)) next = t.due;
  return next;
}

bool ValidFilter(HWND filter) {
  if (filter == 0 || filter == HWND(-1)) return true;
  Window* w = W(filter);
  return w && w->thread == GetCurrentThreadId();
}

// Waits for a message for the calling thread, letting the desktop act while nothing is there. After
// the desktop acted and nothing arrived, returns a WM_NULL (when the range admits it) so a modal
// loop gets to look at its end condition.
bool Wait(MSG* m, HWND filter, UINT lo, UINT hi, bool remove) {
  DWORD tid = GetCurrentThreadId();
  bool acted = false;
  // Only a thread a person could be waiting on asks the desktop: one that owns windows, or the one
  // that installed the desktop. A worker waiting for posts just waits.
  bool person = tid == DesktopThread();
  if (!person) {
    std::lock_guard lock(S().mu);
    S().windows.ForEach([&](HANDLE, Window& w) { person = person || w.thread == tid; });
  }
  for (;;) {
    std::unique_lock lock(S().mu);
    Queue& q = MyQueue();
    if (Take(q, tid, m, filter, lo, hi, remove)) return true;
    uint64_t stamp = q.stamp;
    if (acted && MatchRange(WM_NULL, lo, hi)) {
      *m = MSG{W(filter) ? filter : 0, WM_NULL, 0, 0, GetTickCount(), {0, 0}};
      return true;
    }
    lock.unlock();

    Desktop& desktop = CurrentDesktop();
    if (person && desktop.Idle()) {
      acted = true;
      continue;
    }

    lock.lock();
    Queue& q2 = MyQueue();
    if (q2.stamp != stamp) continue;
    auto changed = [&] { return q2.stamp != stamp; };
    if (auto next = NextTimer(tid, filter, lo, hi)) {
      q2.cv.wait_until(lock, *next, changed);
      continue;
    }
    int limit = person ? desktop.BlockLimitMs() : -1;
    if (limit < 0) {
      q2.cv.wait(lock, changed);
    } else if (!q2.cv.wait_for(lock, std::chrono::milliseconds(limit), changed)) {
      lock.unlock();
      desktop.Stalled();  // may throw; no lock is held
    }
  }
}

WNDPROC ProcOf(HWND h) {
  std::lock_guard lock(S().mu);
  Window* w = W(h);
  return w ? w->proc : nullptr;
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
  info.control = w.control;
}

// Destroys a window and everything below it: owned windows first, then WM_DESTROY to the window,
// its children (each destroyed the same way), WM_NCDESTROY, and finally the handle.
void DestroyTree(HWND h) {
  std::vector<HWND> owned;
  {
    std::lock_guard lock(S().mu);
    Window* w = W(h);
    if (!w || w->destroying) return;
    w->destroying = true;
    S().windows.ForEach([&](HANDLE other, Window& o) {
      if (o.owner == h && !o.destroying) owned.push_back(other);
    });
  }
  for (HWND o : owned) DestroyTree(o);
  {
    std::lock_guard lock(S().mu);
    if (Window* w = W(h)) w->style &= ~DWORD(WS_VISIBLE);
  }
  SendMessageA(h, WM_DESTROY, 0, 0);
  std::vector<HWND> children;
  {
    std::lock_guard lock(S().mu);
    if (Window* w = W(h)) children = w->children;
  }
  for (HWND c : children) DestroyTree(c);
  SendMessageA(h, WM_NCDESTROY, 0, 0);

  std::lock_guard lock(S().mu);
  Window* w = W(h);
  if (!w) return;
  if (Window* p = W(w->parent)) std::erase(p->children, h);
  std::erase_if(S().timers, [&](const Timer& t) { return t.hwnd == h; });
  if (auto it = S().queues.find(w->thread); it != S().queues.end())
    std::erase_if(it->second->messages, [&](const MSG& m) { return m.hwnd == h; });
  if (S().focus == h) S().focus = 0;
  if (S().active == h) S().active = 0;
  if (S().foreground == h) S().foreground = 0;
  S().windows.Remove(h);
}

void ShowChanged(HWND h, bool show, bool topLevel) {
  SendMessageA(h, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  if (show && topLevel) CurrentDesktop().Shown(Describe(h));
}

size_t CopyText(const std::string& text, LPSTR out, size_t size) {
  if (!out || size == 0) return 0;
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}

}  // namespace

// ---- detail -------------------------------------------------------------------------------------

namespace korven::platform {

size_t LiveWindowCount() {
  std::lock_guard lock(S().mu);
  return S().windows.Live();
}

size_t LiveTimerCount() {
  std::lock_guard lock(S().mu);
  return S().timers.size();
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

// ---- user32 -------------------------------------------------------------------------------------

extern "C" {

WORD WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
  if (!lpWndClass || !lpWndClass->lpszClassName || reinterpret_cast<uintptr_t>(lpWndClass->lpszClassName) < 0x10000 ||
      !*lpWndClass->lpszClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard lock(S().mu);
  std::string key = LowerAscii(lpWndClass->lpszClassName);
  if (S().classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  if (S().nextAtom == 0xFFFF) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  ClassEntry& e = S().classes[key];
  e.name = lpWndClass->lpszClassName;
  e.wc = *lpWndClass;
  if (lpWndClass->lpszMenuName && reinterpret_cast<uintptr_t>(lpWndClass->lpszMenuName) >= 0x10000)
    e.menuName = lpWndClass->lpszMenuName;
  e.atom = S().nextAtom++;
  return e.atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
  (void)hInstance;
  std::lock_guard lock(S().mu);
  ClassEntry* e = FindClass(lpClassName);
  if (!e || e->builtin) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  bool used = false;
  S().windows.ForEach([&](HANDLE, Window& w) { used = used || EqualNoCase(w.className, e->name); });
  if (used) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  S().classes.erase(LowerAscii(e->name));
  return TRUE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE hInstance, LPCSTR lpClassName, WNDCLASSA* lpWndClass) {
  (void)hInstance;
  std::lock_guard lock(S().mu);
  ClassEntry* e = FindClass(lpClassName);
  if (!e || !lpWndClass) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  *lpWndClass = e->wc;
  lpWndClass->lpszClassName = e->name.c_str();
  lpWndClass->lpszMenuName = e->menuName.empty() ? nullptr : e->menuName.c_str();
  return e->atom;
}

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (nMaxCount <= 0) return 0;
  return static_cast<int>(CopyText(w->className, lpClassName, static_cast<size_t>(nMaxCount)));
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
  HWND h = 0;
  std::string className;
  {
    std::lock_guard lock(S().mu);
    ClassEntry* cls = FindClass(lpClassName);
    if (!cls) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return 0;
    }
    Window w;
    if (dwStyle & WS_CHILD) {
      if (!hWndParent) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return 0;
      }
      if (!W(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
      }
      w.parent = hWndParent;
      w.id = static_cast<int>(hMenu);
    } else if (hWndParent) {
      // A top-level window is owned by the top-level window of the one given.
      if (!W(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
      }
      w.owner = TopLevelOf(hWndParent);
    }
    w.className = cls->name;
    w.proc = cls->wc.lpfnWndProc;
    w.instance = hInstance;
    // WS_VISIBLE is applied after WM_CREATE, as Win32 does, so the window is complete when shown.
    w.style = dwStyle & ~DWORD(WS_VISIBLE);
    w.exStyle = dwExStyle;
    w.thread = GetCurrentThreadId();
    int x = X == CW_USEDEFAULT ? 0 : X, y = Y == CW_USEDEFAULT ? 0 : Y;
    int cx = nWidth == CW_USEDEFAULT ? 400 : nWidth, cy = nHeight == CW_USEDEFAULT ? 300 : nHeight;
    w.rect = RECT{x, y, x + cx, y + cy};
    if (cls->wc.cbWndExtra > 0) w.extra.assign(static_cast<size_t>(cls->wc.cbWndExtra), 0);
    className = w.className;
    h = S().windows.Add(std::move(w));
    if (!h) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    if (Window* p = W(hWndParent); p && (dwStyle & WS_CHILD)) p->children.push_back(h);
    MyQueue();
  }
  CREATESTRUCTA cs{
      lpParam,      hInstance,         hMenu,    hWndParent, nHeight, nWidth, Y, X, static_cast<LONG>(dwStyle),
      lpWindowName, className.c_str(), dwExStyle};
  if (!SendMessageA(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    DestroyTree(h);
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (SendMessageA(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyTree(h);
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((dwStyle & WS_VISIBLE) && IsWindow(h)) ShowWindow(h, SW_SHOW);
  return IsWindow(h) ? h : 0;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  {
    std::lock_guard lock(S().mu);
    Window* w = W(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;
  }
  DestroyTree(hWnd);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
  std::lock_guard lock(S().mu);
  return W(hWnd) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  bool wasDisabled;
  {
    std::lock_guard lock(S().mu);
    Window* w = W(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !bEnable) return wasDisabled ? TRUE : FALSE;
    if (bEnable)
      w->style &= ~DWORD(WS_DISABLED);
    else
      w->style |= WS_DISABLED;
    // A disabled window cannot keep the keyboard focus.
    if (!bEnable && (S().focus == hWnd || IsDescendant(S().focus, hWnd))) S().focus = 0;
  }
  SendMessageA(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
  return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w) return FALSE;
  for (; w; w = (w->style & WS_CHILD) ? W(w->parent) : nullptr)
    if (!(w->style & WS_VISIBLE)) return FALSE;
  return TRUE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  bool wasVisible, show = nCmdShow != SW_HIDE, topLevel;
  {
    std::lock_guard lock(S().mu);
    Window* w = W(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    wasVisible = (w->style & WS_VISIBLE) != 0;
    topLevel = !(w->style & WS_CHILD);
    bool activate = show && topLevel && nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE;
    if (show && topLevel && (!wasVisible || activate)) w->zOrder = ++S().zCounter;
    if (activate) S().active = S().foreground = hWnd;
    if (show == wasVisible) return wasVisible ? TRUE : FALSE;
    if (show) {
      w->style |= WS_VISIBLE;
    } else {
      w->style &= ~DWORD(WS_VISIBLE);
      if (S().focus == hWnd || IsDescendant(S().focus, hWnd)) S().focus = 0;
      if (S().active == hWnd) S().active = 0;
      if (S().foreground == hWnd) S().foreground = 0;
    }
  }
  ShowChanged(hWnd, show, topLevel);
  return wasVisible ? TRUE : FALSE;
}

HWND WINAPI GetParent(HWND hWnd) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->style & WS_CHILD) return w->parent;
  // Win32: the owner, but only for a WS_POPUP window.
  return (w->style & WS_POPUP) ? w->owner : 0;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (uCmd) {
    case GW_OWNER:
      return (w->style & WS_CHILD) ? 0 : w->owner;
    case GW_CHILD:
      return w->children.empty() ? 0 : w->children.front();
    case GW_HWNDNEXT:
    case GW_HWNDPREV: {
      Window* p = (w->style & WS_CHILD) ? W(w->parent) : nullptr;
      if (!p) return 0;
      auto it = std::find(p->children.begin(), p->children.end(), hWnd);
      if (uCmd == GW_HWNDNEXT) return (it == p->children.end() || it + 1 == p->children.end()) ? 0 : *(it + 1);
      return (it == p->children.begin() || it == p->children.end()) ? 0 : *(it - 1);
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
  }
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
  std::lock_guard lock(S().mu);
  return W(hWndParent) && IsDescendant(hWnd, hWndParent) ? TRUE : FALSE;
}

HWND WINAPI SetParent(HWND hWndChild, HWND hWndNewParent) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWndChild);
  Window* np = W(hWndNewParent);
  if (!w || (hWndNewParent && !np) || hWndNewParent == hWndChild || IsDescendant(hWndNewParent, hWndChild)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  HWND previous = (w->style & WS_CHILD) ? w->parent : 0;
  if (Window* op = W(previous)) std::erase(op->children, hWndChild);
  if (np) {
    w->style |= WS_CHILD;
    w->style &= ~DWORD(WS_POPUP);
    w->parent = hWndNewParent;
    w->owner = 0;
    np->children.push_back(hWndChild);
  } else {
    w->style &= ~DWORD(WS_CHILD);
    w->parent = 0;
  }
  return previous;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  std::lock_guard lock(S().mu);
  Window* w = W(hDlg);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  for (HWND c : w->children)
    if (Window* cw = W(c); cw && cw->id == nIDDlgItem) return c;
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return 0;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return (w->style & WS_CHILD) ? w->id : 0;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item ? SetWindowTextA(item, lpString) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  if (!item) {
    if (lpString && cchMax > 0) lpString[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  lpString[0] = '\0';
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(
      SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (nIndex) {
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->exStyle);
    case GWLP_ID:
      return w->id;
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return static_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      return static_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
    default:
      if (nIndex >= 0 && size_t(nIndex) + sizeof(LONG_PTR) <= w->extra.size()) {
        LONG_PTR v;
        std::memcpy(&v, w->extra.data() + nIndex, sizeof v);
        return v;
      }
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  SetLastError(0);
  LONG_PTR old = 0;
  switch (nIndex) {
    case GWL_STYLE:
      old = static_cast<LONG>(w->style);
      w->style = static_cast<DWORD>(dwNewLong);
      break;
    case GWL_EXSTYLE:
      old = static_cast<LONG>(w->exStyle);
      w->exStyle = static_cast<DWORD>(dwNewLong);
      break;
    case GWLP_ID:
      old = w->id;
      w->id = static_cast<int>(dwNewLong);
      break;
    case GWLP_USERDATA:
      old = w->userData;
      w->userData = dwNewLong;
      break;
    case GWLP_WNDPROC:
      if (!dwNewLong) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
      break;
    case GWLP_HINSTANCE:
      old = static_cast<LONG_PTR>(w->instance);
      w->instance = static_cast<HINSTANCE>(dwNewLong);
      break;
    default:
      if (nIndex >= 0 && size_t(nIndex) + sizeof(LONG_PTR) <= w->extra.size()) {
        std::memcpy(&old, w->extra.data() + nIndex, sizeof old);
        std::memcpy(w->extra.data() + nIndex, &dwNewLong, sizeof dwNewLong);
        break;
      }
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
  return old;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  (void)bRepaint;
  {
    std::lock_guard lock(S().mu);
    Window* w = W(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    w->rect = RECT{X, Y, X + nWidth, Y + nHeight};
  }
  SendMessageA(hWnd, WM_MOVE, 0, MAKELPARAM(X, Y));
  SendMessageA(hWnd, WM_SIZE, 0, MAKELPARAM(nWidth, nHeight));
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w || !lpRect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // Children are placed relative to their parent; the result is in screen coordinates.
  RECT r = w->rect;
  for (Window* p = (w->style & WS_CHILD) ? W(w->parent) : nullptr; p;
       p = (p->style & WS_CHILD) ? W(p->parent) : nullptr) {
    r.left += p->rect.left;
    r.right += p->rect.left;
    r.top += p->rect.top;
    r.bottom += p->rect.top;
  }
  *lpRect = r;
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w || !lpRect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *lpRect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  if (!lpEnumFunc) return FALSE;
  std::vector<std::pair<uint64_t, HWND>> top;
  {
    std::lock_guard lock(S().mu);
    S().windows.ForEach([&](HANDLE h, Window& w) {
      if (!(w.style & WS_CHILD) && !w.destroying) top.emplace_back(w.zOrder, h);
    });
  }
  std::stable_sort(top.begin(), top.end(), [](auto& a, auto& b) { return a.first > b.first; });
  for (auto& [z, h] : top)
    if (IsWindow(h) && !lpEnumFunc(h, lParam)) return FALSE;
  return TRUE;
}

BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  if (!lpEnumFunc) return FALSE;
  std::vector<HWND> all;
  std::function<void(HWND)> collect = [&](HWND h) {
    for (HWND c : ChildWindows(h)) {
      all.push_back(c);
      collect(c);
    }
  };
  collect(hWndParent);
  for (HWND h : all)
    if (IsWindow(h) && !lpEnumFunc(h, lParam)) return FALSE;
  return TRUE;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  std::lock_guard lock(S().mu);
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpdwProcessId) *lpdwProcessId = static_cast<DWORD>(getpid());
  return w->thread;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_NCCREATE: {
      const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      StoreCaption(hWnd,
                   cs && cs->lpszName && reinterpret_cast<uintptr_t>(cs->lpszName) >= 0x10000 ? cs->lpszName : "");
      return TRUE;
    }
    case WM_SETTEXT:
      return StoreCaption(hWnd, reinterpret_cast<const char*>(lParam)) ? TRUE : FALSE;
    case WM_GETTEXT:
      return static_cast<LRESULT>(CopyText(Caption(hWnd), reinterpret_cast<char*>(lParam), wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(Caption(hWnd).size());
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hWnd, WM_CLOSE, 0, 0);
      return 0;
    default:
      return 0;
  }
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = ProcOf(hWnd);
  if (!proc) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return proc(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard lock(S().mu);
  MSG m{hWnd, Msg, wParam, lParam, GetTickCount(), {0, 0}};
  if (hWnd == 0) {
    Queue& q = MyQueue();
    q.messages.push_back(m);
    Wake(q);
    return TRUE;
  }
  if (hWnd == HWND_BROADCAST) {
    S().windows.ForEach([&](HANDLE h, Window& w) {
      if (w.style & WS_CHILD) return;
      Queue& q = QueueOf(w.thread);
      m.hwnd = h;
      q.messages.push_back(m);
      Wake(q);
    });
    return TRUE;
  }
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Queue& q = QueueOf(w->thread);
  q.messages.push_back(m);
  Wake(q);
  return TRUE;
}

BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard lock(S().mu);
  auto it = S().queues.find(idThread);
  if (it == S().queues.end()) {
    // As in Win32, a thread has a queue only once it used a message or window function.
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  it->second->messages.push_back(MSG{0, Msg, wParam, lParam, GetTickCount(), {0, 0}});
  Wake(*it->second);
  return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
  std::lock_guard lock(S().mu);
  Queue& q = MyQueue();
  q.quit = true;
  q.quitCode = nExitCode;
  Wake(q);
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  {
    std::lock_guard lock(S().mu);
    if (!lpMsg || !ValidFilter(hWnd)) {
      SetLastError(lpMsg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
      return -1;
    }
  }
  Wait(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true);
  return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  std::lock_guard lock(S().mu);
  if (!lpMsg || !ValidFilter(hWnd)) {
    SetLastError(lpMsg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Take(MyQueue(), GetCurrentThreadId(), lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0)
             ? TRUE
             : FALSE;
}

BOOL WINAPI WaitMessage(void) {
  MSG m;
  Wait(&m, 0, 0, 0, false);
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  // There is no keyboard layout to translate with: key messages stay as they are.
  (void)lpMsg;
  return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  if (!lpMsg) return 0;
  if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
    // Only the procedure of a live timer is called, never an arbitrary address from a posted message.
    TIMERPROC proc = nullptr;
    {
      std::lock_guard lock(S().mu);
      for (const Timer& t : S().timers)
        if (reinterpret_cast<LPARAM>(t.proc) == lpMsg->lParam && t.hwnd == lpMsg->hwnd && t.id == lpMsg->wParam)
          proc = t.proc;
    }
    if (proc) proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
    return 0;
  }
  if (!lpMsg->hwnd) return 0;
  return SendMessageA(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
  if (!lpMsg || !IsWindow(hDlg)) return FALSE;
  if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
  if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_RETURN) {
    if (!PressDefaultButton(hDlg)) SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
  }
  if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_ESCAPE) {
    HWND cancel = GetDlgItem(hDlg, IDCANCEL);
    if (!cancel || IsWindowEnabled(cancel))
      SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), static_cast<LPARAM>(cancel));
    return TRUE;
  }
  DispatchMessageA(lpMsg);
  return TRUE;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  std::lock_guard lock(S().mu);
  DWORD tid = GetCurrentThreadId();
  if (hWnd) {
    Window* w = W(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->thread != tid) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  UINT elapse = std::clamp(uElapse, kTimerMinimum, kTimerMaximum);
  auto due = Clock::now() + std::chrono::milliseconds(elapse);
  auto find = [&](HWND h, UINT_PTR id) -> Timer* {
    for (Timer& t : S().timers)
      if (t.hwnd == h && t.id == id && (h || t.thread == tid)) return &t;
    return nullptr;
  };
  UINT_PTR id = nIDEvent;
  Timer* t = find(hWnd, id);
  if (!hWnd && !t) {
    // A thread timer gets a fresh id; nIDEvent only matters when it names an existing one.
    do id = S().nextThreadTimer++;
    while (id == 0 || find(0, id));
  }
  if (!t) {
    S().timers.push_back(Timer{});
    t = &S().timers.back();
  }
  *t = Timer{hWnd, id, elapse, lpTimerFunc, tid, due, ++S().timerSeq};
  Wake(MyQueue());
  return hWnd && id == 0 ? 1 : id;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  std::lock_guard lock(S().mu);
  if (hWnd && !W(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  DWORD tid = GetCurrentThreadId();
  auto& timers = S().timers;
  for (auto it = timers.begin(); it != timers.end(); ++it) {
    if (it->hwnd == hWnd && it->id == uIDEvent && (hWnd || it->thread == tid)) {
      timers.erase(it);
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

UINT WINAPI RegisterWindowMessageA(LPCSTR lpString) {
  if (!lpString || !*lpString) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard lock(S().mu);
  auto [it, added] = S().messageNames.emplace(LowerAscii(lpString), 0);
  if (added) {
    if (S().nextMessage == 0) {
      S().messageNames.erase(it);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    it->second = S().nextMessage;
    S().nextMessage = S().nextMessage == 0xFFFF ? 0 : S().nextMessage + 1;
  }
  return it->second;
}

HWND WINAPI SetFocus(HWND hWnd) {
  HWND previous;
  {
    std::lock_guard lock(S().mu);
    previous = S().focus;
    if (hWnd) {
      Window* w = W(hWnd);
      if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
      }
      if (w->thread != GetCurrentThreadId() || (w->style & WS_DISABLED)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
      }
      S().active = TopLevelOf(hWnd);
    }
    S().focus = hWnd;
  }
  if (previous == hWnd) return previous;
  if (previous) SendMessageA(previous, WM_KILLFOCUS, static_cast<WPARAM>(hWnd), 0);
  if (hWnd) SendMessageA(hWnd, WM_SETFOCUS, static_cast<WPARAM>(previous), 0);
  return previous;
}

HWND WINAPI GetFocus(void) {
  std::lock_guard lock(S().mu);
  Window* w = W(S().focus);
  return w && w->thread == GetCurrentThreadId() ? S().focus : 0;
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  std::lock_guard lock(S().mu);
  HWND top = TopLevelOf(hWnd);
  Window* w = W(top);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  S().foreground = S().active = top;
  w->zOrder = ++S().zCounter;
  return TRUE;
}

HWND WINAPI GetForegroundWindow(void) {
  std::lock_guard lock(S().mu);
  return W(S().foreground) ? S().foreground : 0;
}

HWND WINAPI SetActiveWindow(HWND hWnd) {
  std::lock_guard lock(S().mu);
  HWND top = TopLevelOf(hWnd);
  Window* w = W(top);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  HWND previous = W(S().active) ? S().active : 0;
  S().active = top;
  w->zOrder = ++S().zCounter;
  return previous;
}

HWND WINAPI GetActiveWindow(void) {
  std::lock_guard lock(S().mu);
  Window* w = W(S().active);
  return w && w->thread == GetCurrentThreadId() ? S().active : 0;
}

BOOL WINAPI BringWindowToTop(HWND hWnd) {
  std::lock_guard lock(S().mu);
  Window* w = W(TopLevelOf(hWnd));
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->zOrder = ++S().zCounter;
  return TRUE;
}

BOOL WINAPI MessageBeep(UINT uType) {
  (void)uType;
  return TRUE;
}

}  // extern "C"
