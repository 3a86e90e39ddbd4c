// The built-in control classes ("STATIC", "BUTTON", "EDIT", "LISTBOX", "COMBOBOX"), the dialog class
// "#32770" and MessageBoxA. Controls keep just enough state for programs and desktops to read and
// operate them; nothing is drawn.
#include <algorithm>
#include <cstring>

#include "internal.h"

using namespace korven::platform;
using namespace korven::platform::detail;

namespace {

void Notify(HWND control, WORD code) {
  HWND parent = GetParent(control);
  if (!parent) return;
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), static_cast<LPARAM>(control));
}

bool LessNoCase(const std::string& a, const std::string& b) { return LowerAscii(a) < LowerAscii(b); }

// The list part shared by list boxes and combo boxes. `error` is LB_ERR/CB_ERR (both -1).
struct ListMessages {
  UINT add, insert, remove, reset, setSel, getSel, getText, getTextLen, count, findExact, getData, setData;
  DWORD sortStyle;
};
constexpr ListMessages kListBox{LB_ADDSTRING,   LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT, LB_SETCURSEL,
                                LB_GETCURSEL,   LB_GETTEXT,      LB_GETTEXTLEN,   LB_GETCOUNT,     LB_FINDSTRINGEXACT,
                                LB_GETITEMDATA, LB_SETITEMDATA,  LBS_SORT};
constexpr ListMessages kComboBox{CB_ADDSTRING,   CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT, CB_SETCURSEL,
                                 CB_GETCURSEL,   CB_GETLBTEXT,    CB_GETLBTEXTLEN, CB_GETCOUNT,     CB_FINDSTRINGEXACT,
                                 CB_GETITEMDATA, CB_SETITEMDATA,  CBS_SORT};

// Answers a list message; returns false when msg is not one of them.
bool ListMessage(const ListMessages& m, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  const LRESULT err = -1;
  bool handled = true;
  std::string selectedText;
  bool selectionChanged = false;
  WithControl(hwnd, [&](ControlState& c, WindowInfo& info) {
    auto count = static_cast<LRESULT>(c.items.size());
    auto index = static_cast<LRESULT>(static_cast<int>(wParam));  // WPARAM carries an int index
    auto valid = [&](LRESULT i) { return i >= 0 && i < count; };
    const char* text = reinterpret_cast<const char*>(lParam);
    if (msg == m.add || msg == m.insert) {
      std::string item = text ? text : "";
      LRESULT at = count;
      if (msg == m.insert) {
        if (index != -1 && (index < 0 || index > count)) {
          result = err;
          return;
        }
        if (index != -1) at = index;
      } else if (info.style & m.sortStyle) {
        at = std::upper_bound(c.items.begin(), c.items.end(), item, LessNoCase) - c.items.begin();
      }
      c.items.insert(c.items.begin() + at, item);
      c.itemData.insert(c.itemData.begin() + at, 0);
      if (c.selected >= at) ++c.selected;
      result = at;
    } else if (msg == m.remove) {
      if (!valid(index)) {
        result = err;
        return;
      }
      c.items.erase(c.items.begin() + index);
      c.itemData.erase(c.itemData.begin() + index);
      if (c.selected == index) {
        c.selected = -1;
        selectionChanged = true;
      } else if (c.selected > index) {
        --c.selected;
      }
      result = count - 1;
    } else if (msg == m.reset) {
      c.items.clear();
      c.itemData.clear();
      c.selected = -1;
      selectionChanged = true;
      result = 0;
    } else if (msg == m.setSel) {
      // Win32: -1 clears the selection and still answers "error".
      if (index == -1) {
        c.selected = -1;
        selectionChanged = true;
        result = err;
      } else if (!valid(index)) {
        result = err;
      } else {
        c.selected = static_cast<int>(index);
        selectedText = c.items[static_cast<size_t>(index)];
        selectionChanged = true;
        result = index;
      }
    } else if (msg == m.getSel) {
      result = c.selected >= 0 ? c.selected : err;
    } else if (msg == m.getText) {
      if (!valid(index) || !lParam) {
        result = err;
        return;
      }
      // Like Win32, the buffer is trusted to hold GETTEXTLEN + 1 characters.
      const std::string& s = c.items[static_cast<size_t>(index)];
      std::memcpy(reinterpret_cast<char*>(lParam), s.c_str(), s.size() + 1);
      result = static_cast<LRESULT>(s.size());
    } else if (msg == m.getTextLen) {
      result = valid(index) ? static_cast<LRESULT>(c.items[static_cast<size_t>(index)].size()) : err;
    } else if (msg == m.count) {
      result = count;
    } else if (msg == m.findExact) {
      result = err;
      if (!text || count == 0) return;
      LRESULT start = valid(index) ? index : -1;
      for (LRESULT k = 1; k <= count; ++k) {
        LRESULT i = (start + k) % count;
        if (EqualNoCase(c.items[static_cast<size_t>(i)], text)) {
          result = i;
          return;
        }
      }
    } else if (msg == m.getData) {
      result = valid(index) ? c.itemData[static_cast<size_t>(index)] : err;
    } else if (msg == m.setData) {
      if (!valid(index)) {
        result = err;
        return;
      }
      c.itemData[static_cast<size_t>(index)] = lParam;
      result = TRUE;
    } else {
      handled = false;
    }
  });
  // A drop-down list's text is its selected item.
  if (handled && selectionChanged && &m == &kComboBox) StoreCaption(hwnd, selectedText.c_str());
  return handled;
}

