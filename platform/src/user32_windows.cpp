// user32: window classes, creating and destroying windows, their state (enabled, visible) and their
// relations (parent, owner, children, enumeration).
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include "user32_state.h"

using namespace korven::platform;
using namespace korven::platform::detail;
using namespace korven::platform::detail::user32;

namespace {

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

std::atomic<uint64_t> g_showCount{0};

void ShowChanged(HWND h, bool show, bool topLevel) {
  SendMessageA(h, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  if (show && topLevel) {
    ++g_showCount;
    CurrentDesktop().Shown(Describe(h));
  }
}

}  // namespace

uint64_t korven::platform::detail::ShowCount() { return g_showCount; }

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

}  // extern "C"
