// The connections of one data source, one per application, and what DS_Entry does with a request
// that is not about identities: it goes to the application's connection, or, for an application
// without one, only DAT_STATUS is answered (with the condition of the last request that found no
// connection). Also the small chores of a source module: its own file, the .ini beside it, TW_STR32
// fields. Shared by korven's data sources.
#ifndef KORVEN_DS_CONNECTION_TABLE_H
#define KORVEN_DS_CONNECTION_TABLE_H

#include "connection_base.h"

#include <memory>
#include <string>
#include <vector>

namespace korven::ds {

// DllMain's reason when the library's last user frees it (Win32's DLL_PROCESS_DETACH).
constexpr DWORD kDllProcessDetach = 0;

class ConnectionTable {
 public:
  ~ConnectionTable();
  // Ends every connection at once (their windows and messages go with them): the library is freed
  // by its last user with connections still open.
  void CloseAll() { items_.clear(); }
  ConnectionBase* Find(const TW_IDENTITY* origin) const;
  bool Empty() const { return items_.empty(); }
  size_t Size() const { return items_.size(); }
  void Add(std::unique_ptr<ConnectionBase> connection) { items_.push_back(std::move(connection)); }
  // A serial number for the next connection's event message.
  uint32_t NextSerial() { return ++serial_; }

  // A request of an application without connection fails with `cc`, which its DAT_STATUS tells.
  TW_UINT16 Fail(TW_UINT16 cc) {
    cc_ = cc;
    return TWRC_FAILURE;
  }
  TW_UINT16 Succeed() {
    cc_ = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  // MSG_OPENDS from an application that has a connection already: TWCC_SEQERROR, on that connection.
  bool RefuseSecond(const TW_IDENTITY* origin);
  // MSG_CLOSEDS: the application's connection goes, in state 4 only (TWCC_SEQERROR otherwise).
  TW_UINT16 Close(const TW_IDENTITY* origin);
  // An identity message the source does not know: TWCC_BADPROTOCOL.
  TW_UINT16 Unknown(const TW_IDENTITY* origin);
  // DS_Entry for everything but DAT_IDENTITY.
  TW_UINT16 Dispatch(const TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

 private:
  std::vector<std::unique_ptr<ConnectionBase>> items_;
  TW_UINT16 cc_ = TWCC_SUCCESS;
  uint32_t serial_ = 0;
};

// The path of the shared object that holds `anchor` (an address in it); "" when unknown.
std::string ModulePath(const void* anchor);
// The configuration beside a source file: <name>.ini for <name>.ds.
std::string IniBeside(const std::string& sourcePath);
// A file's whole text; "" when it cannot be read.
std::string ReadText(const std::string& path);
// A TW_STR32 field: NUL-padded, at most 33 bytes of `s`.
void CopyStr32(char* field, const std::string& s);

}  // namespace korven::ds

#endif