// ---- MessageBoxA ----------------------------------------------------------------------------------

struct BoxButton {
  const char* caption;
  int id;
};

std::vector<BoxButton> ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK:
      return {{"OK", IDOK}};
    case MB_OKCANCEL:
      return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
      return {{"&Abort", IDABORT}, {"&Retry", IDRETRY}, {"&Ignore", IDIGNORE}};
    case MB_YESNOCANCEL:
      return {{"&Yes", IDYES}, {"&No", IDNO}, {"Cancel", IDCANCEL}};
    case MB_YESNO:
      return {{"&Yes", IDYES}, {"&No", IDNO}};
    case MB_RETRYCANCEL:
      return {{"&Retry", IDRETRY}, {"Cancel", IDCANCEL}};
    case MB_CANCELTRYCONTINUE:
      return {{"Cancel", IDCANCEL}, {"&Try Again", IDTRYAGAIN}, {"&Continue", IDCONTINUE}};
    default:
      return {};
  }
}

struct BoxState {
  WNDPROC dialogProc = nullptr;
  UINT type = 0;
  int result = 0;
  bool done = false;
};

LRESULT CALLBACK MessageBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* st = reinterpret_cast<BoxState*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!st) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      for (const BoxButton& b : ButtonsOf(st->type))
        if (b.id == id) {
          st->result = id;
          st->done = true;
        }
      return 0;
    }
    case WM_CLOSE: {
      // The close box answers Cancel where there is one, OK for a lone OK, and nothing otherwise.
      UINT kind = st->type & MB_TYPEMASK;
      if (kind == MB_OK) {
        st->result = IDOK;
        st->done = true;
      } else if (GetDlgItem(hwnd, IDCANCEL)) {
        st->result = IDCANCEL;
        st->done = true;
      }
      return 0;
    }
    default:
      return CallWindowProcA(st->dialogProc, hwnd, msg, wParam, lParam);
  }
}

}  // namespace

