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
  // Children are placed in their parent's client area; the result is in screen coordinates.
  RECT r = w->rect;
  for (Window* p = (w->style & WS_CHILD) ? W(w->parent) : nullptr; p;
       p = (p->style & WS_CHILD) ? W(p->parent) : nullptr) {
    const RECT frame = FrameInsets(p->style, p->exStyle);
    const LONG dx = p->rect.left + frame.left, dy = p->rect.top + frame.top;
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
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
  const RECT frame = FrameInsets(w->style, w->exStyle);
  const LONG width = w->rect.right - w->rect.left - frame.left - frame.right;
  const LONG height = w->rect.bottom - w->rect.top - frame.top - frame.bottom;
  *lpRect = RECT{0, 0, width > 0 ? width : 0, height > 0 ? height : 0};
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  RECT r{};
  if (!lpPoint || !GetWindowRect(hWnd, &r)) return FALSE;
  WindowInfo info;
  if (!GetWindowInfo(hWnd, info)) return FALSE;
  const RECT frame = FrameInsets(info.style, info.exStyle);
  lpPoint->x += r.left + frame.left;
  lpPoint->y += r.top + frame.top;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  POINT origin{0, 0};
  if (!lpPoint || !ClientToScreen(hWnd, &origin)) return FALSE;
  lpPoint->x -= origin.x;
  lpPoint->y -= origin.y;
  return TRUE;
}

int WINAPI GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN: return 1024;
    case SM_CYSCREEN: return 768;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CYSMCAPTION: return 16;
    default: return 0;
  }
}

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle) {
  (void)bMenu;  // no menu bars here
  if (!lpRect) return FALSE;
  const RECT frame = FrameInsets(dwStyle, dwExStyle);
  lpRect->left -= frame.left;
  lpRect->top -= frame.top;
  lpRect->right += frame.right;
  lpRect->bottom += frame.bottom;
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
    case WM_KEYDOWN: {
      // Tab moves the focus to the next control with WS_TABSTOP of the top-level window, as the
      // dialog manager does (Shift+Tab to the previous one).
      if (wParam != VK_TAB) return 0;
      HWND top = hWnd;
      while (GetWindowLongPtrA(top, GWL_STYLE) & WS_CHILD) top = GetParent(top);
      if (top == hWnd) return 0;
      if (HWND next = GetNextDlgTabItem(top, hWnd, GetKeyState(VK_SHIFT) < 0)) SetFocus(next);
      return 0;
    }
    case WM_SYSCHAR:
      // Alt+key goes up to the window that handles mnemonics.
      if (GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD) return SendMessageA(GetParent(hWnd), Msg, wParam, lParam);
      return 0;
    default:
      return 0;
  }
}

}  // extern "C"

namespace korven::platform::detail {

// As Win32 computes it: an outer edge for dialog and sizing frames (or a static edge), the sizing
// band, one more line for a border, the caption below the top edge, and a client edge inside.
RECT FrameInsets(DWORD style, DWORD exStyle) {
  int adjust = 0;
  if ((exStyle & (WS_EX_STATICEDGE | WS_EX_DLGMODALFRAME)) == WS_EX_STATICEDGE)
    adjust = 1;
  else if ((exStyle & WS_EX_DLGMODALFRAME) || (style & (WS_THICKFRAME | WS_DLGFRAME)))
    adjust = 2;
  if (style & WS_THICKFRAME) adjust += GetSystemMetrics(SM_CXFRAME) - GetSystemMetrics(SM_CXDLGFRAME);
  if ((style & (WS_BORDER | WS_DLGFRAME)) || (exStyle & WS_EX_DLGMODALFRAME)) ++adjust;
  if (exStyle & WS_EX_CLIENTEDGE) adjust += GetSystemMetrics(SM_CXEDGE);
  RECT r{adjust, adjust, adjust, adjust};
  if ((style & WS_CAPTION) == WS_CAPTION)
    r.top += GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
  return r;
}

}  // namespace korven::platform::detail
