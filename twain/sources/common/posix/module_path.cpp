// ModulePath on POSIX: the dynamic loader knows which shared object holds an address.
#include "connection_table.h"

#include <dlfcn.h>

namespace korven::ds {

std::string ModulePath(const void* anchor) {
  Dl_info info{};
  if (dladdr(anchor, &info) && info.dli_fname) return info.dli_fname;
  return "";
}

}  // namespace korven::ds
