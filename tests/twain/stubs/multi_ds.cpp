// A stand-in data source that drives several devices, for the manager's tests: it lists one identity
// per line of the <name>.ini beside it (MSG_GETFIRST / MSG_GETNEXT; an empty or missing file lists
// none), opens one connection per application for the ProductName it is handed, and says on the
// debug output when it lists ("multi.ds: listing") and what it opens ("multi.ds: open <name>").
// Everything else is refused.
#include <korven/twainh.h>
#include <windows.h>

#include <dlfcn.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> devices;
size_t next = 0;
std::map<TW_UINT32, std::string> open;  // application Id -> device

std::string OwnIni() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&OwnIni), &info) || !info.dli_fname) return "";
  std::string path = info.dli_fname;
  return path.substr(0, path.rfind('.')) + ".ini";
}

TW_UINT16 Fill(TW_IDENTITY* id) {
  if (next >= devices.size()) return TWRC_ENDOFLIST;
  std::memset(id, 0, sizeof *id);
  std::strncpy(id->ProductName, devices[next].c_str(), sizeof(TW_STR32) - 1);
  std::strncpy(id->Manufacturer, "korven tests", sizeof(TW_STR32) - 1);
  id->ProtocolMajor = TWON_PROTOCOLMAJOR;
  id->ProtocolMinor = TWON_PROTOCOLMINOR;
  id->SupportedGroups = DG_CONTROL | DG_IMAGE;
  ++next;
  return TWRC_SUCCESS;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat,
                                                                    TW_UINT16 msg, TW_MEMREF data) {
  if (dg != DG_CONTROL || dat != DAT_IDENTITY || !origin || !data) return TWRC_FAILURE;
  auto* id = static_cast<TW_IDENTITY*>(data);
  switch (msg) {
    case MSG_GETFIRST: {
      OutputDebugStringA("multi.ds: listing");
      devices.clear();
      std::ifstream in(OwnIni());
      for (std::string line; std::getline(in, line);)
        if (!line.empty()) devices.push_back(line);
      next = 0;
      return Fill(id);
    }
    case MSG_GETNEXT: return Fill(id);
    case MSG_OPENDS: {
      std::string name(id->ProductName, strnlen(id->ProductName, sizeof(TW_STR32)));
      if (open.count(origin->Id)) return TWRC_FAILURE;
      open[origin->Id] = name;
      OutputDebugStringA(("multi.ds: open " + name).c_str());
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS: return open.erase(origin->Id) ? TWRC_SUCCESS : TWRC_FAILURE;
    default: return TWRC_FAILURE;
  }
}
