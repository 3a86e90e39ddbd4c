// A program outside the korven tree: uses the installed platform layer and TWAIN definitions, and
// checks that the install is self-contained (its Windows directory lies inside the prefix).
#include <windows.h>
#include <korven/twainh.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  char real[PATH_MAX];
  if (!realpath(argv[1], real)) return 2;
  std::string prefix = real;
  static_assert(sizeof(TW_IDENTITY) == 156);
  HGLOBAL h = GlobalAlloc(GHND, sizeof(TW_IDENTITY));
  auto* id = static_cast<TW_IDENTITY*>(GlobalLock(h));
  if (!id) return 3;
  std::strcpy(id->ProductName, "consumer");
  GlobalUnlock(h);
  if (GlobalFree(h) != NULL) return 4;
  char dir[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryA(dir, sizeof dir);
  if (n == 0 || n >= sizeof dir) return 5;
  char realdir[PATH_MAX];
  if (!realpath(dir, realdir)) return 5;
  if (std::string(realdir).rfind(prefix, 0) != 0) {
    std::fprintf(stderr, "Windows directory %s lies outside the install prefix %s\n", dir, prefix.c_str());
    return 6;
  }
  std::printf("windows directory %s, code page %u\n", dir, GetACP());
  return 0;
}
