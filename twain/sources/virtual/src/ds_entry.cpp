// The data source's only export, DS_Entry, and what belongs to the module as a whole: its
// configuration (read from the .ini beside the .ds), its identity, and the table of connections.
#include "config.h"
#include "connection.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
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
  std::vector<std::unique_ptr<Connection>> connections;
  TW_UINT16 cc = TWCC_SUCCESS;  // the condition of the last request that found no connection
  uint32_t serial = 0;

  ~Module() {
    // Unloaded with connections open: take their windows and messages with us.
    connections.clear();
  }
};

Module& TheModule() {
  static Module m;
  return m;
}

std::string OwnPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&TheModule), &info) && info.dli_fname) return info.dli_fname;
  return "";
}

// (Re)reads the configuration. Only while no connection is open, so a connection's settings never see
// the device change under them.
void LoadConfig(Module& m) {
  if (!m.connections.empty()) return;
  if (m.path.empty()) m.path = OwnPath();
  std::string ini = m.path;
  size_t slash = ini.find_last_of('/');
  size_t dot = ini.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ini.erase(dot);
  ini += ".ini";
  std::string text;
  if (std::ifstream in{ini}) {
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
  }
  std::vector<std::string> warnings;
  m.config = ParseConfig(text, warnings);
  for (const auto& w : warnings) OutputDebugStringA((ini + ": " + w + "\n").c_str());
}

void CopyStr32(char* dst, const std::string& s) {
  std::memset(dst, 0, sizeof(TW_STR32));
  std::memcpy(dst, s.data(), std::min(s.size(), sizeof(TW_STR32) - 1));
}

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

Connection* Find(Module& m, const TW_IDENTITY* origin) {
  if (!origin) return nullptr;
  for (auto& c : m.connections)
    if (c->AppId() == origin->Id) return c.get();
  return nullptr;
}

TW_UINT16 ModuleFail(Module& m, TW_UINT16 cc) {
  m.cc = cc;
  return TWRC_FAILURE;
}

TW_UINT16 Identity(Module& m, pTW_IDENTITY origin, TW_UINT16 msg, TW_MEMREF data) {
  auto* id = static_cast<TW_IDENTITY*>(data);
  switch (msg) {
    case MSG_GET:
      if (!id) return ModuleFail(m, TWCC_BADVALUE);
      LoadConfig(m);
      FillIdentity(m.config, *id);
      m.cc = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    case MSG_OPENDS: {
      if (!origin) return ModuleFail(m, TWCC_BADVALUE);
      if (Connection* c = Find(m, origin)) {
        c->SetCondition(TWCC_SEQERROR);
        return TWRC_FAILURE;
      }
      LoadConfig(m);
      if (m.connections.size() >= size_t(m.config.maxConnections)) return ModuleFail(m, TWCC_MAXCONNECTIONS);
      // The event message's name tells this source and this connection apart from every other.
      std::string name = "korven.virtual:" + m.path + ":" + std::to_string(++m.serial);
      m.connections.push_back(std::make_unique<Connection>(m.config, origin->Id, name));
      if (id) FillIdentity(m.config, *id);  // keeps the Id the manager gave
      m.cc = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS: {
      Connection* c = Find(m, origin);
      if (!c) return ModuleFail(m, TWCC_SEQERROR);
      if (c->State() != 4) {
        c->SetCondition(TWCC_SEQERROR);
        return TWRC_FAILURE;
      }
      auto it = std::find_if(m.connections.begin(), m.connections.end(), [&](auto& p) { return p.get() == c; });
      m.connections.erase(it);
      m.cc = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    }
    default: {
      if (Connection* c = Find(m, origin)) {
        c->SetCondition(TWCC_BADPROTOCOL);
        return TWRC_FAILURE;
      }
      return ModuleFail(m, TWCC_BADPROTOCOL);
    }
  }
}

}  // namespace
}  // namespace korven::virtualds

using namespace korven::virtualds;

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat,
                                                                    TW_UINT16 msg, TW_MEMREF data) {
  std::lock_guard<std::recursive_mutex> lock(SourceMutex());
  Module& m = TheModule();
  if (dg == DG_CONTROL && dat == DAT_IDENTITY) return Identity(m, origin, msg, data);
  Connection* c = Find(m, origin);
  if (!c) {
    // Nothing is open for this application: only its status may be asked.
    if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET && data) {
      static_cast<TW_STATUS*>(data)->ConditionCode = m.cc;
      static_cast<TW_STATUS*>(data)->Reserved = 0;
      return TWRC_SUCCESS;
    }
    return ModuleFail(m, TWCC_SEQERROR);
  }
  return c->Handle(dg, dat, msg, data);
}
