// The component as a first program uses it, linked with korven::rt and nothing else: the CMake
// package must bring C++20 (the headers need it) and every include folder.
#include <korven/Scanner.h>

#include <cstdio>

int main() {
  korven::TScanner scanner(nullptr);
  scanner.SetUseCurrentValue(false);  // the program's own settings are sent to the source
  scanner.SetShowUI(false);           // ... without the source's dialog
  std::printf("%s\n", scanner.GetVersion().c_str());
  return scanner.GetActive() ? 1 : 0;
}
