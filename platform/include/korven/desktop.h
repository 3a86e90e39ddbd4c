// korven platform layer: the desktop, the one place where a window waits for a person.
//
// Every window that waits for a person (message boxes, the framework's message dialogs and modal
// forms, the TWAIN manager's source selection, a data source's own dialog, file dialogs) is an
// ordinary window of the platform layer, built from the built-in controls ("BUTTON", "EDIT",
// "LISTBOX", "COMBOBOX", "STATIC") so that a desktop can read and operate it. The desktop is asked
// to act whenever a GUI thread waits in GetMessageA/WaitMessage with nothing queued and no timer due.
//
// A person sees only what is visible: controls need WS_VISIBLE (and enabled to be operated). Build a
// window hidden, add its controls, then ShowWindow it: Desktop::Shown describes it at that moment.
// The desktop acts only on windows of the thread that waits, and only threads that own a window (or
// the thread that installed the desktop) ask it; other threads waiting in GetMessageA, such as a
// worker waiting for posts, simply wait.
//
//  - DefaultDesktop (installed in programs) acts as a person pressing the default button of the
//    topmost dialog would, and writes what was shown to standard error; it gives up on a dialog that
//    will not close.
//  - ScriptedDesktop (installed by tests) records every window shown and performs its script's steps
//    in order, one whenever the application waits; when the application waits and no step can act
//    and no timer is set (or only timers have kept it waiting for a while), it throws DesktopStalled
//    with a description of what is on screen, so a test fails with a clear message instead of hanging.
#ifndef KORVEN_DESKTOP_H
#define KORVEN_DESKTOP_H

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace korven::platform {

// What a person sees of one control (hidden ones are described too when read by name).
struct ShownControl {
  HWND hwnd = 0;
  std::string className;     // "BUTTON", "EDIT", "COMBOBOX", "msctls_trackbar32", a framework class...
  std::string automationId;  // the name the owner gave it for tests (SetAutomationId)
  std::string text;          // caption, or contents (an edit box, a combo box's field or selection)
  std::string label;         // the text of the label that names it, '&' kept (see FindControlWindow)
  std::string hint;          // what a person sees on hovering (SetWindowHint)
  bool visible = false;      // it and every parent
  bool enabled = false;      // it and every parent
  bool focused = false;
  int checked = -1;          // check boxes and radio buttons: BST_UNCHECKED/CHECKED/INDETERMINATE; -1 others
  std::vector<std::string> items;  // list and combo boxes; the tabs of a tab control
  int selected = -1;               // the selected item or tab
  int position = 0, rangeMin = 0, rangeMax = 0;  // track bars
  bool sliderVisible = false;                    // track bars: false with TBS_NOTHUMB
  RECT rect{};               // in the top-level window's client area
};

// What a person sees of a top-level window.
struct ShownWindow {
  HWND hwnd = 0;
  std::string className;
  std::string caption;
  std::vector<std::string> texts;    // static texts in creation order (a message box's text first)
  std::vector<std::string> buttons;  // button captions in creation order
  std::vector<std::string> items;    // items of the first list or combo box
  std::vector<std::string> edits;    // contents of the edit boxes in creation order
  std::string defaultButton;         // caption of the default push button, if any
  std::string selectedItem;          // selected item of the first list or combo box, if any
  UINT messageBoxType = 0;           // uType of a MessageBoxA window, 0 otherwise
  bool dialog = false;               // class "#32770" or WS_EX_DLGMODALFRAME
  std::vector<ShownControl> controls;  // every visible control, depth first in creation order
};

// A description of the window as it is now; an empty description (hwnd 0) for an invalid handle.
ShownWindow Describe(HWND hwnd);
// One line a person could read: "[caption] text... (buttons: OK, Cancel)".
std::string DescribeLine(const ShownWindow& w);
// Visible top-level windows of the calling thread, the most recently shown or activated first.
std::vector<HWND> VisibleWindows();

// What the owner of a control tells the desktop beyond Win32; false for an invalid window.
// An automation id names a control for tests (the framework gives each control its component name).
bool SetAutomationId(HWND hwnd, const std::string& id);
// The hint a person sees when hovering over the control ("" for none).
bool SetWindowHint(HWND hwnd, const std::string& hint);
// The control a label names: its accelerator focuses that control (0: the next one, as Win32 does).
bool SetLabelFor(HWND label, HWND control);

// Finds a control of a top-level window by what a person (or a test) calls it, trying in order: its
// automation id; a button's or check box's caption; the text of the label that names it (the label
// whose SetLabelFor is the control, else the "STATIC" created just before it). Texts compare without
// case, '&' accelerators and a trailing ':'. With `usable`, only visible, enabled controls (and none
// when the window itself is disabled). 0 when nothing matches.
HWND FindControlWindow(HWND window, const std::string& control, bool usable = true);
// The control as it is now, hidden or not; an empty description (hwnd 0) when there is none.
ShownControl ReadControl(HWND window, const std::string& control);
ShownControl DescribeControl(HWND control);

// Acting as a person would, on the controls of a top-level window (and its descendants). Each
// returns false when nothing matches (the control is missing, hidden or disabled). Button captions
// and items compare without regard to case and to '&' accelerators.
//
// An action that clicks (pressing a button, setting a check box, picking an item, choosing a tab,
// moving a slider) first moves the keyboard focus to the control, as the click would; a control that
// loses the focus may object (an error box from a handler that checks what was typed), and when a
// window appears while the focus moves, the click itself is lost, as it is on Windows. Typing goes on.
// `control` names the control as FindControlWindow does.
bool PressButton(HWND window, const std::string& caption);
// Presses the window's BS_DEFPUSHBUTTON button; false when it has none.
bool PressDefaultButton(HWND window);
// Selects the item in the list or combo box (controlId 0: the first one) and notifies the parent.
bool PickItem(HWND window, const std::string& item, int controlId = 0);
bool PickItem(HWND window, const std::string& item, const std::string& control);
// Replaces the text of the edit box (controlId 0: the first one) as a person would: focuses it,
// selects all and types the text one character (byte) at a time (WM_CHAR, so a handler may discard
// keys); an empty text is typed as a backspace. The parent hears EN_CHANGE for each change.
bool TypeText(HWND window, const std::string& text, int controlId = 0);
// The same for an edit box or an editable combo box named as FindControlWindow does.
bool TypeText(HWND window, const std::string& text, const std::string& control);
// Sets a check box to checked or unchecked by clicking it when it is not so already.
bool SetCheck(HWND window, const std::string& control, bool checked);
// Moves the keyboard focus to the control, as clicking into it would.
bool FocusOn(HWND window, const std::string& control);
// Moves a track bar's slider to the position (clamped to its range); its parent hears WM_HSCROLL.
bool Slide(HWND window, const std::string& control, int position);
// Chooses the tab with that text on the window's first tab control that has it.
bool ChooseTab(HWND window, const std::string& tab);
// Presses a key (VK_TAB, VK_RETURN, ...) on the window's focused control (or the window), with Shift
// held when asked.
bool PressKey(HWND window, int virtualKey, bool shift = false);
// Alt+key: the window's owner handles it first (WM_SYSCHAR); otherwise the button whose caption has
// that accelerator is pressed, or the control that the label with it names gets the focus.
bool PressAccelerator(HWND window, char key);
// Reads a control's text (controlId 0: the first edit box); empty when missing.
std::string ReadText(HWND window, int controlId = 0);
// Sends WM_CLOSE, as the window's close box would.
bool RequestClose(HWND window);

// The person in front of the screen: told of every top-level window shown, and asked to act
// whenever a thread waits for messages with nothing to do. One per process (SetDesktop).
class Desktop {
 public:
  virtual ~Desktop() = default;
  // A top-level window became visible.
  virtual void Shown(const ShownWindow& window) { (void)window; }
  // The calling thread waits: nothing queued, no timer due. Act and return true, or return false when
  // nothing can act now.
  virtual bool Idle() = 0;
  // Nothing acted and no timer is set: how long the thread may wait for a message posted by another
  // thread before Stalled is called. Negative: wait without limit.
  virtual int BlockLimitMs() const { return -1; }
  // The thread waited BlockLimitMs in vain. May throw; if it returns, the wait goes on.
  virtual void Stalled() {}
  // Nothing acted and only timers kept the thread waiting: how long in all (since the last message
  // that was no WM_TIMER, or the last action) before StalledOnTimers is called. Negative: no limit.
  virtual int TimerOnlyLimitMs() const { return -1; }
  // The thread waited TimerOnlyLimitMs for its timers alone. May throw; if it returns, the wait goes on.
  virtual void StalledOnTimers() {}
};

// Installs the desktop for the process (not owned); nullptr restores the default desktop.
// Returns the previous one (nullptr for the default).
Desktop* SetDesktop(Desktop* desktop);
Desktop& CurrentDesktop();

// Presses the default button (or the only button, or OK) of the topmost visible dialog and writes
// each window shown to standard error (silent when constructed with quiet = true).
//
// A dialog that stays open after the same button was pressed kMaxPresses times (a handler refuses to
// close it, a prompt reappears) is given up on, so a program cannot loop for ever: a line naming the
// dialog and the button goes to standard error (also when quiet), then the next waits press its
// "Cancel" button (unless that was the button pressed) and then send WM_CLOSE, one action per wait.
// If it is still open after that, a line says so and Idle returns false while that dialog is the
// topmost one: the program waits, like one whose user walked away. Windows shown later are answered
// as usual. A dialog that shows something new after each press (a wizard's next page, a scanner's
// dialog after the next page is in: its texts, items, boxes, default or enabled buttons changed)
// asks for the button again and is pressed as often as it asks.
class DefaultDesktop : public Desktop {
 public:
  static constexpr int kMaxPresses = 3;

  explicit DefaultDesktop(bool quiet = false) : quiet_(quiet) {}
  void Shown(const ShownWindow& window) override;
  bool Idle() override;

 private:
  enum class Stage { Pressing, CancelTried, CloseTried, Abandoned };
  struct Attempts {
    HWND button = 0;  // the button pressed last
    int presses = 0;  // how often in a row, the dialog staying open and unchanged
    Stage stage = Stage::Pressing;
    std::string before;  // what the dialog showed before the last press
  };
  bool quiet_;
  std::mutex mu_;                      // guards attempts_; never held while a button is pressed
  std::map<HWND, Attempts> attempts_;  // by dialog; dropped when the dialog is gone
};

// Thrown by ScriptedDesktop when the program waits for input and no queued step can act; the
// message lists the windows on screen and the next step.
class DesktopStalled : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A desktop for tests: install it with ScopedDesktop (or SetDesktop), queue the steps a person would
// take, run the code under test, then check Shown() and Remaining(). Meant for one GUI thread. A step
// leaves the script before it runs, so a step that opens another modal window (a nested loop) is
// followed by the next steps inside that loop. A step whose action throws (a handler of the pressed
// button raises) is consumed all the same, and the exception passes out of GetMessageA.
class ScriptedDesktop : public Desktop {
 public:
  // A step acts on the topmost visible window whose caption contains `caption` (any window when
  // empty) and that has what the step needs.
  ScriptedDesktop& Press(const std::string& button, const std::string& caption = "");
  ScriptedDesktop& Pick(const std::string& item, const std::string& caption = "", int controlId = 0);
  ScriptedDesktop& Pick(const std::string& item, const std::string& caption, const std::string& control);
  ScriptedDesktop& Type(const std::string& text, const std::string& caption = "", int controlId = 0);
  ScriptedDesktop& Type(const std::string& text, const std::string& caption, const std::string& control);
  ScriptedDesktop& Close(const std::string& caption = "");
  // The actions of the functions above (SetCheck, FocusOn, Slide, ChooseTab, PressKey,
  // PressAccelerator), as steps.
  ScriptedDesktop& Check(const std::string& control, bool checked = true, const std::string& caption = "");
  ScriptedDesktop& Focus(const std::string& control, const std::string& caption = "");
  ScriptedDesktop& Slide(const std::string& control, int position, const std::string& caption = "");
  ScriptedDesktop& SelectTab(const std::string& tab, const std::string& caption = "");
  ScriptedDesktop& Key(int virtualKey, const std::string& caption = "", bool shift = false);
  // Tab (Shift+Tab with backwards) on the focused control.
  ScriptedDesktop& Tab(const std::string& caption = "", bool backwards = false) {
    return Key(VK_TAB, caption, backwards);
  }
  ScriptedDesktop& Accelerator(char key, const std::string& caption = "");
  // A free step: `action` runs when the application waits and returns whether it acted; a step that
  // returns false stays first in the script.
  ScriptedDesktop& Do(const std::string& description, std::function<bool()> action);
  // A standing rule, not consumed: whenever the application waits and no step can act, press
  // `button` on a window whose caption contains `caption`.
  ScriptedDesktop& Always(const std::string& button, const std::string& caption = "");

  // Every top-level window shown so far, in order.
  const std::vector<ShownWindow>& Shown() const { return shown_; }
  // Descriptions of the steps not performed yet.
  std::vector<std::string> Remaining() const;
  // How long to wait for another thread's post before failing (default 3000 ms).
  void SetBlockLimitMs(int ms) { blockLimitMs_ = ms; }
  // How long the application may wait with only timers firing (a poll that never sees what it
  // polls for) before failing (default 10000 ms; negative: no limit).
  void SetTimerOnlyLimitMs(int ms) { timerOnlyLimitMs_ = ms; }

  void Shown(const ShownWindow& window) override;
  bool Idle() override;
  int BlockLimitMs() const override { return blockLimitMs_; }
  int TimerOnlyLimitMs() const override { return timerOnlyLimitMs_; }
  // Throws DesktopStalled naming the windows on screen and the next step.
  void Stalled() override;
  // Throws DesktopStalled naming the wait on timers, the windows on screen and the next step.
  void StalledOnTimers() override;

 private:
  struct Step {
    std::string description;
    std::function<bool()> act;
  };
  std::vector<Step> steps_;
  std::vector<Step> rules_;
  std::vector<ShownWindow> shown_;
  int blockLimitMs_ = 3000;
  int timerOnlyLimitMs_ = 10000;
  void Throw(const std::string& why) const;
};

// Installs a desktop for the current scope and restores the previous one on exit.
class ScopedDesktop {
 public:
  explicit ScopedDesktop(Desktop& desktop) : previous_(SetDesktop(&desktop)) {}
  ~ScopedDesktop() { SetDesktop(previous_); }
  ScopedDesktop(const ScopedDesktop&) = delete;
  ScopedDesktop& operator=(const ScopedDesktop&) = delete;

 private:
  Desktop* previous_;
};

}  // namespace korven::platform

#endif  // KORVEN_DESKTOP_H
