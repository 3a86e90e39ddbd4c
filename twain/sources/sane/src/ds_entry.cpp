// The data source's only export, DS_Entry, and what belongs to the module as a whole: its settings
// (sane.ini beside sane.ds), the SANE devices it found and the identity it gives each of them, and
// the table of connections.
//
// Identities: DG_CONTROL / DAT_IDENTITY / MSG_GETFIRST answers the first of SANE's devices,
// MSG_GETNEXT the others, then TWRC_ENDOFLIST. The list comes from one discovery
// (sane_get_devices) and is used again by later listings of this process while SANE's configuration
// and the USB devices stay the same and the listing lifetime (sane.ini) lasts: the library is never
// unloaded (it is linked that way), so the list outlives the manager's sessions, and a program that
// lists, then opens, discovers once. MSG_GET answers the first device. MSG_OPENDS opens the device
// whose ProductName it is handed.
#include "config.h"
#include "connection.h"
#include "connection_table.h"
#include "listing_signature.h"
#include "sane_api.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace korven::saneds {

std::recursive_mutex& SourceMutex() {
  static std::recursive_mutex mu;
  return mu;
}

namespace {

struct Listed {
  DeviceInfo info;
  TW_IDENTITY identity;
};

struct Module {
  std::string path;  // this .ds file
  Config config;
  std::vector<Listed> devices;
  size_t next = 0;
  // What the discovery behind `devices` saw and when it ended; none when it must be done again.
  std::optional<ListingSignature> listedWith;
  bool listedLocalOnly = false;
  std::chrono::steady_clock::time_point listedAt;
  ds::ConnectionTable connections;
};

Module& TheModule() {
  static Module m;
  return m;
}

void Trace(const std::string& text) { OutputDebugStringA(("sane.ds: " + text).c_str()); }

// (Re)reads sane.ini, only while no connection is open.
void LoadConfig(Module& m) {
  if (!m.connections.Empty()) return;
  if (m.path.empty()) m.path = ds::ModulePath(reinterpret_cast<const void*>(&TheModule));
  const std::string ini = ds::IniBeside(m.path);
  std::vector<std::string> warnings;
  m.config = ParseConfig(ds::ReadText(ini), warnings);
  for (const auto& w : warnings) Trace(ini + ": " + w);
}

using ds::CopyStr32;

// "<vendor> <model> (<device>)", at most 33 bytes: the model's words are cut before the device name,
// which tells devices of one model apart; a device name too long to fit keeps its end.
std::string ProductNameOf(const DeviceInfo& d) {
  constexpr size_t kMax = sizeof(TW_STR32) - 1;
  std::string device = d.name;
  if (device.size() > 20) device = "~" + device.substr(device.size() - 19);
  std::string base = d.vendor;
  if (!d.model.empty()) base += (base.empty() ? "" : " ") + d.model;
  const std::string tail = base.empty() ? device : " (" + device + ")";
  if (base.size() + tail.size() > kMax) base.resize(kMax - tail.size());
  while (!base.empty() && base.back() == ' ') base.pop_back();
  return base.empty() ? device : base + tail;
}

TW_IDENTITY IdentityOf(const DeviceInfo& d, const std::string& productName) {
  TW_IDENTITY id{};
  id.Version.MajorNum = 1;
  id.Version.MinorNum = 0;
  id.Version.Language = 2;  // TWLG_ENGLISH
  id.Version.Country = 1;   // TWCY_USA
  CopyStr32(id.Version.Info, "SANE " + (d.type.empty() ? std::string("device") : d.type));
  id.ProtocolMajor = TWON_PROTOCOLMAJOR;
  id.ProtocolMinor = TWON_PROTOCOLMINOR;
  id.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyStr32(id.Manufacturer, d.vendor.empty() ? "SANE" : d.vendor);
  CopyStr32(id.ProductFamily, d.model.empty() ? d.name : d.model);
  CopyStr32(id.ProductName, productName);
  return id;
}

// SANE's devices, each with a unique ProductName (a repeat gets " #2", " #3", ...): the list of the
// last discovery while nothing it depends on has changed, else a new discovery.
void Discover(Module& m) {
  LoadConfig(m);
  m.next = 0;
  ListingSignature now = ListingSignature::Take(std::getenv("SANE_CONFIG_DIR"));
  if (m.listedWith && m.listedLocalOnly == m.config.localOnly && now.Unchanged(*m.listedWith) &&
      std::chrono::steady_clock::now() - m.listedAt < m.config.listingLifetime)
    return;
  m.devices.clear();
  m.listedWith.reset();
  std::string why;
  if (!SaneSession::Acquire(why)) {
    Trace(why);
    return;
  }
  std::vector<DeviceInfo> found;
  bool listed = ListDevices(m.config.localOnly, found, why);
  if (!listed) Trace(why);
  SaneSession::Release();  // SANE stays initialised only while a device is open
  if (listed) {
    // Taken before the discovery: a change made while it ran shows at the next listing.
    m.listedWith = std::move(now);
    m.listedLocalOnly = m.config.localOnly;
    m.listedAt = std::chrono::steady_clock::now();
  }
  for (const DeviceInfo& d : found) {
    std::string name = ProductNameOf(d);
    for (int n = 2; std::any_of(m.devices.begin(), m.devices.end(),
                                [&](const Listed& l) { return std::strncmp(l.identity.ProductName, name.c_str(), sizeof(TW_STR32)) == 0; });
         ++n) {
      std::string suffix = " #" + std::to_string(n);
      name = ProductNameOf(d).substr(0, sizeof(TW_STR32) - 1 - suffix.size()) + suffix;
    }
    m.devices.push_back({d, IdentityOf(d, name)});
  }
}

TW_UINT16 Next(Module& m, TW_IDENTITY* id) {
  if (m.next >= m.devices.size()) {
    m.connections.Succeed();
    return TWRC_ENDOFLIST;
  }
  TW_UINT32 keep = id->Id;
  *id = m.devices[m.next++].identity;
  id->Id = keep;
  return m.connections.Succeed();
}

TW_UINT16 Open(Module& m, pTW_IDENTITY origin, TW_IDENTITY* id) {
  if (m.connections.RefuseSecond(origin)) return TWRC_FAILURE;
  LoadConfig(m);
  if (m.devices.empty()) Discover(m);  // loaded by a manager that did not list us first
  const std::string wanted(id->ProductName, strnlen(id->ProductName, sizeof(TW_STR32)));
  auto it = std::find_if(m.devices.begin(), m.devices.end(), [&](const Listed& l) {
    return wanted.empty() || std::strncmp(l.identity.ProductName, wanted.c_str(), sizeof(TW_STR32)) == 0;
  });
  if (it == m.devices.end()) {
    Trace("no SANE device is called \"" + wanted + "\"");
    return m.connections.Fail(TWCC_NODS);
  }
  const Listed listed = *it;
  std::string why;
  if (!SaneSession::Acquire(why)) {
    Trace(why);
    return m.connections.Fail(TWCC_NODS);
  }
  SANE_Handle handle = nullptr;
  SANE_Status s;
  std::unique_ptr<Device> device;
  {
    ForeignAllocations foreign;
    s = sane_open(listed.info.name.c_str(), &handle);
    // The device's options are read the first time while the backend may still be setting up.
    if (s == SANE_STATUS_GOOD && handle) device = std::make_unique<Device>(handle, listed.info.name);
  }
  if (s != SANE_STATUS_GOOD || !handle) {
    SaneSession::Release();
    if (s == SANE_STATUS_INVAL || s == SANE_STATUS_IO_ERROR) m.listedWith.reset();  // the list is out of date
    Trace("cannot open " + listed.info.name + " (" + wanted + "): " + StatusText(s) +
          (s == SANE_STATUS_INVAL ? "; it may have been unplugged since it was listed" : ""));
    // A device that is gone is no source any more; a busy or refused one keeps its reason.
    return m.connections.Fail(s == SANE_STATUS_INVAL || s == SANE_STATUS_IO_ERROR ? TWCC_NODS : MapStatus(s).cc);
  }
  // The event message's name tells this source and this connection apart from every other.
  std::string message = "korven.sane:" + m.path + ":" + std::to_string(m.connections.NextSerial());
  std::string name(listed.identity.ProductName, strnlen(listed.identity.ProductName, sizeof(TW_STR32)));
  m.connections.Add(std::make_unique<Connection>(m.config, origin->Id, name, std::move(device), message));
  TW_UINT32 keep = id->Id;
  *id = listed.identity;
  id->Id = keep;  // the Id the manager gave
  return m.connections.Succeed();
}

TW_UINT16 Identity(Module& m, pTW_IDENTITY origin, TW_UINT16 msg, TW_MEMREF data) {
  auto* id = static_cast<TW_IDENTITY*>(data);
  if (!id || !origin) return m.connections.Fail(TWCC_BADVALUE);
  switch (msg) {
    case MSG_GETFIRST: Discover(m); return Next(m, id);
    case MSG_GETNEXT: return Next(m, id);
    case MSG_GET:
      if (m.devices.empty()) Discover(m);
      m.next = 0;
      if (Next(m, id) != TWRC_SUCCESS) return m.connections.Fail(TWCC_NODS);
      return TWRC_SUCCESS;
    case MSG_OPENDS: return Open(m, origin, id);
    case MSG_CLOSEDS: return m.connections.Close(origin);  // closes the device
    default: return m.connections.Unknown(origin);
  }
}

}  // namespace
}  // namespace korven::saneds

using namespace korven::saneds;

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat,
                                                                    TW_UINT16 msg, TW_MEMREF data) {
  std::lock_guard<std::recursive_mutex> lock(SourceMutex());
  Module& m = TheModule();
  if (dg == DG_CONTROL && dat == DAT_IDENTITY) return Identity(m, origin, msg, data);
  return m.connections.Dispatch(origin, dg, dat, msg, data);
}

// The library stays mapped after its last user frees it (it is linked so): what that user left open
// goes now, as unloading would take it.
extern "C" __attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == korven::ds::kDllProcessDetach) {
    std::lock_guard<std::recursive_mutex> lock(SourceMutex());
    TheModule().connections.CloseAll();
  }
  return TRUE;
}
