// user32: keyboard focus, activation, foreground and Z order (process-wide; GetFocus and
// GetActiveWindow answer only for the calling thread's windows).
#include "user32_state.h"

using namespace korven::platform;
using namespace korven::platform::detail;
using namespace korven::platform::detail::user32;

extern "C" {

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
