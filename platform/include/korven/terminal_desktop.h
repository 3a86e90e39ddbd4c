// korven platform layer: the terminal desktop, for a person at a text terminal.
//
// Every window that waits for a person (a message box, the manager's source selection, a source's
// own dialog, a feeder prompt) is written to the terminal as text: its caption, its texts, the items
// of its list (numbered, the selected one marked), its edit boxes and its buttons (the one Enter
// presses marked). The person answers with the keys one guesses:
//   1..9          pick that item of the list
//   Up / Down     move the list's selection
//   Left / Right, Tab   move among the buttons
//   Enter         press the marked button (at first the default button)
//   Esc           press Cancel (or close the window when it has no Cancel)
//   t             type a new text into the first edit box (a line, ended with Enter)
// Only windows of the thread that waits are answered, the topmost dialog first. Available where the
// platform has terminals (POSIX); a program uses it when standard input and standard error are both
// terminals and keeps the default desktop otherwise.
#ifndef KORVEN_TERMINAL_DESKTOP_H
#define KORVEN_TERMINAL_DESKTOP_H

#include <korven/desktop.h>

#include <string>

namespace korven::platform {

class TerminalDesktop : public Desktop {
 public:
  // Reads keys from `in` and writes to `out` (file descriptors of one terminal; standard input and
  // standard error by default). The terminal's mode is changed only while a key is awaited.
  explicit TerminalDesktop(int in = 0, int out = 2);
  ~TerminalDesktop() override;
  TerminalDesktop(const TerminalDesktop&) = delete;
  TerminalDesktop& operator=(const TerminalDesktop&) = delete;

  // True when both descriptors are terminals.
  static bool Usable(int in = 0, int out = 2);

  void Shown(const ShownWindow& window) override;
  // Shows the topmost dialog (again when it changed) and waits up to a tenth of a second for a key;
  // true when the key acted on the window. Timers and posts get their turn in between.
  bool Idle() override;
  int BlockLimitMs() const override { return 100; }

 private:
  struct State;
  State* state_;
};

}  // namespace korven::platform

#endif  // KORVEN_TERMINAL_DESKTOP_H
