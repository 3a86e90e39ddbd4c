// What every connection of a korven data source shares: its application, its TWAIN state (4 to 7)
// and condition code, the window message its events travel by, and the dispatch of the triplets a
// connection answers (argument checks, DAT_STATUS, DAT_XFERGROUP, MSG_PROCESSEVENT's recognition of
// its own messages) to the source's own handlers. SetState is the only place that moves the state.
// Shared by korven's data sources.
#ifndef KORVEN_DS_CONNECTION_BASE_H
#define KORVEN_DS_CONNECTION_BASE_H

#include "events.h"

#include <korven/twainh.h>

#include <string>

namespace korven::ds {

class ConnectionBase {
 public:
  // `messageName` must be unique to the source file and the connection.
  ConnectionBase(TW_UINT32 appId, const std::string& messageName) : channel_(messageName), appId_(appId) {}
  virtual ~ConnectionBase() = default;
  ConnectionBase(const ConnectionBase&) = delete;
  ConnectionBase& operator=(const ConnectionBase&) = delete;

  TW_UINT32 AppId() const { return appId_; }
  int State() const { return state_; }
  TW_UINT16 Condition() const { return cc_; }
  void SetCondition(TW_UINT16 cc) { cc_ = cc; }

  // Handles one triplet addressed to this connection (everything but DAT_IDENTITY). A null data
  // pointer is TWCC_BADVALUE, an unknown triplet TWCC_BADPROTOCOL.
  TW_UINT16 Handle(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

 protected:
  virtual TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY* cap) = 0;
  virtual TW_UINT16 UserInterface(TW_UINT16 msg, TW_USERINTERFACE* ui) = 0;
  virtual TW_UINT16 PendingXfers(TW_UINT16 msg, TW_PENDINGXFERS* pending) = 0;
  virtual TW_UINT16 ImageLayout(TW_UINT16 msg, TW_IMAGELAYOUT* layout) = 0;
  virtual TW_UINT16 ImageInfo(TW_IMAGEINFO* info) = 0;
  virtual TW_UINT16 NativeXfer(TW_HANDLE* handle) = 0;
  // One of our own events of the current enable arrived (MSG_XFERREADY or MSG_CLOSEDSREQ); returns
  // the TWAIN message the application is to see (MSG_NULL for none).
  virtual TW_UINT16 OnEvent(TW_UINT16 what) = 0;
  // Called after every state change (a dialog may follow it).
  virtual void StateChanged() {}

  void SetState(int state) {
    state_ = state;
    StateChanged();
  }
  TW_UINT16 Fail(TW_UINT16 cc) {
    cc_ = cc;
    return TWRC_FAILURE;
  }
  TW_UINT16 Succeed(TW_UINT16 rc = TWRC_SUCCESS) {
    cc_ = TWCC_SUCCESS;
    return rc;
  }
  static bool IsGet(TW_UINT16 msg) { return msg == MSG_GET || msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT; }

  EventChannel channel_;
  int state_ = 4;

 private:
  TW_UINT16 ProcessEvent(TW_EVENT* event);

  TW_UINT32 appId_;
  TW_UINT16 cc_ = TWCC_SUCCESS;
};

}  // namespace korven::ds

#endif
