// Shared by the manager's protocol tests: a private Windows directory per test (its own twain_32/
// and win.ini) with virtual scanners installed under chosen file and product names.
#ifndef KORVEN_TEST_DSM_FIXTURE_H
#define KORVEN_TEST_DSM_FIXTURE_H

#include "testsupport.h"
#include "twain_app.h"

#include <string>

namespace korven::test {

class DsmTest : public KorvenTest {
 protected:
  // Installs the virtual scanner as twain_32/<file>.ds answering to `product`; `more` is appended to
  // its configuration.
  void AddScanner(const std::string& file, const std::string& product, const std::string& more = "") {
    windows_.AddSource("virtual", file, "ProductName=" + product + "\n" + more);
  }
  PrivateWindowsDir& Windows() { return windows_; }

 private:
  PrivateWindowsDir windows_;
};

}  // namespace korven::test

#endif
