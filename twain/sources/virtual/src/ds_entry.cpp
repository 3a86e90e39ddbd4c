// The data source's only export, DS_Entry, and what belongs to the module as a whole: its
// configuration (read from the .ini beside the .ds), its identity, and the table of connections.
#include "config.h"
#include "connection.h"
#include "connection_table.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace korven::virtualds {

std::recursive_mutex& SourceMutex() {
  static std::recursive_mutex mu;
  return mu;
}

namespace {

struct Module {
  std::string path;  // this .ds file
  Config config;
  ds::ConnectionTable connections;
};

Module& TheModule() {
  static Module m;
  return m;
}

// (Re)reads the configuration. Only while no connection is open, so a connection's settings never see
// the device change under them.
void LoadConfig(Module& m) {
  if (!m.connections.Empty()) return;
  if (m.path.empty()) m.path = ds::ModulePath(reinterpret_cast<const void*>(&TheModule));
  const std::string ini = ds::IniBeside(m.path);
  std::vector<std::string> warnings;
  m.config = ParseConfig(ds::ReadText(ini), warnings);
  for (const auto& w : warnings) OutputDebugStringA((ini + ": " + w + "\n").c_str());
}

using ds::CopyStr32;

void FillIdentity(const Config& c, TW_IDENTITY& id) {
  TW_UINT32 keep = id.Id;
  std::memset(&id, 0, sizeof id);
  id.Id = keep;
  id.Version.MajorNum = c.versionMajor;
  id.Version.MinorNum = c.versionMinor;
  id.Version.Language = c.language;
  id.Version.Country = c.country;
  CopyStr32(id.Version.Info, c.versionInfo);
  id.ProtocolMajor = TWON_PROTOCOLMAJOR;
  id.ProtocolMinor = TWON_PROTOCOLMINOR;
  id.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyStr32(id.Manufacturer, c.manufacturer);
  CopyStr32(id.ProductFamily, c.productFamily);
  CopyStr32(id.ProductName, c.productName);
}

TW_UINT16 Identity(Module& m, pTW_IDENTITY origin, TW_UINT16 msg, TW_MEMREF data) {
  auto* id = static_cast<TW_IDENTITY*>(data);
  switch (msg) {
    case MSG_GET:
      if (!id) return m.connections.Fail(TWCC_BADVALUE);
      LoadConfig(m);
      FillIdentity(m.config, *id);
      return m.connections.Succeed();
    case MSG_OPENDS: {
      if (!origin) return m.connections.Fail(TWCC_BADVALUE);
      if (m.connections.RefuseSecond(origin)) return TWRC_FAILURE;
      LoadConfig(m);
      if (m.connections.Size() >= size_t(m.config.maxConnections)) return m.connections.Fail(TWCC_MAXCONNECTIONS);
      // The event message's name tells this source and this connection apart from every other.
      std::string name = "korven.virtual:" + m.path + ":" + std::to_string(m.connections.NextSerial());
      m.connections.Add(std::make_unique<Connection>(m.config, origin->Id, name));
      if (id) FillIdentity(m.config, *id);  // keeps the Id the manager gave
      return m.connections.Succeed();
    }
    case MSG_CLOSEDS: return m.connections.Close(origin);
    default: return m.connections.Unknown(origin);
  }
}

}  // namespace
}  // namespace korven::virtualds

using namespace korven::virtualds;

extern "C" KORVEN_TWAIN_EXPORT TW_UINT16 TW_CALLINGSTYLE DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat,
                                                                  TW_UINT16 msg, TW_MEMREF data) {
  std::lock_guard<std::recursive_mutex> lock(SourceMutex());
  Module& m = TheModule();
  if (dg == DG_CONTROL && dat == DAT_IDENTITY) return Identity(m, origin, msg, data);
  return m.connections.Dispatch(origin, dg, dat, msg, data);
}

static_assert(std::is_same_v<decltype(&DS_Entry), DSENTRYPROC>, "DS_Entry must match the standard's signature");

// The library stays mapped after its last user frees it (it is linked so): what that user left open
// goes now, as unloading would take it.
extern "C" KORVEN_TWAIN_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == korven::ds::kDllProcessDetach) {
    std::lock_guard<std::recursive_mutex> lock(SourceMutex());
    TheModule().connections.CloseAll();
  }
  return TRUE;
}
