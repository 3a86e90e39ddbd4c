#include "connection_table.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace korven::ds {

ConnectionTable::~ConnectionTable() {
  // Unloaded with connections open: take their windows and messages with us.
  CloseAll();
}

ConnectionBase* ConnectionTable::Find(const TW_IDENTITY* origin) const {
  if (!origin) return nullptr;
  for (const auto& c : items_)
    if (c->AppId() == origin->Id) return c.get();
  return nullptr;
}

bool ConnectionTable::RefuseSecond(const TW_IDENTITY* origin) {
  ConnectionBase* c = Find(origin);
  if (c) c->SetCondition(TWCC_SEQERROR);
  return c != nullptr;
}

TW_UINT16 ConnectionTable::Close(const TW_IDENTITY* origin) {
  ConnectionBase* c = Find(origin);
  if (!c) return Fail(TWCC_SEQERROR);
  if (c->State() != 4) {
    c->SetCondition(TWCC_SEQERROR);
    return TWRC_FAILURE;
  }
  std::erase_if(items_, [&](const auto& p) { return p.get() == c; });
  return Succeed();
}

TW_UINT16 ConnectionTable::Unknown(const TW_IDENTITY* origin) {
  if (ConnectionBase* c = Find(origin)) {
    c->SetCondition(TWCC_BADPROTOCOL);
    return TWRC_FAILURE;
  }
  return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 ConnectionTable::Dispatch(const TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                    TW_MEMREF data) {
  if (ConnectionBase* c = Find(origin)) return c->Handle(dg, dat, msg, data);
  // Nothing is open for this application: only its status may be asked.
  if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET && data) {
    static_cast<TW_STATUS*>(data)->ConditionCode = cc_;
    static_cast<TW_STATUS*>(data)->Reserved = 0;
    return TWRC_SUCCESS;
  }
  return Fail(TWCC_SEQERROR);
}

std::string IniBeside(const std::string& sourcePath) {
  std::string ini = sourcePath;
  size_t slash = ini.find_last_of('/'), dot = ini.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ini.erase(dot);
  return ini + ".ini";
}

std::string ReadText(const std::string& path) {
  std::ifstream in{path};
  if (!in) return "";
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void CopyStr32(char* field, const std::string& s) {
  std::memset(field, 0, sizeof(TW_STR32));
  std::memcpy(field, s.data(), std::min(s.size(), sizeof(TW_STR32) - 1));
}

}  // namespace korven::ds
