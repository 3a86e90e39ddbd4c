#include "select_dialog.h"

#include "source_module.h"

namespace korven::dsm {

namespace {

constexpr int kListId = 100;

struct DialogState {
  WNDPROC previous = nullptr;
  bool done = false;
  int chosen = -1;
};

DialogState* StateOf(HWND dialog) { return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, GWLP_USERDATA)); }

void Accept(HWND dialog, DialogState& state) {
  LRESULT index = SendDlgItemMessageA(dialog, kListId, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return;  // nothing selected: Select does nothing, as a disabled button would
  state.chosen = int(index);
  state.done = true;
}

// The dialog class's own procedure stays in charge of everything but the commands we answer.
LRESULT CALLBACK SelectProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogState* state = StateOf(dialog);
  if (!state) return DefWindowProcA(dialog, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
        Accept(dialog, *state);
        return 0;
      }
      if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED) {
        state->chosen = -1;
        state->done = true;
        return 0;
      }
      if (LOWORD(wParam) == kListId && HIWORD(wParam) == LBN_DBLCLK) {
        Accept(dialog, *state);
        return 0;
      }
      break;
    case WM_CLOSE:
      state->chosen = -1;
      state->done = true;
      return 0;
    default:
      break;
  }
  return CallWindowProcA(state->previous, dialog, message, wParam, lParam);
}

// Destroys the dialog on every way out.
struct DialogWindow {
  HWND hwnd = 0;
  ~DialogWindow() {
    if (hwnd && IsWindow(hwnd)) DestroyWindow(hwnd);
  }
};

// Disables the owner for the dialog's lifetime and gives it back its previous state.
struct OwnerDisabled {
  HWND owner;
  BOOL wasDisabled;
  explicit OwnerDisabled(HWND h) : owner(h), wasDisabled(h ? EnableWindow(h, FALSE) : FALSE) {}
  ~OwnerDisabled() {
    if (owner && IsWindow(owner)) EnableWindow(owner, wasDisabled ? FALSE : TRUE);
  }
  OwnerDisabled(const OwnerDisabled&) = delete;
  OwnerDisabled& operator=(const OwnerDisabled&) = delete;
};

}  // namespace

int RunSelectDialog(HWND owner, const std::vector<std::string>& names, int preselected) {
  if (owner && !IsWindow(owner)) owner = 0;
  DialogState state;
  DialogWindow dialog;
  dialog.hwnd = CreateWindowExA(WS_EX_DLGMODALFRAME, "#32770", "Select Source", WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                CW_USEDEFAULT, CW_USEDEFAULT, 320, 240, owner, 0, 0, nullptr);
  if (!dialog.hwnd) {
    Trace("the selection dialog could not be created (error " + std::to_string(GetLastError()) + ")");
    return -1;
  }
  HWND dlg = dialog.hwnd;
  CreateWindowExA(0, "STATIC", "Sources:", WS_CHILD | WS_VISIBLE, 10, 8, 200, 16, dlg, 0, 0, nullptr);
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP, 10, 28, 200, 160,
                              dlg, HMENU(kListId), 0, nullptr);
  HWND select = CreateWindowExA(0, "BUTTON", "Select", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 220,
                                28, 80, 24, dlg, HMENU(IDOK), 0, nullptr);
  HWND cancel = CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 220, 60,
                                80, 24, dlg, HMENU(IDCANCEL), 0, nullptr);
  if (!list || !select || !cancel) {
    Trace("the selection dialog's controls could not be created");
    return -1;
  }
  for (const std::string& name : names) SendMessageA(list, LB_ADDSTRING, 0, LPARAM(name.c_str()));
  if (preselected >= 0 && size_t(preselected) < names.size()) SendMessageA(list, LB_SETCURSEL, WPARAM(preselected), 0);

  state.previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(dlg, GWLP_WNDPROC));
  SetWindowLongPtrA(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
  SetWindowLongPtrA(dlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SelectProc));

  OwnerDisabled disabled(owner);
  ShowWindow(dlg, SW_SHOW);
  SetFocus(list);
  while (!state.done && IsWindow(dlg)) {
    MSG msg{};
    BOOL got = GetMessageA(&msg, 0, 0, 0);
    if (got == 0) {
      // The application is quitting: leave the dialog and let its own loop see WM_QUIT too.
      PostQuitMessage(int(msg.wParam));
      return -1;
    }
    if (got == -1) break;
    if (!IsDialogMessageA(dlg, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return state.done ? state.chosen : -1;
}

}  // namespace korven::dsm