namespace korven::platform::detail {

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case BM_CLICK: {
      if (!IsWindowEnabled(hwnd)) return 0;
      DWORD type = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)) & BS_TYPEMASK;
      if (type == BS_AUTOCHECKBOX)
        WithControl(
            hwnd, [](ControlState& c, WindowInfo&) { c.check = c.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED; });
      if (type == BS_AUTORADIOBUTTON) WithControl(hwnd, [](ControlState& c, WindowInfo&) { c.check = BST_CHECKED; });
      Notify(hwnd, BN_CLICKED);
      return 0;
    }
    case BM_GETCHECK: {
      LRESULT check = BST_UNCHECKED;
      WithControl(hwnd, [&](ControlState& c, WindowInfo&) { check = c.check; });
      return check;
    }
    case BM_SETCHECK:
      WithControl(hwnd, [&](ControlState& c, WindowInfo&) { c.check = static_cast<int>(wParam); });
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT) {
    LRESULT r = DefWindowProcA(hwnd, msg, wParam, lParam);
    Notify(hwnd, EN_CHANGE);
    return r;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (ListMessage(kListBox, hwnd, msg, wParam, lParam, r)) return r;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (ListMessage(kComboBox, hwnd, msg, wParam, lParam, r)) return r;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CLOSE) {
    // As the dialog manager does: closing means IDCANCEL, unless a Cancel button exists and is disabled.
    HWND cancel = GetDlgItem(hwnd, IDCANCEL);
    if (cancel && !IsWindowEnabled(cancel)) return 0;
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), static_cast<LPARAM>(cancel));
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace korven::platform::detail

extern "C" int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  std::vector<BoxButton> buttons = ButtonsOf(uType);
  if (buttons.empty()) {
    SetLastError(ERROR_INVALID_MSGBOX_STYLE);
    return 0;
  }
  if (hWnd && !IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }

  BoxState st;  // outlives the guard below: the box's procedure reads it until the box is gone
  st.type = uType;

  // Everything the box changes is put back by this guard, also when the desktop throws.
  struct Restore {
    std::vector<HWND> disabled;
    HWND box = 0;
    ~Restore() {
      for (HWND h : disabled) EnableWindow(h, TRUE);
      if (box && IsWindow(box)) DestroyWindow(box);
    }
  } restore;

  HWND box =
      CreateWindowExA(WS_EX_DLGMODALFRAME, "#32770", lpCaption ? lpCaption : "Error",
                      WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 360, 140, hWnd, 0, 0, nullptr);
  if (!box) return 0;
  restore.box = box;
  SetMessageBoxType(box, uType);
  st.dialogProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(box, GWLP_WNDPROC));
  SetWindowLongPtrA(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&st));
  SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageBoxProc));

  CreateWindowExA(0, "STATIC", lpText ? lpText : "", WS_CHILD | WS_VISIBLE, 16, 16, 320, 40, box, 0xFFFF, 0, nullptr);
  size_t defIndex = (uType & MB_DEFMASK) >> 8;
  if (defIndex >= buttons.size()) defIndex = 0;
  HWND defButton = 0;
  for (size_t i = 0; i < buttons.size(); ++i) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == defIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    HWND b = CreateWindowExA(0, "BUTTON", buttons[i].caption, style, 16 + int(i) * 96, 80, 88, 26, box,
                             static_cast<HMENU>(buttons[i].id), 0, nullptr);
    if (!b) return 0;
    if (i == defIndex) defButton = b;
  }

  // Modal: the owner (or, task-modal without an owner, every top-level window of the thread) takes
  // no input while the box is up.
  std::vector<HWND> toDisable;
  if (hWnd) {
    HWND owner = GetWindow(box, GW_OWNER);
    toDisable.push_back(owner ? owner : hWnd);
  } else if (uType & MB_TASKMODAL) {
    DWORD tid = GetCurrentThreadId();
    for (HWND h : AllWindows()) {
      WindowInfo info;
      if (h != box && GetWindowInfo(h, info) && !(info.style & WS_CHILD) && info.thread == tid) toDisable.push_back(h);
    }
  }
  for (HWND h : toDisable)
    if (IsWindowEnabled(h)) {
      EnableWindow(h, FALSE);
      restore.disabled.push_back(h);
    }

  ShowWindow(box, SW_SHOW);
  SetFocus(defButton);

  MSG msg;
  while (!st.done && IsWindow(box)) {
    BOOL r = GetMessageA(&msg, 0, 0, 0);
    if (r == 0) {
      // WM_QUIT ends the box and is posted again for the caller's loop, as a dialog does.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (r == -1) break;
    if (!IsDialogMessageA(box, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return st.done ? st.result : 0;
}
