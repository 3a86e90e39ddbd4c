// The built-in control classes ("STATIC", "BUTTON", "EDIT", "LISTBOX", "COMBOBOX", the track bar
// "msctls_trackbar32" and the tab control "SysTabControl32"), the dialog class "#32770" and
// MessageBoxA. Controls keep just enough state for programs and desktops to read and operate them
// and for a picture to show them (snapshot_cairo.cpp draws them).
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

bool HasStyle(HWND hwnd, DWORD bits) { return (static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)) & bits) != 0; }

// The selection of an edit field, clamped to the text (a negative end means the end of the text).
void ClampSelection(ControlState& c, int length) {
  auto clamp = [&](int v) { return v < 0 || v > length ? length : v; };
  c.selStart = clamp(c.selStart);
  c.selEnd = clamp(c.selEnd);
  if (c.selStart > c.selEnd) std::swap(c.selStart, c.selEnd);
}

// EM_SETSEL / CB_SETEDITSEL: start -1 removes the selection (the caret stays), end -1 means the end.
void SetSelection(HWND hwnd, int start, int end) {
  const int length = static_cast<int>(Caption(hwnd).size());
  WithControl(hwnd, [&](ControlState& c, WindowInfo&) {
    if (start == -1) {
      c.selStart = c.selEnd;
    } else {
      c.selStart = start;
      c.selEnd = end;
    }
    ClampSelection(c, length);
  });
}

// One typed character in an edit field: it replaces the selection; backspace deletes the selection or
// the character before the caret (a whole multi-byte character); other control characters do nothing.
// Returns whether the text changed.
bool TypeChar(HWND hwnd, char ch) {
  const auto byte = static_cast<unsigned char>(ch);
  if (byte < 0x20 && byte != '\b') return false;
  std::string text = Caption(hwnd);
  bool changed = false;
  WithControl(hwnd, [&](ControlState& c, WindowInfo&) {
    ClampSelection(c, static_cast<int>(text.size()));
    auto start = static_cast<size_t>(c.selStart), end = static_cast<size_t>(c.selEnd);
    if (byte == '\b' && start == end) {
      if (start == 0) return;
      const char* prev = CharPrevA(text.c_str(), text.c_str() + start);
      start = static_cast<size_t>(prev - text.c_str());
    }
    if (byte != '\b' && c.maxLength > 0 && text.size() - (end - start) >= static_cast<size_t>(c.maxLength)) return;
    std::string typed = text.substr(0, start);
    if (byte != '\b') typed.push_back(ch);
    typed.append(text, end, std::string::npos);
    text = std::move(typed);
    c.selStart = c.selEnd = static_cast<int>(start + (byte == '\b' ? 0 : 1));
    changed = true;
  });
  if (changed) StoreCaption(hwnd, text.c_str());
  return changed;
}

// ---- Track bars -----------------------------------------------------------------------------------

// Moves the slider to pos (clamped to the range); returns whether it moved.
bool MoveTrackBar(HWND hwnd, int pos) {
  bool moved = false;
  WithControl(hwnd, [&](ControlState& c, WindowInfo&) {
    pos = std::clamp(pos, c.rangeMin, std::max(c.rangeMin, c.rangeMax));
    moved = pos != c.pos;
    c.pos = pos;
  });
  return moved;
}

// Tells the parent that the slider moved (WM_HSCROLL, or WM_VSCROLL for TBS_VERT), then that the
// movement ended, as a track bar does after a drag or a key.
void SlideNotify(HWND hwnd, int code) {
  HWND parent = GetParent(hwnd);
  if (!parent) return;
  const UINT msg = HasStyle(hwnd, TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
  const auto pos = static_cast<int>(SendMessageA(hwnd, TBM_GETPOS, 0, 0));
  SendMessageA(parent, msg, MAKEWPARAM(code, pos), static_cast<LPARAM>(hwnd));
  if (IsWindow(hwnd)) SendMessageA(parent, msg, MAKEWPARAM(TB_ENDTRACK, 0), static_cast<LPARAM>(hwnd));
}

// ---- Tab controls ---------------------------------------------------------------------------------

void NotifyParent(HWND control, UINT code, LRESULT* result = nullptr) {
  HWND parent = GetParent(control);
  NMHDR hdr{control, static_cast<UINT_PTR>(GetDlgCtrlID(control)), code};
  const LRESULT r = parent ? SendMessageA(parent, WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr)) : 0;
  if (result) *result = r;
}

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

