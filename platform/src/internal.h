// Declarations shared by the platform layer's source files; not installed.
#ifndef KORVEN_PLATFORM_INTERNAL_H
#define KORVEN_PLATFORM_INTERNAL_H

#include <korven/desktop.h>
#include <korven/platform.h>
#include <korven/snapshot.h>
#include <windows.h>

#include <functional>
#include <memory>
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
// A caption as a person reads it: without '&' accelerators ("&&" is a literal '&').
std::string StripAccelerators(const std::string& s);

// Case-insensitive ASCII comparison (class names, profile keys, message names).
bool EqualNoCase(const std::string& a, const std::string& b);
std::string LowerAscii(std::string s);

// ---- user32 internals used by the controls and the desktop -------------------------------------

// The state the built-in controls keep, and what their owners tell the desktop beyond Win32.
struct ControlState {
  // List and combo boxes (the tab control keeps its tabs here too).
  std::vector<std::string> items;
  std::vector<LONG_PTR> itemData;
  int selected = -1;
  // Check boxes.
  int check = BST_UNCHECKED;
  // The text selection of an edit box or of a combo box's edit field: [selStart, selEnd).
  int selStart = 0, selEnd = 0;
  int maxLength = 0;  // EM_LIMITTEXT/CB_LIMITTEXT; 0: no limit
  // Track bars.
  int rangeMin = 0, rangeMax = 100, pos = 0, ticFreq = 1, lineSize = 1, pageSize = 20;
  // Tab controls: TCM_SETITEMSIZE (0: from the text).
  int tabWidth = 0, tabHeight = 0;
  // For the desktop: an automation id, the hint a person sees on hovering, the control a label names.
  std::string automationId;
  std::string hint;
  HWND labelFor = 0;
  // For pictures.
  std::shared_ptr<const WindowLook> look;
  std::shared_ptr<const WindowImage> image;
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
  RECT rect{};          // in the parent's client area (top-level: on the screen), frame included
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
// Counts top-level windows becoming visible, so an action can tell whether a window appeared while it
// moved the focus (an error box from a handler that checks what was typed).
uint64_t ShowCount();
// The frame of a window of these styles: what AdjustWindowRectEx adds on each side.
RECT FrameInsets(DWORD style, DWORD exStyle);

// Keyboard state the desktop sets while it sends keys (GetKeyState).
void SetKeyDown(int vk, bool down);

// Tab controls: the rectangles of the tabs (in the control's client area) and the number of rows,
// laid out from the items, the item size, the style and the width, with the deterministic text
// widths of EstimateTextWidth.
struct TabLayout {
  std::vector<RECT> tabs;
  int rows = 0;
  RECT display{};  // the area below the tabs where the pages go
};
TabLayout LayoutTabs(const WindowInfo& info, int width, int height);
// A text's width in pixels for a font of `em` pixels, from per-character advances (the same formula
// the framework's canvas uses), so layouts do not depend on the fonts installed.
int EstimateTextWidth(const std::string& text, int em);
// The font height in pixels a window's text uses (its look, else 11).
int LookFontEm(const WindowInfo& info);

// Moves a track bar's slider as a person would (clamped to the range) and tells its parent; false
// when the window is not a track bar.
bool SlideTo(HWND trackBar, int pos);
// Selects a tab as a person clicking it would: the parent hears TCN_SELCHANGING (and may refuse),
// then TCN_SELCHANGE; false when the window is not a tab control or has no such tab.
bool SelectTab(HWND tabControl, int index);

// The procedures of the built-in classes (controls.cpp).
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ListBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TrackBarProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TabControlProc(HWND, UINT, WPARAM, LPARAM);

}  // namespace korven::platform::detail

#endif
