// Desktop scripts: the steps a person would take in the windows a verb shows, one per line, for
// `korven-designer verb --script FILE`.
//
//   # a comment; words are separated by blanks, "double quotes" hold blanks ("" is a quote)
//   press BUTTON [WINDOW]          press a button (caption, '&' ignored)
//   pick ITEM [CONTROL [WINDOW]]   choose an item of a list or combo box
//   type TEXT [CONTROL [WINDOW]]   type into an edit box or an editable combo box
//   check CONTROL [on|off [WINDOW]] set a check box (on when not said)
//   tab TAB [WINDOW]               choose the page with that tab
//   slide CONTROL POSITION [WINDOW] move a track bar's slider
//   focus CONTROL [WINDOW]         click into a control (the one that had the focus hears it leave)
//   close [WINDOW]                 close the window (its close box)
//
// WINDOW is part of the window's caption (the topmost window when left out); CONTROL names a control
// by its name in the form, its caption or the text of its label ("" or "-": the first one).
#ifndef KORVEN_DESIGNER_SCRIPT_H
#define KORVEN_DESIGNER_SCRIPT_H

#include <korven/desktop.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace korven::designer {

// A script that cannot be read: "FILE:LINE: reason".
class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Script {
 public:
  struct Step {
    std::string verb;
    std::vector<std::string> args;
    int line = 0;
  };
  // Reads and checks the whole script; raises ScriptError.
  static Script Load(const std::string& fileName);
  static Script Parse(const std::string& text, const std::string& fileName);
  const std::vector<Step>& Steps() const { return steps_; }
  // Queues the steps on the desktop, in order.
  void Queue(platform::ScriptedDesktop& desktop) const;

 private:
  std::vector<Step> steps_;
};

}  // namespace korven::designer

#endif
