#include "dialog.h"

namespace korven::ds {

namespace {
constexpr int kScanId = IDOK;
constexpr int kCloseId = IDCANCEL;
constexpr int kInfoId = 100;
}  // namespace

bool SourceDialog::Create(HWND owner, const std::string& caption, const std::string& info,
                          std::function<void()> onScan, std::function<void()> onClose,
                          const std::string& closeLabel) {
  Destroy();
  HWND dlg = CreateWindowExA(WS_EX_DLGMODALFRAME, "#32770", caption.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                             CW_USEDEFAULT, CW_USEDEFAULT, 340, 150, owner, 0, 0, nullptr);
  if (!dlg) return false;
  // Our procedure sits in front of the dialog class's own, and finds this object through the user data.
  SetWindowLongPtrA(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  baseProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(dlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
  hwnd_ = dlg;
  onScan_ = std::move(onScan);
  onClose_ = std::move(onClose);
  bool ok = CreateWindowExA(0, "STATIC", info.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 310, 50, dlg,
                            (HMENU)(UINT_PTR)kInfoId, 0, nullptr) &&
            CreateWindowExA(0, "BUTTON", "Scan", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 150, 80, 80,
                            26, dlg, (HMENU)(UINT_PTR)kScanId, 0, nullptr) &&
            CreateWindowExA(0, "BUTTON", closeLabel.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 240, 80, 80,
                            26, dlg, (HMENU)(UINT_PTR)kCloseId, 0, nullptr);
  if (!ok) {
    Destroy();
    return false;
  }
  ShowWindow(dlg, SW_SHOW);
  return true;
}

void SourceDialog::Destroy() {
  if (!hwnd_) return;
  HWND h = hwnd_;
  hwnd_ = 0;  // callbacks during destruction find the dialog gone
  if (IsWindow(h)) {
    SetWindowLongPtrA(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
  }
  onScan_ = nullptr;
  onClose_ = nullptr;
  baseProc_ = nullptr;
}

void SourceDialog::SetInfo(const std::string& info) {
  if (hwnd_) SetWindowTextA(GetDlgItem(hwnd_, kInfoId), info.c_str());
}

void SourceDialog::EnableScan(bool enable) {
  if (hwnd_) EnableWindow(GetDlgItem(hwnd_, kScanId), enable ? TRUE : FALSE);
}

void SourceDialog::SetDefaultToScan(bool scan) {
  if (!hwnd_) return;
  constexpr LONG_PTR kButtonType = 0x0F;  // the BS_* push button kinds
  auto setType = [](HWND button, LONG_PTR type) {
    if (button) SetWindowLongPtrA(button, GWL_STYLE, (GetWindowLongPtrA(button, GWL_STYLE) & ~kButtonType) | type);
  };
  setType(GetDlgItem(hwnd_, kScanId), scan ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
  setType(GetDlgItem(hwnd_, kCloseId), scan ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON);
}

LRESULT CALLBACK SourceDialog::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<SourceDialog*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        // Copy the callback: it may destroy this dialog.
        if (LOWORD(wParam) == kScanId && self->onScan_) {
          auto f = self->onScan_;
          f();
          return 0;
        }
        if (LOWORD(wParam) == kCloseId && self->onClose_) {
          auto f = self->onClose_;
          f();
          return 0;
        }
      }
      break;
    case WM_CLOSE:
      // The close box asks, like the Close button; the application decides.
      if (self->onClose_) {
        auto f = self->onClose_;
        f();
      }
      return 0;
    default: break;
  }
  return self->baseProc_ ? CallWindowProcA(self->baseProc_, hwnd, msg, wParam, lParam)
                         : DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace korven::ds
