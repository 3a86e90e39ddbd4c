// How a data source tells the application about its events (MSG_XFERREADY, MSG_CLOSEDSREQ): one
// registered window message per connection, posted to the window the application enabled the source
// with (or to the enabling thread's queue when it gave none) and recognised again in
// MSG_PROCESSEVENT. Each enable is a new generation, so a message left over from an earlier one is
// known as stale. Shared by korven's data sources.
#ifndef KORVEN_DS_EVENTS_H
#define KORVEN_DS_EVENTS_H

#include <korven/twainh.h>
#include <windows.h>

#include <cstdint>
#include <string>

namespace korven::ds {

class EventChannel {
 public:
  // `uniqueName` must be unique to the source file and the connection.
  explicit EventChannel(const std::string& uniqueName) : message_(RegisterWindowMessageA(uniqueName.c_str())) {}

  // An enable begins: events go to `parent`, or to the calling thread when it is 0.
  void Begin(HWND parent) {
    parent_ = parent;
    thread_ = GetCurrentThreadId();
    ++generation_;
  }
  // The enable ended: nobody is told any more, and our messages still queued in the calling thread
  // (they would reach nobody who understands them) are removed.
  void End() {
    RemoveQueued();
    parent_ = 0;
  }
  HWND Parent() const { return parent_; }

  // Posts MSG_XFERREADY or MSG_CLOSEDSREQ for the current enable.
  void Post(TW_UINT16 twainMessage) const {
    if (parent_) PostMessageA(parent_, message_, twainMessage, static_cast<LPARAM>(generation_));
    else PostThreadMessageA(thread_, message_, twainMessage, static_cast<LPARAM>(generation_));
  }

  enum class Kind { NotOurs, Stale, Current };
  // What a window message offered with MSG_PROCESSEVENT is; for Current, `twainMessage` gets the
  // TWAIN message it carries.
  Kind Classify(const MSG& m, TW_UINT16& twainMessage) const {
    if (m.message != message_) return Kind::NotOurs;
    if (static_cast<uint32_t>(m.lParam) != generation_) return Kind::Stale;
    twainMessage = static_cast<TW_UINT16>(m.wParam);
    return Kind::Current;
  }

  void RemoveQueued() const {
    MSG m;
    while (PeekMessageA(&m, 0, message_, message_, PM_REMOVE)) {
    }
  }

 private:
  UINT message_;
  HWND parent_ = 0;
  DWORD thread_ = 0;
  uint32_t generation_ = 0;
};

}  // namespace korven::ds

#endif
