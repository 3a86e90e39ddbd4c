// What the korvends suites share: a designed form holding Scanner1, the package's registrations, a
// private Windows directory with two virtual scanners, and a scripted desktop; InEditor runs verb 0
// and does a test's work inside the editor form's modal loop, as a person at the form would.
#ifndef KORVEN_KORVENDS_SUPPORT_H
#define KORVEN_KORVENDS_SUPPORT_H

#include <korven/Scanner.h>
#include <korven/desktop.h>
#include <korven/platform.h>
#include <testsupport.h>
#include <vcl/DesignIntf.h>
#include <vcl/Forms.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScanEdit.h"
#include "ScanReg.h"

namespace korven::test {

namespace kp = korven::platform;

// Texts of the form in the active code page.
inline std::string U(const char* utf8) { return kp::FromUtf8(utf8); }

class KorvendsTest : public KorvenTest {
 public:
  // The editor form while InEditor's work runs, and its window.
  struct Editor {
    TFormScannerEditor& form;
    HWND hwnd;
    TScanner& scanner() { return *form.WorkingScanner(); }
  };

 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    windows = std::make_unique<PrivateWindowsDir>();
    windows->AddSource("virtual", "first", "ProductName = Virtual Scanner\nCloseWhenDone = no\n" + firstConfig);
    windows->AddSource("virtual", "second", "ProductName = Second Scanner\nCloseWhenDone = no\n");
    scope = std::make_unique<kp::ScopedDesktop>(desktop);
    registrations = std::make_unique<vcl::TRegistrationScope>();
    korven::Register();
    registrations->Stop();
    root = std::make_unique<vcl::TForm>(nullptr);
    root->SetName("Form1");
    root->SetDesigning(true);
    scanner = new TScanner(root.get());
    scanner->SetName("Scanner1");
    // A quick scan: no source dialog, the component's own small settings pushed to the source.
    scanner->SetShowUI(false);
    scanner->SetUseCurrentValue(false);
    scanner->SetSourceName("Virtual Scanner");
    scanner->GetResolution()->SetValue(50);
    designer = std::make_unique<vcl::TFormDesigner>(root.get());
  }
  void TearDown() override {
    designer.reset();
    root.reset();
    registrations.reset();
    scope.reset();
    windows.reset();
    EXPECT_EQ(SourcesInUse->Count(), 0) << "SourcesInUse entries left behind";
    KorvenTest::TearDown();
  }

  // The scanner's form-file bytes, to compare before and after.
  std::string Streamed() const { return vcl::ComponentToText(scanner); }

  // Runs verb 0 (the editor form) on Scanner1: `body` runs inside the form's modal loop with the
  // form, then the steps in `then` are queued (answers to what body opens), then `close` is pressed
  // ("OK" or the cancel button). Returns nothing; the designer's state tells the outcome.
  void InEditor(const std::function<void(Editor&)>& body, const std::string& close = "cancel",
                const std::function<void(kp::ScriptedDesktop&)>& then = nullptr) {
    desktop.Do("work in the editor form", [this, body] {
      TFormScannerEditor* f = FormScannerEditor;
      if (!f || !f->GetVisible()) return false;
      Editor e{*f, f->GetHandle()};
      body(e);
      return true;
    });
    if (then) then(desktop);
    desktop.Press(close == "cancel" ? U("キャンセル") : close, "TScanner");
    vcl::GetComponentEditor(scanner, designer.get())->ExecuteVerb(0);
    EXPECT_TRUE(desktop.Remaining().empty()) << "steps left: " << desktop.Remaining().size();
  }

  // Extra virtual scanner configuration lines for the first source, set before SetUp runs.
  std::string firstConfig;
  std::unique_ptr<PrivateWindowsDir> windows;
  kp::ScriptedDesktop desktop;
  std::unique_ptr<kp::ScopedDesktop> scope;
  std::unique_ptr<vcl::TRegistrationScope> registrations;
  std::unique_ptr<vcl::TForm> root;
  TScanner* scanner = nullptr;
  std::unique_ptr<vcl::TFormDesigner> designer;
};

}  // namespace korven::test

#endif
