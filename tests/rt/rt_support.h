// What the rt suites share: a fixture with a private Windows directory, a scripted desktop and the
// debug output, which also fails a test that leaves an entry in SourcesInUse; and TestScanner, which
// lets a test read and preset the session fields it examines.
#ifndef KORVEN_RT_SUPPORT_H
#define KORVEN_RT_SUPPORT_H

#include <korven/Scanner.h>
#include <korven/desktop.h>
#include <testsupport.h>
#include <vcl/Forms.h>

#include <memory>
#include <string>

namespace korven {
// States read as their names in failure messages.
inline void PrintTo(TWAINState s, std::ostream* os) { *os << vcl::EnumInfo<TWAINState>().NameOf(s); }
inline void PrintTo(TScanPaperSize s, std::ostream* os) { *os << vcl::EnumInfo<TScanPaperSize>().NameOf(s); }
inline void PrintTo(TScanUnitMode s, std::ostream* os) { *os << vcl::EnumInfo<TScanUnitMode>().NameOf(s); }
inline void PrintTo(TScanPixelType s, std::ostream* os) { *os << vcl::EnumInfo<TScanPixelType>().NameOf(s); }
inline void PrintTo(const TScanRect& r, std::ostream* os) {
  *os << "(" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << ")";
}
}  // namespace korven

namespace korven::test {

class TestScanner : public TScanner {
 public:
  using TScanner::TScanner;
  using TScanner::FBreakModalLoop;
  using TScanner::FDSMEntry;
  using TScanner::FResultCode;
  using TScanner::FState;
  using TScanner::FXferMech;
  using TScanner::FPendingXfers;
  using TScanner::FUserInterface;
};

// A virtual scanner configuration: "key = value" lines after the defaults. The source stays enabled
// when it has delivered everything (CloseWhenDone = no) unless extra says otherwise, so a test sees
// the component's own way of ending an acquisition.
inline std::string VirtualIni(const std::string& productName, const std::string& extra = "") {
  return "ProductName = " + productName + "\nCloseWhenDone = no\n" + extra;
}

class RtTest : public KorvenTest {
 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    windows = std::make_unique<PrivateWindowsDir>();
    scope = std::make_unique<platform::ScopedDesktop>(desktop);
    debug = std::make_unique<DebugCapture>();
  }
  void TearDown() override {
    scanners.clear();  // components first: their destructors unload the manager
    debug.reset();
    scope.reset();
    windows.reset();
    EXPECT_EQ(SourcesInUse->Count(), 0) << "SourcesInUse entries left behind";
    while (SourcesInUse->Count() > 0) SourcesInUse->Delete(0);
    KorvenTest::TearDown();
  }

  // Installs a virtual scanner named `product` (file name derived from it).
  void AddVirtual(const std::string& product, const std::string& extra = "", const std::string& file = "") {
    std::string name = file.empty() ? "src" + std::to_string(++sourceFiles) : file;
    windows->AddSource("virtual", name, VirtualIni(product, extra));
  }

  // A new, empty Windows directory; the components of the previous one are freed first.
  void FreshWindows() {
    scanners.clear();
    windows.reset();
    windows = std::make_unique<PrivateWindowsDir>();
  }

  // A component owned by the test (freed in TearDown, before the leak checks).
  TestScanner& NewScanner() {
    scanners.push_back(std::make_unique<TestScanner>(nullptr));
    scanners.back()->SetShowUI(false);
    return *scanners.back();
  }

  HWND AppWindow() const { return vcl::Application->GetHandle(); }

  std::unique_ptr<PrivateWindowsDir> windows;
  platform::ScriptedDesktop desktop;
  std::unique_ptr<platform::ScopedDesktop> scope;
  std::unique_ptr<DebugCapture> debug;
  std::vector<std::unique_ptr<TestScanner>> scanners;
  int sourceFiles = 0;
};

// The exact text TWAIN_ErrorBox writes for a message and two code names.
inline std::string ErrorText(const std::string& msg, const std::string& rc, const std::string& cc) {
  return msg + "\r\n ResultCode=" + rc + "\r\n ConditaionCode=" + cc;
}

}  // namespace korven::test

#endif
