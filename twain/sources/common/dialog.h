// The source's own dialog: a modeless "#32770" window titled with the product name, with a line
// describing the settings, a default "Scan" button and a "Close" button. It knows nothing of TWAIN:
// pressing a button calls back, and the owner decides what that means.
#ifndef KORVEN_VIRTUAL_DIALOG_H
#define KORVEN_VIRTUAL_DIALOG_H

#include <windows.h>

#include <functional>
#include <string>

namespace korven::virtualds {

class SourceDialog {
 public:
  SourceDialog() = default;
  ~SourceDialog() { Destroy(); }
  SourceDialog(const SourceDialog&) = delete;
  SourceDialog& operator=(const SourceDialog&) = delete;

  // Creates and shows the dialog, owned by `owner` (may be 0). False when a window could not be made.
  bool Create(HWND owner, const std::string& caption, const std::string& info, std::function<void()> onScan,
              std::function<void()> onClose);
  void Destroy();
  bool IsOpen() const { return hwnd_ != 0; }
  HWND Handle() const { return hwnd_; }
  void EnableScan(bool enable);
  // Makes Scan (true) or Close (false) the default push button.
  void SetDefaultToScan(bool scan);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = 0;
  WNDPROC baseProc_ = nullptr;
  std::function<void()> onScan_, onClose_;
};

}  // namespace korven::virtualds

#endif
