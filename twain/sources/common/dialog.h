// A data source's own dialog: a modeless "#32770" window titled with the product name, with a text
// describing the settings, a default "Scan" button and a second button ("Close" unless the source
// names it otherwise). It knows nothing of TWAIN: pressing a button calls back, and the owner decides
// what that means. Shared by korven's data sources.
#ifndef KORVEN_DS_DIALOG_H
#define KORVEN_DS_DIALOG_H

#include <windows.h>

#include <functional>
#include <string>

namespace korven::ds {

class SourceDialog {
 public:
  SourceDialog() = default;
  ~SourceDialog() { Destroy(); }
  SourceDialog(const SourceDialog&) = delete;
  SourceDialog& operator=(const SourceDialog&) = delete;

  // Creates and shows the dialog, owned by `owner` (may be 0). False when a window could not be made.
  // `closeLabel` names the second button.
  bool Create(HWND owner, const std::string& caption, const std::string& info, std::function<void()> onScan,
              std::function<void()> onClose, const std::string& closeLabel = "Close");
  // Replaces the text describing the settings.
  void SetInfo(const std::string& info);
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

}  // namespace korven::ds

#endif
