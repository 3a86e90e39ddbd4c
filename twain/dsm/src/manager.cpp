#include "manager.h"

#include "select_dialog.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace korven::dsm {

namespace {

const char kSection[] = "TWAIN";
const char kDefaultKey[] = "Default Source";

std::string WindowsDirectory() {
  std::string dir(MAX_PATH, '\0');
  UINT n = GetWindowsDirectoryA(dir.data(), UINT(dir.size()));
  if (n >= dir.size()) {  // too small: n is the size needed
    dir.assign(n, '\0');
    n = GetWindowsDirectoryA(dir.data(), UINT(dir.size()));
    if (n >= dir.size()) n = 0;
  }
  dir.resize(n);
  return dir;
}

}  // namespace

std::string ReadDefaultSource() {
  char name[256] = {};
  GetProfileStringA(kSection, kDefaultKey, "", name, sizeof(name));
  return name;
}

void WriteDefaultSource(const std::string& productName) {
  if (!WriteProfileStringA(kSection, kDefaultKey, productName.c_str()))
    Trace("could not keep \"" + productName + "\" as the default source");
}

Manager& Manager::Instance() {
  static Manager manager;
  return manager;
}

Manager::~Manager() {
  // The manager is being unloaded with sessions still open. The sources' libraries stay loaded:
  // freeing them from inside the loader's own unload is not safe.
  for (auto& [id, session] : sessions_) {
    for (Connection& c : session->connections) {
      Trace("unloaded while \"" + Str32(c.identity.ProductName) + "\" is still open");
      c.module->Abandon();
    }
    for (ListedSource& s : session->sources)
      if (s.module) s.module->Abandon();
  }
}

// ---- Dispatch -----------------------------------------------------------------------------------

Manager::Op Manager::Classify(pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
  // The manager's own triplets are its own whatever the destination says; passing them on would put
  // a source in a state it cannot know about.
  if (dg == DG_CONTROL && dat == DAT_PARENT) {
    if (msg == MSG_OPENDSM) return Op::OpenDSM;
    if (msg == MSG_CLOSEDSM) return Op::CloseDSM;
    return Op::Unknown;
  }
  if (dg == DG_CONTROL && dat == DAT_IDENTITY) {
    switch (msg) {
      case MSG_GETFIRST: return Op::GetFirst;
      case MSG_GETNEXT: return Op::GetNext;
      case MSG_GETDEFAULT: return Op::GetDefault;
      case MSG_OPENDS: return Op::OpenDS;
      case MSG_CLOSEDS: return Op::CloseDS;
      case MSG_USERSELECT: return Op::UserSelect;
      default: break;
    }
  }
  if (dest) return Op::Forward;
  if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET) return Op::Status;
  return Op::Unknown;
}

TW_UINT16 Manager::Sequence(const Session* session, Op op) {
  // State 2: the application has loaded the manager but not opened it (no session).
  // State 3: the session is open. A source connection takes the application on to state 4 and
  // beyond, which the source tracks; the manager only needs to know whether any is open.
  switch (op) {
    case Op::OpenDSM:
      return session ? TWCC_SEQERROR : TWCC_SUCCESS;
    case Op::Status:
      return TWCC_SUCCESS;
    case Op::CloseDSM:
      return session && session->connections.empty() ? TWCC_SUCCESS : TWCC_SEQERROR;
    case Op::CloseDS:
    case Op::Forward:
      return session && !session->connections.empty() ? TWCC_SUCCESS : TWCC_SEQERROR;
    default:
      return session ? TWCC_SUCCESS : TWCC_SEQERROR;
  }
}

Manager::Session* Manager::Find(const TW_IDENTITY* origin) {
  if (!origin || origin->Id == 0) return nullptr;
  auto it = sessions_.find(origin->Id);
  return it == sessions_.end() ? nullptr : it->second.get();
}

TW_UINT16 Manager::Fail(Session* session, TW_UINT16 condition, TW_UINT16 rc) {
  (session ? session->condition : unattributed_) = condition;
  return rc;
}

TW_UINT16 Manager::Succeed(Session* session, TW_UINT16 rc) { return Fail(session, TWCC_SUCCESS, rc); }

TW_UINT32 Manager::FreshId() {
  if (++lastId_ == 0) ++lastId_;
  return lastId_;
}

