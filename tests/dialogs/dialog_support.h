// What the dialog tests share: a scripted desktop acting as the user, a fresh folder to save into,
// and a small script language for the steps a person takes in a file dialog.
#ifndef KORVEN_TESTS_DIALOG_SUPPORT_H
#define KORVEN_TESTS_DIALOG_SUPPORT_H

#include <korven/desktop.h>
#include <vcl/FileDialogs.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testsupport.h"

namespace korven::test {

// The text of the open dialog's file-name box, read as a person would see it.
inline std::string NameBox(const vcl::TOpenDialog& dialog) {
  return dialog.GetHandle() ? korven::platform::ReadText(GetParent(dialog.GetHandle()), edt1) : "(closed)";
}

class DialogTest : public KorvenTest {
 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    dir = std::filesystem::canonical(MakeTempDir("korven-dialogs")).string();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    KorvenTest::TearDown();
  }

  // Queues steps written as "pick:<type>", "type:<name>", "press:<button>", "close", or "read"
  // (records the name box into `boxes`).
  void Script(const vcl::TOpenDialog& dialog, const std::vector<std::string>& steps) {
    for (const std::string& step : steps) {
      const std::string arg = step.substr(step.find(':') + 1);
      if (step.rfind("pick:", 0) == 0) {
        desktop.Pick(arg);
      } else if (step.rfind("type:", 0) == 0) {
        desktop.Type(arg);
      } else if (step.rfind("press:", 0) == 0) {
        desktop.Press(arg);
      } else if (step == "close") {
        desktop.Close();
      } else if (step == "read") {
        desktop.Do("read the name box", [this, &dialog] {
          boxes.push_back(NameBox(dialog));
          return true;
        });
      } else {
        ADD_FAILURE() << "unknown step " << step;
      }
    }
  }

  std::string In(const std::string& name) const { return dir + "/" + name; }

  korven::platform::ScriptedDesktop desktop;
  korven::platform::ScopedDesktop scope{desktop};
  std::string dir;
  std::vector<std::string> boxes;
};

}  // namespace korven::test

#endif
