// ModulePath on Windows: the module that holds an address, and its file. Backslashes become '/'
// (Win32 takes either), so the rest of the source splits paths the same way on both systems.
#include "connection_table.h"

#include <windows.h>

#include <algorithm>

namespace korven::ds {

std::string ModulePath(const void* anchor) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(anchor), &module))
    return "";
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(module, path, sizeof path);
  if (n == 0 || n >= sizeof path) return "";
  std::string result(path, n);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

}  // namespace korven::ds
