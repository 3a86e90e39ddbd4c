// The manager behind DSM_Entry: one session per application identity, the sources each session
// found when it opened, the connections it opened to them, and the manager's part of the TWAIN state
// machine (states 2 and 3 per application; states 4 to 7 belong to the sources).
#ifndef KORVEN_DSM_MANAGER_H
#define KORVEN_DSM_MANAGER_H

#include "source_module.h"

#include <korven/twainh.h>
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace korven::dsm {

class Manager {
 public:
  // The one manager of this loaded TWAIN_32.DLL.
  static Manager& Instance();
  ~Manager();

  // DSM_Entry's work, argument checks included. Never throws for bad arguments; exceptions from the
  // desktop or from a source pass through after every state was restored.
  TW_UINT16 Entry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

 private:
  // What a triplet asks of the manager.
  enum class Op { OpenDSM, CloseDSM, GetFirst, GetNext, GetDefault, OpenDS, CloseDS, UserSelect, Status, Forward, Unknown };

  // One open source as the application sees it: its identity with the Id handed out at MSG_OPENDS.
  struct Connection {
    TW_IDENTITY identity;
    std::string path;
    std::shared_ptr<SourceModule> module;
  };

  struct Session {
    TW_IDENTITY app;  // the application's identity as it opened the manager (Id filled in)
    HWND parent = 0;
    std::vector<ListedSource> sources;
    size_t next = 0;        // position of MSG_GETNEXT
    bool listing = false;   // MSG_GETFIRST came first
    TW_UINT16 condition = TWCC_SUCCESS;
    std::vector<Connection> connections;
  };

  static Op Classify(pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);
  // The manager's state machine in one place: TWCC_SUCCESS when `op` is allowed for an application
  // with this session (nullptr: the manager is not open for it), TWCC_SEQERROR otherwise.
  static TW_UINT16 Sequence(const Session* session, Op op);

  Session* Find(const TW_IDENTITY* origin);
  TW_UINT16 Fail(Session* session, TW_UINT16 condition, TW_UINT16 rc = TWRC_FAILURE);
  TW_UINT16 Succeed(Session* session, TW_UINT16 rc = TWRC_SUCCESS);
  TW_UINT32 FreshId();

  TW_UINT16 OpenDSM(pTW_IDENTITY origin, TW_MEMREF data);
  TW_UINT16 CloseDSM(Session& session);
  TW_UINT16 GetFirst(Session& session, pTW_IDENTITY out);
  TW_UINT16 GetNext(Session& session, pTW_IDENTITY out);
  TW_UINT16 GetDefault(Session& session, pTW_IDENTITY out);
  TW_UINT16 OpenDS(Session& session, pTW_IDENTITY origin, pTW_IDENTITY wanted);
  TW_UINT16 CloseDS(Session& session, pTW_IDENTITY origin, pTW_IDENTITY which);
  TW_UINT16 UserSelect(Session& session, pTW_IDENTITY chosen);
  TW_UINT16 Status(Session* session, TW_MEMREF data);
  TW_UINT16 Forward(Session& session, pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                    TW_UINT16 msg, TW_MEMREF data);

  // Index of the default source among the session's sources: the user's last choice when it is still
  // listed, otherwise the first; -1 without sources.
  static int DefaultIndex(const Session& session);

  // Calls from several threads are served one at a time; recursive because the selection dialog's
  // message loop and a source's call may lead the application back into DSM_Entry.
  std::recursive_mutex mutex_;
  std::map<TW_UINT32, std::unique_ptr<Session>> sessions_;
  // The condition of the last call that named no open session (read by DAT_STATUS from such a caller).
  TW_UINT16 unattributed_ = TWCC_SUCCESS;
  TW_UINT32 lastId_ = 0;
};

// Where the user's default source is kept: win.ini, section [TWAIN], key "Default Source".
std::string ReadDefaultSource();
void WriteDefaultSource(const std::string& productName);

}  // namespace korven::dsm

#endif
