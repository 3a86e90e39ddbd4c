// user32: what a window holds (caption and dialog item text, window longs and extra bytes, rectangle)
// and the default window procedure.
#include <cstring>

#include "user32_state.h"

using namespace korven::platform;
using namespace korven::platform::detail;
using namespace korven::platform::detail::user32;

extern "C" {

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

}  // extern "C"
