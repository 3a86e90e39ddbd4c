// user32: keyboard focus, activation, foreground and Z order (process-wide; GetFocus and
// GetActiveWindow answer only for the calling thread's windows).
#include <algorithm>
#include <array>
#include <functional>

#include "user32_state.h"

using namespace korven::platform;
using namespace korven::platform::detail;
using namespace korven::platform::detail::user32;

namespace {
// Keys the desktop holds down while it sends others (Shift for Shift+Tab), per thread.
thread_local std::array<bool, 256> t_keysDown{};
}  // namespace

void korven::platform::detail::SetKeyDown(int vk, bool down) {
  if (vk >= 0 && vk < 256) t_keysDown[static_cast<size_t>(vk)] = down;
}

extern "C" {

short WINAPI GetKeyState(int nVirtKey) {
  if (nVirtKey < 0 || nVirtKey >= 256) return 0;
  return t_keysDown[static_cast<size_t>(nVirtKey)] ? static_cast<short>(0x8000) : 0;
}

HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  // Every visible, enabled descendant, depth first in creation order, marked whether it is a stop.
  std::vector<std::pair<HWND, bool>> all;
  std::function<void(HWND)> walk = [&](HWND h) {
    for (HWND c : ChildWindows(h)) {
      WindowInfo info;
      if (!GetWindowInfo(c, info) || !(info.style & WS_VISIBLE) || (info.style & WS_DISABLED)) continue;
      all.emplace_back(c, (info.style & WS_TABSTOP) != 0);
      walk(c);
    }
  };
  walk(hDlg);
  const size_t n = all.size();
  if (n == 0) return 0;
  auto it = std::find_if(all.begin(), all.end(), [&](const auto& e) { return e.first == hCtl; });
  // From hCtl's place the next stop either way, wrapping around; without hCtl the first (last) stop.
  for (size_t step = 0; step < n; ++step) {
    size_t i;
    if (it == all.end())
      i = bPrevious ? n - 1 - step : step;
    else
      i = bPrevious ? (static_cast<size_t>(it - all.begin()) + n - 1 - step) % n
                    : (static_cast<size_t>(it - all.begin()) + 1 + step) % n;
    if (all[i].second) return all[i].first;
  }
  return 0;
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
