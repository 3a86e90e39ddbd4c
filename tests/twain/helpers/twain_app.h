// A plain TWAIN application for the protocol tests: loads TWAIN_32.DLL from the Windows directory
// (GetWindowsDirectoryA, so a PrivateWindowsDir applies), binds DSM_Entry and drives it with its own
// application identity and parent window, exactly as an application on Windows would.
//
// Every call returns the TWRC the manager or source answered; conditions are read with
// ManagerCondition()/SourceCondition() (DAT_STATUS). The helper tracks the application's TWAIN
// state (2 to 7) from the answers, and its destructor walks back to state 1 from wherever a test
// stopped (ending transfers, disabling, closing the source and the manager), destroys the parent
// window and frees the library, so a failing test leaves nothing behind for the next one.
#ifndef KORVEN_TEST_TWAIN_APP_H
#define KORVEN_TEST_TWAIN_APP_H

#include <korven/twainh.h>
#include <windows.h>

#include <string>
#include <vector>

namespace korven::test {

class TwainApp {
 public:
  // Loads the manager and creates the (hidden) parent window. Loaded() tells whether it worked.
  explicit TwainApp(const std::string& productName = "korven protocol test");
  ~TwainApp();
  TwainApp(const TwainApp&) = delete;
  TwainApp& operator=(const TwainApp&) = delete;

  bool Loaded() const { return entry_ != nullptr; }
  HWND Parent() const { return parent_; }
  // The application identity sent as origin; the manager writes its Id at MSG_OPENDSM.
  TW_IDENTITY& Identity() { return app_; }
  // The identity of the open source (valid from state 4; the manager filled it at MSG_OPENDS).
  TW_IDENTITY& Source() { return source_; }
  // The application's TWAIN state as the answers so far imply: 1 without manager, 2 loaded, 3 open,
  // 4 source open, 5 enabled, 6 transfer ready, 7 transferring.
  int State() const { return state_; }
  DSMENTRYPROC Entry() const { return entry_; }

  // ---- Raw calls (no state tracking) ----
  TW_UINT16 Call(pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 ToManager(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return Call(nullptr, dg, dat, msg, data);
  }
  TW_UINT16 ToSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return Call(&source_, dg, dat, msg, data);
  }
  // DAT_STATUS / MSG_GET to the manager or to the open source; 0xFFFF when the status call itself fails.
  TW_UINT16 ManagerCondition();
  TW_UINT16 SourceCondition();

  // ---- The manager ----
  TW_UINT16 OpenDSM();
  TW_UINT16 CloseDSM();
  // MSG_GETFIRST then MSG_GETNEXT until a call does not succeed; `endCode` gets that last answer.
  std::vector<TW_IDENTITY> ListSources(TW_UINT16* endCode = nullptr);
  std::vector<std::string> SourceNames();
  // Opens the source named `productName`, or the default source for "" (an all-zero identity).
  TW_UINT16 OpenDS(const std::string& productName = "");
  TW_UINT16 CloseDS();
  // MSG_USERSELECT with an all-zero identity; `chosen` gets what the manager wrote back.
  TW_UINT16 UserSelect(TW_IDENTITY* chosen = nullptr);
  TW_UINT16 GetDefault(TW_IDENTITY& out);

  // ---- The open source ----
  TW_UINT16 Enable(bool showUI, bool modalUI = false);
  TW_UINT16 Disable();
  // Runs the application's message loop: each message is offered to the source with
  // MSG_PROCESSEVENT and dispatched when the source does not take it, until the source answers with
  // a TWMessage other than MSG_NULL (MSG_XFERREADY moves to state 6, MSG_CLOSEDSREQ stays). Returns
  // that TWMessage, or MSG_NULL when WM_QUIT arrives. A scripted desktop with nothing left to do
  // fails the test instead of hanging.
  TW_UINT16 WaitForSourceEvent();
  TW_UINT16 ImageInfo(TW_IMAGEINFO& info);
  // DAT_IMAGENATIVEXFER: `dib` gets the handle (0 unless TWRC_XFERDONE); the caller owns the block.
  TW_UINT16 NativeXfer(TW_HANDLE& dib);
  TW_UINT16 EndXfer(TW_PENDINGXFERS& pending);
  TW_UINT16 ResetXfers(TW_PENDINGXFERS& pending);

  // ---- Capabilities ----
  // MSG_GET / MSG_GETCURRENT / MSG_GETDEFAULT / MSG_RESET: on success `cap` holds the source's
  // container, which the caller frees (or wraps in a GlobalBlock).
  TW_UINT16 Capability(TW_UINT16 msg, TW_UINT16 capId, TW_CAPABILITY& cap);
  // MSG_SET with a TW_ONEVALUE built and freed here.
  TW_UINT16 SetOneValue(TW_UINT16 capId, TW_UINT16 itemType, TW_UINT32 item);
  // Reads a TW_ONEVALUE capability's Item with MSG_GETCURRENT; false when refused or not a one-value.
  bool GetOneValue(TW_UINT16 capId, TW_UINT32& item);

  // An all-zero identity with `productName` copied in (at most 33 bytes, NUL-padded).
  static TW_IDENTITY NamedIdentity(const std::string& productName);
  static std::string Name(const TW_IDENTITY& id);

 private:
  HMODULE library_ = 0;
  DSMENTRYPROC entry_ = nullptr;
  HWND parent_ = 0;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  int state_ = 1;
};

// Owns a global memory block: frees it on destruction unless Release()d; Lock() gives its bytes.
class GlobalBlock {
 public:
  explicit GlobalBlock(TW_HANDLE handle = 0) : handle_(handle) {}
  ~GlobalBlock();
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  TW_HANDLE Get() const { return handle_; }
  TW_HANDLE Release();
  void Reset(TW_HANDLE handle = 0);
  size_t Size() const;
  // Locks the block (once; unlocked on destruction); nullptr for a bad handle.
  void* Lock();
  void Unlock();

 private:
  TW_HANDLE handle_;
  bool locked_ = false;
};

}  // namespace korven::test

#endif