bool SlideTo(HWND trackBar, int pos) {
  WindowInfo info;
  if (!GetWindowInfo(trackBar, info) || !EqualNoCase(info.className, TRACKBAR_CLASSA)) return false;
  MoveTrackBar(trackBar, pos);
  SlideNotify(trackBar, TB_THUMBPOSITION);
  return true;
}

bool SelectTab(HWND tabControl, int index) {
  WindowInfo info;
  if (!GetWindowInfo(tabControl, info) || !EqualNoCase(info.className, WC_TABCONTROLA)) return false;
  if (index < 0 || index >= static_cast<int>(info.control.items.size())) return false;
  if (index == info.control.selected) return true;
  LRESULT refused = 0;
  NotifyParent(tabControl, TCN_SELCHANGING, &refused);
  if (refused || !IsWindow(tabControl)) return true;  // the parent keeps the page: the click still happened
  SendMessageA(tabControl, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  NotifyParent(tabControl, TCN_SELCHANGE);
  return true;
}

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
      if (type == BS_AUTO3STATE)
        WithControl(hwnd, [](ControlState& c, WindowInfo&) { c.check = (c.check + 1) % 3; });
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
  switch (msg) {
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcA(hwnd, msg, wParam, lParam);
      SetSelection(hwnd, 0, 0);
      Notify(hwnd, EN_CHANGE);
      return r;
    }
    case WM_CHAR:
      if (!HasStyle(hwnd, ES_READONLY) && TypeChar(hwnd, static_cast<char>(wParam))) Notify(hwnd, EN_CHANGE);
      return 0;
    case EM_SETSEL:
      SetSelection(hwnd, static_cast<int>(wParam), static_cast<int>(lParam));
      return 0;
    case EM_LIMITTEXT:
      WithControl(hwnd, [&](ControlState& c, WindowInfo&) { c.maxLength = static_cast<int>(wParam); });
      return 0;
    case EM_SETREADONLY: {
      const auto style = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
      SetWindowLongPtrA(hwnd, GWL_STYLE, static_cast<LONG_PTR>(wParam ? (style | ES_READONLY) : (style & ~DWORD(ES_READONLY))));
      return TRUE;
    }
    case EM_GETSEL: {
      LRESULT sel = 0;
      WithControl(hwnd, [&](ControlState& c, WindowInfo&) { sel = MAKELONG(c.selStart, c.selEnd); });
      return sel;
    }
    case WM_SETFOCUS:
      Notify(hwnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      Notify(hwnd, EN_KILLFOCUS);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (ListMessage(kListBox, hwnd, msg, wParam, lParam, r)) return r;
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (ListMessage(kComboBox, hwnd, msg, wParam, lParam, r)) return r;
  // A drop-down list has no edit field; an editable combo box (CBS_DROPDOWN, CBS_SIMPLE) takes typing.
  const bool editable = (GetWindowLongPtrA(hwnd, GWL_STYLE) & 0x3) != CBS_DROPDOWNLIST;
  switch (msg) {
    case WM_CHAR:
      if (editable && TypeChar(hwnd, static_cast<char>(wParam))) Notify(hwnd, CBN_EDITCHANGE);
      return 0;
    case CB_SETEDITSEL:
      if (!editable) return CB_ERR;
      SetSelection(hwnd, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      return TRUE;
    case CB_LIMITTEXT:
      WithControl(hwnd, [&](ControlState& c, WindowInfo&) { c.maxLength = static_cast<int>(wParam); });
      return TRUE;
    case CB_GETEDITSEL: {
      LRESULT sel = 0;
      WithControl(hwnd, [&](ControlState& c, WindowInfo&) { sel = MAKELONG(c.selStart, c.selEnd); });
      return sel;
    }
    case WM_SETTEXT: {
      const LRESULT done = DefWindowProcA(hwnd, msg, wParam, lParam);
      SetSelection(hwnd, 0, 0);
      return done;
    }
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK TrackBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  auto withState = [&](auto f) { WithControl(hwnd, [&](ControlState& c, WindowInfo&) { f(c); }); };
  auto keepPosInRange = [](ControlState& c) { c.pos = std::clamp(c.pos, c.rangeMin, std::max(c.rangeMin, c.rangeMax)); };
  switch (msg) {
    case TBM_GETPOS: withState([&](ControlState& c) { r = c.pos; }); return r;
    case TBM_GETRANGEMIN: withState([&](ControlState& c) { r = c.rangeMin; }); return r;
    case TBM_GETRANGEMAX: withState([&](ControlState& c) { r = c.rangeMax; }); return r;
    case TBM_SETPOS: MoveTrackBar(hwnd, static_cast<int>(lParam)); return 0;
    case TBM_SETRANGE:
      withState([&](ControlState& c) {
        c.rangeMin = static_cast<short>(LOWORD(lParam));
        c.rangeMax = static_cast<short>(HIWORD(lParam));
        keepPosInRange(c);
      });
      return 0;
    case TBM_SETRANGEMIN:
    case TBM_SETRANGEMAX:
      withState([&](ControlState& c) {
        (msg == TBM_SETRANGEMIN ? c.rangeMin : c.rangeMax) = static_cast<int>(lParam);
        keepPosInRange(c);
      });
      return 0;
    case TBM_SETTICFREQ: withState([&](ControlState& c) { c.ticFreq = static_cast<int>(wParam); }); return 0;
    case TBM_SETPAGESIZE: withState([&](ControlState& c) { r = c.pageSize; c.pageSize = static_cast<int>(lParam); }); return r;
    case TBM_GETPAGESIZE: withState([&](ControlState& c) { r = c.pageSize; }); return r;
    case TBM_SETLINESIZE: withState([&](ControlState& c) { r = c.lineSize; c.lineSize = static_cast<int>(lParam); }); return r;
    case TBM_GETLINESIZE: withState([&](ControlState& c) { r = c.lineSize; }); return r;
    case WM_KEYDOWN: {
      // The keys a person moves a focused slider with; the parent hears WM_HSCROLL (WM_VSCROLL).
      int pos = 0, line = 1, page = 1, lo = 0, hi = 0;
      withState([&](ControlState& c) { pos = c.pos, line = c.lineSize, page = c.pageSize, lo = c.rangeMin, hi = c.rangeMax; });
      int code = -1;
      switch (wParam) {
        case VK_LEFT: case VK_UP: pos -= line, code = TB_LINEUP; break;
        case VK_RIGHT: case VK_DOWN: pos += line, code = TB_LINEDOWN; break;
        case VK_PRIOR: pos -= page, code = TB_PAGEUP; break;
        case VK_NEXT: pos += page, code = TB_PAGEDOWN; break;
        case VK_HOME: pos = lo, code = TB_TOP; break;
        case VK_END: pos = hi, code = TB_BOTTOM; break;
        default: return DefWindowProcA(hwnd, msg, wParam, lParam);
      }
      MoveTrackBar(hwnd, pos);
      SlideNotify(hwnd, code);
      return 0;
    }
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK TabControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  auto withState = [&](auto f) { WithControl(hwnd, [&](ControlState& c, WindowInfo&) { f(c); }); };
  const auto* item = reinterpret_cast<const TCITEMA*>(lParam);
  const int index = static_cast<int>(wParam);
  switch (msg) {
    case TCM_GETITEMCOUNT: withState([&](ControlState& c) { r = static_cast<LRESULT>(c.items.size()); }); return r;
    case TCM_INSERTITEMA:
      r = -1;
      withState([&](ControlState& c) {
        if (!item || index < 0) return;
        const int at = std::min(index, static_cast<int>(c.items.size()));
        c.items.insert(c.items.begin() + at, (item->mask & TCIF_TEXT) && item->pszText ? item->pszText : "");
        c.itemData.insert(c.itemData.begin() + at, item->lParam);
        if (c.selected >= at) ++c.selected;
        if (c.selected < 0) c.selected = 0;  // the first tab is selected as soon as there is one
        r = at;
      });
      return r;
    case TCM_SETITEMA:
    case TCM_GETITEMA:
      withState([&](ControlState& c) {
        if (!item || index < 0 || index >= static_cast<int>(c.items.size()) || !(item->mask & TCIF_TEXT)) return;
        auto& text = c.items[static_cast<size_t>(index)];
        if (msg == TCM_SETITEMA) {
          text = item->pszText ? item->pszText : "";
        } else if (item->pszText && item->cchTextMax > 0) {
          const size_t n = std::min(text.size(), static_cast<size_t>(item->cchTextMax) - 1);
          std::memcpy(item->pszText, text.data(), n);
          item->pszText[n] = '\0';
        }
        r = TRUE;
      });
      return r;
    case TCM_DELETEITEM:
      withState([&](ControlState& c) {
        if (index < 0 || index >= static_cast<int>(c.items.size())) return;
        c.items.erase(c.items.begin() + index);
        c.itemData.erase(c.itemData.begin() + index);
        if (c.selected == index) c.selected = -1;
        else if (c.selected > index) --c.selected;
        r = TRUE;
      });
      return r;
    case TCM_DELETEALLITEMS:
      withState([&](ControlState& c) { c.items.clear(), c.itemData.clear(), c.selected = -1; });
      return TRUE;
    case TCM_GETCURSEL: withState([&](ControlState& c) { r = c.selected; }); return r;
    case TCM_SETCURSEL:
      r = -1;
      withState([&](ControlState& c) {
        if (index < 0 || index >= static_cast<int>(c.items.size())) return;
        r = c.selected;
        c.selected = index;
      });
      return r;
    case TCM_SETITEMSIZE:
      withState([&](ControlState& c) {
        r = MAKELONG(c.tabWidth, c.tabHeight);
        c.tabWidth = static_cast<short>(LOWORD(lParam));
        c.tabHeight = static_cast<short>(HIWORD(lParam));
      });
      return r;
    case TCM_GETROWCOUNT:
    case TCM_GETITEMRECT:
    case TCM_ADJUSTRECT: {
      WindowInfo info;
      RECT client{};
      if (!GetWindowInfo(hwnd, info) || !GetClientRect(hwnd, &client)) return 0;
      const TabLayout layout = LayoutTabs(info, client.right, client.bottom);
      auto* rect = reinterpret_cast<RECT*>(lParam);
      if (msg == TCM_GETROWCOUNT) return layout.rows;
      if (!rect) return 0;
      if (msg == TCM_GETITEMRECT) {
        if (index < 0 || index >= static_cast<int>(layout.tabs.size())) return FALSE;
        *rect = layout.tabs[static_cast<size_t>(index)];
        return TRUE;
      }
      // TCM_ADJUSTRECT: the display area of a window rectangle, or (wParam TRUE) the other way round.
      const RECT inset{layout.display.left, layout.display.top, client.right - layout.display.right,
                       client.bottom - layout.display.bottom};
      const int sign = wParam ? -1 : 1;
      rect->left += sign * inset.left;
      rect->top += sign * inset.top;
      rect->right -= sign * inset.right;
      rect->bottom -= sign * inset.bottom;
      return 0;
    }
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
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