TW_UINT16 Manager::Entry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                         TW_MEMREF data) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!origin) return Fail(nullptr, TWCC_BADPROTOCOL);
  Session* session = Find(origin);
  try {
    Op op = Classify(dest, dg, dat, msg);
    if (op == Op::Unknown) return Fail(session, TWCC_BADPROTOCOL);
    if (TW_UINT16 cc = Sequence(session, op); cc != TWCC_SUCCESS) return Fail(session, cc);
    switch (op) {
      case Op::OpenDSM: return OpenDSM(origin, data);
      case Op::CloseDSM: return CloseDSM(*session);
      case Op::GetFirst: return GetFirst(*session, static_cast<pTW_IDENTITY>(data));
      case Op::GetNext: return GetNext(*session, static_cast<pTW_IDENTITY>(data));
      case Op::GetDefault: return GetDefault(*session, static_cast<pTW_IDENTITY>(data));
      case Op::OpenDS: return OpenDS(*session, origin, static_cast<pTW_IDENTITY>(data));
      case Op::CloseDS: return CloseDS(*session, origin, static_cast<pTW_IDENTITY>(data));
      case Op::UserSelect: return UserSelect(*session, static_cast<pTW_IDENTITY>(data));
      case Op::Status: return Status(session, data);
      case Op::Forward: return Forward(*session, origin, dest, dg, dat, msg, data);
      case Op::Unknown: break;
    }
    return Fail(session, TWCC_BADPROTOCOL);
  } catch (const std::bad_alloc&) {
    // The session may have gone while the exception travelled; look it up again.
    return Fail(Find(origin), TWCC_LOWMEMORY);
  }
}

// ---- The manager's own operations -----------------------------------------------------------------

TW_UINT16 Manager::OpenDSM(pTW_IDENTITY origin, TW_MEMREF data) {
  if (!data) return Fail(nullptr, TWCC_BADVALUE);
  HWND parent = 0;
  std::memcpy(&parent, data, sizeof(parent));  // a 32-bit window handle, as on 32-bit Windows
  if (!IsWindow(parent)) {
    Trace("MSG_OPENDSM: " + std::to_string((UINT_PTR)parent) + " is not a window");
    return Fail(nullptr, TWCC_BADVALUE);
  }
  auto session = std::make_unique<Session>();
  session->app = *origin;
  session->app.Id = FreshId();
  session->parent = parent;
  session->sources = ScanSources(WindowsDirectory(), session->app);
  origin->Id = session->app.Id;
  Session* opened = session.get();
  sessions_[opened->app.Id] = std::move(session);
  return Succeed(opened);
}

TW_UINT16 Manager::CloseDSM(Session& session) {
  sessions_.erase(session.app.Id);
  return TWRC_SUCCESS;
}

TW_UINT16 Manager::GetFirst(Session& session, pTW_IDENTITY out) {
  if (!out) return Fail(&session, TWCC_BADVALUE);
  session.listing = true;
  session.next = 0;
  if (session.sources.empty()) return Fail(&session, TWCC_NODS, TWRC_ENDOFLIST);
  *out = session.sources[session.next++].identity;
  return Succeed(&session);
}

TW_UINT16 Manager::GetNext(Session& session, pTW_IDENTITY out) {
  if (!out) return Fail(&session, TWCC_BADVALUE);
  if (!session.listing) return Fail(&session, TWCC_SEQERROR);  // the listing starts with MSG_GETFIRST
  if (session.next >= session.sources.size()) return Succeed(&session, TWRC_ENDOFLIST);
  *out = session.sources[session.next++].identity;
  return Succeed(&session);
}

int Manager::DefaultIndex(const Session& session) {
  if (session.sources.empty()) return -1;
  std::string chosen = ReadDefaultSource();
  for (size_t i = 0; i < session.sources.size(); ++i)
    if (session.sources[i].ProductName() == chosen) return int(i);
  return 0;
}

TW_UINT16 Manager::GetDefault(Session& session, pTW_IDENTITY out) {
  if (!out) return Fail(&session, TWCC_BADVALUE);
  int index = DefaultIndex(session);
  if (index < 0) return Fail(&session, TWCC_NODS);
  *out = session.sources[size_t(index)].identity;
  return Succeed(&session);
}

