// Declarations shared by the platform layer's source files; not installed.
#ifndef KORVEN_PLATFORM_INTERNAL_H
#define KORVEN_PLATFORM_INTERNAL_H

#include <korven/desktop.h>
#include <korven/platform.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace korven::platform::detail {

// A Win32 path as the file system wants it: every '\' that is a whole character becomes '/'
// (the second byte of a double-byte character is left alone).
std::string PosixPath(const char* path);

// Checks a shared object's headers, segments and dynamic tables against the file before the system
// loader maps it. ERROR_SUCCESS when it may be loaded, ERROR_MOD_NOT_FOUND when there is no such file,
// ERROR_BAD_EXE_FORMAT (why says what is wrong) for an image that would fault the loader or a file
// that is not a regular one, ERROR_ACCESS_DENIED when it cannot be read.
DWORD CheckLoadableImage(const std::string& path, std::string& why);

// Case-insensitive ASCII comparison (class names, profile keys, message names).
bool EqualNoCase(const std::string& a, const std::string& b);
std::string LowerAscii(std::string s);

// ---- user32 internals used by the controls and the desktop -------------------------------------

// The state the built-in list, combo, button and edit controls keep.
struct ControlState {
  std::vector<std::string> items;
  std::vector<LONG_PTR> itemData;
  int selected = -1;
  int check = BST_UNCHECKED;
};

// A snapshot of one window taken under the layer's lock.
struct WindowInfo {
  HWND hwnd = 0;
  std::string className;  // canonical spelling of the class name
  std::string caption;
  HWND parent = 0;
  HWND owner = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  DWORD thread = 0;
  UINT messageBoxType = 0;
  uint64_t zOrder = 0;  // larger: shown or activated more recently
  ControlState control;
};

bool GetWindowInfo(HWND hwnd, WindowInfo& info);
// Children in creation order.
std::vector<HWND> ChildWindows(HWND hwnd);
// Every window (all threads), in no particular order.
std::vector<HWND> AllWindows();
// Runs f on the control state of a live window under the layer's lock; false for a bad handle.
bool WithControl(HWND hwnd, const std::function<void(ControlState&, WindowInfo&)>& f);
void SetMessageBoxType(HWND hwnd, UINT type);
// Stores the caption directly (what DefWindowProcA does with WM_SETTEXT).
bool StoreCaption(HWND hwnd, const char* text);
std::string Caption(HWND hwnd);

// The thread that last installed a desktop with SetDesktop (0: none).
DWORD DesktopThread();
// Counts SetDesktop calls, so per-thread bookkeeping of one desktop is not carried over to the next.
uint64_t DesktopGeneration();

// The procedures of the built-in classes (controls.cpp).
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ListBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);

}  // namespace korven::platform::detail

#endif