TW_UINT16 Manager::OpenDS(Session& session, pTW_IDENTITY origin, pTW_IDENTITY wanted) {
  if (!wanted) return Fail(&session, TWCC_BADVALUE);
  const TW_UINT32 appId = session.app.Id;
  std::string name = Str32(wanted->ProductName);
  int index = -1;
  if (name.empty()) {
    index = DefaultIndex(session);
  } else {
    for (size_t i = 0; i < session.sources.size() && index < 0; ++i)
      if (session.sources[i].ProductName() == name) index = int(i);
  }
  if (index < 0) {
    Trace(name.empty() ? std::string("MSG_OPENDS: no source installed") : "MSG_OPENDS: no source \"" + name + "\"");
    return Fail(&session, TWCC_NODS);
  }
  const ListedSource source = session.sources[size_t(index)];
  // The source sees each application as one connection (it knows it by the application's Id).
  for (const Connection& c : session.connections)
    if (c.path == source.path) return Fail(&session, TWCC_SEQERROR);

  std::string why;
  // A source of several identities is still loaded from the listing; it tells its devices apart by
  // the ProductName it is handed below.
  std::shared_ptr<SourceModule> module = source.module ? source.module : SourceModule::Load(source.path, why);
  if (!module) {
    Trace("MSG_OPENDS: " + source.path + " " + why);
    return Fail(&session, TWCC_NODS);
  }
  TW_IDENTITY identity = source.identity;
  identity.Id = FreshId();
  TW_IDENTITY told = identity;  // the source may write into its copy; the application gets ours
  TW_UINT16 rc = module->Call(origin, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &told);
  bool opened = rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS;

  Session* still = Find(origin);  // the source's call may have led the application back here
  if (!still || still->app.Id != appId) {
    if (opened) module->Call(origin, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &told);
    return Fail(still, TWCC_SEQERROR);
  }
  if (!opened) {
    TW_UINT16 cc = module->Condition(origin, TWCC_BUMMER);
    Trace("MSG_OPENDS: \"" + source.ProductName() + "\" refused with condition " + std::to_string(cc));
    return Fail(still, cc);
  }
  still->connections.push_back(Connection{identity, source.path, module});
  *wanted = identity;
  return Succeed(still, rc);
}

TW_UINT16 Manager::CloseDS(Session& session, pTW_IDENTITY origin, pTW_IDENTITY which) {
  if (!which) return Fail(&session, TWCC_BADVALUE);
  auto it = std::find_if(session.connections.begin(), session.connections.end(),
                         [&](const Connection& c) { return c.identity.Id == which->Id; });
  if (it == session.connections.end()) return Fail(&session, TWCC_BADDEST);
  const TW_UINT32 id = it->identity.Id;
  std::shared_ptr<SourceModule> module = it->module;  // keeps the library loaded until we are done
  TW_IDENTITY told = it->identity;
  TW_UINT16 rc = module->Call(origin, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &told);

  Session* still = Find(origin);
  if (!still) return Fail(nullptr, TWCC_SEQERROR);
  if (rc != TWRC_SUCCESS) return Fail(still, module->Condition(origin, TWCC_BUMMER));  // the connection stays
  std::erase_if(still->connections, [&](const Connection& c) { return c.identity.Id == id; });
  return Succeed(still);
}

TW_UINT16 Manager::UserSelect(Session& session, pTW_IDENTITY chosen) {
  if (!chosen) return Fail(&session, TWCC_BADVALUE);
  if (session.sources.empty()) return Fail(&session, TWCC_NODS);
  const TW_IDENTITY app = session.app;
  const std::vector<ListedSource> sources = session.sources;  // the dialog's loop may reach this session
  std::vector<std::string> names;
  for (const ListedSource& s : sources) names.push_back(s.ProductName());

  int picked = RunSelectDialog(session.parent, names, DefaultIndex(session));

  Session* still = Find(&app);
  if (picked < 0) return Succeed(still, TWRC_CANCEL);
  WriteDefaultSource(names[size_t(picked)]);
  *chosen = sources[size_t(picked)].identity;
  return Succeed(still);
}

TW_UINT16 Manager::Status(Session* session, TW_MEMREF data) {
  if (!data) return Fail(session, TWCC_BADVALUE);
  TW_UINT16& last = session ? session->condition : unattributed_;
  TW_STATUS status{last, 0};
  std::memcpy(data, &status, sizeof(status));
  last = TWCC_SUCCESS;  // reading the condition clears it
  return TWRC_SUCCESS;
}

TW_UINT16 Manager::Forward(Session& session, pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                           TW_UINT16 msg, TW_MEMREF data) {
  auto it = std::find_if(session.connections.begin(), session.connections.end(),
                         [&](const Connection& c) { return c.identity.Id == dest->Id; });
  if (it == session.connections.end()) return Fail(&session, TWCC_BADDEST);
  std::shared_ptr<SourceModule> module = it->module;  // a close from inside this call must not unload it
  return module->Call(origin, dg, dat, msg, data);
}

}  // namespace korven::dsm
