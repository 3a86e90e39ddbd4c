// user32: message queues, sending, posting and retrieving messages (with the desktop acting while a
// thread waits), dispatching, dialog keys and registered message names.
#include <optional>

#include "user32_state.h"

using namespace korven::platform;
using namespace korven::platform::detail;
using namespace korven::platform::detail::user32;

namespace {

bool MatchWindow(HWND msgHwnd, HWND filter) {
  if (filter == 0) return true;
  if (filter == HWND(-1)) return msgHwnd == 0;
  return msgHwnd == filter || IsDescendant(msgHwnd, filter);
}

bool MatchRange(UINT msg, UINT lo, UINT hi) {
  if (lo == 0 && hi == 0) return true;
  return msg >= lo && msg <= hi;
}

// Retrieves the next message for the calling thread: posted messages first, then WM_QUIT (which
// passes any filter, as in Win32), then a due timer (earliest due first, then setting order).
bool Take(Queue& q, DWORD tid, MSG* m, HWND filter, UINT lo, UINT hi, bool remove) {
  for (auto it = q.messages.begin(); it != q.messages.end(); ++it) {
    if (MatchWindow(it->hwnd, filter) && MatchRange(it->message, lo, hi)) {
      *m = *it;
      if (remove) q.messages.erase(it);
      return true;
    }
  }
  if (q.quit) {
    *m = MSG{0, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount(), {0, 0}};
    if (remove) q.quit = false;
    return true;
  }
  if (!MatchRange(WM_TIMER, lo, hi)) return false;
  auto now = Clock::now();
  Timer* best = nullptr;
  for (Timer& t : S().timers) {
    if (t.thread != tid || t.due > now || !MatchWindow(t.hwnd, filter)) continue;
    if (!best || t.due < best->due || (t.due == best->due && t.seq < best->seq)) best = &t;
  }
  if (!best) return false;
  *m = MSG{best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc), GetTickCount(), {0, 0}};
  // One WM_TIMER at a time per timer: the next one is due a whole period after this one is taken.
  if (remove) best->due = now + std::chrono::milliseconds(best->elapse);
  return true;
}

std::optional<Clock::time_point> NextTimer(DWORD tid, HWND filter, UINT lo, UINT hi) {
  std::optional<Clock::time_point> next;
  if (!MatchRange(WM_TIMER, lo, hi)) return next;
  for (const Timer& t : S().timers)
    if (t.thread == tid && MatchWindow(t.hwnd, filter) && (!next || t.due < *next)) next = t.due;
  return next;
}

bool ValidFilter(HWND filter) {
  if (filter == 0 || filter == HWND(-1)) return true;
  Window* w = W(filter);
  return w && w->thread == GetCurrentThreadId();
}

// Waits for a message for the calling thread, letting the desktop act while nothing is there. After
// the desktop acted and nothing arrived, returns a WM_NULL (when the range admits it) so a modal
// loop gets to look at its end condition.
// How long the calling thread has waited, since anything other than a timer happened (a message, a
// desktop action), for its timers alone. A person's desktop may put a bound on it.
thread_local std::chrono::steady_clock::duration t_timerOnlyWait{};
thread_local uint64_t t_timerOnlyDesktop = 0;  // the desktop (by generation) the wait was counted for

bool Wait(MSG* m, HWND filter, UINT lo, UINT hi, bool remove) {
  DWORD tid = GetCurrentThreadId();
  bool acted = false;
  // Only a thread a person could be waiting on asks the desktop: one that owns windows, or the one
  // that installed the desktop. A worker waiting for posts just waits.
  bool person = tid == DesktopThread();
  if (!person) {
    std::lock_guard lock(S().mu);
    S().windows.ForEach([&](HANDLE, Window& w) { person = person || w.thread == tid; });
  }
  for (;;) {
    std::unique_lock lock(S().mu);
    Queue& q = MyQueue();
    if (Take(q, tid, m, filter, lo, hi, remove)) {
      if (m->message != WM_TIMER) t_timerOnlyWait = {};
      return true;
    }
    uint64_t stamp = q.stamp;
    if (acted && MatchRange(WM_NULL, lo, hi)) {
      *m = MSG{W(filter) ? filter : 0, WM_NULL, 0, 0, GetTickCount(), {0, 0}};
      return true;
    }
    lock.unlock();

    Desktop& desktop = CurrentDesktop();
    if (person && desktop.Idle()) {
      acted = true;
      t_timerOnlyWait = {};
      continue;
    }

    lock.lock();
    Queue& q2 = MyQueue();
    if (q2.stamp != stamp) continue;
    auto changed = [&] { return q2.stamp != stamp; };
    if (auto next = NextTimer(tid, filter, lo, hi)) {
      if (t_timerOnlyDesktop != DesktopGeneration()) {
        t_timerOnlyDesktop = DesktopGeneration();
        t_timerOnlyWait = {};
      }
      int timerLimit = person ? desktop.TimerOnlyLimitMs() : -1;
      if (timerLimit >= 0 && t_timerOnlyWait >= std::chrono::milliseconds(timerLimit)) {
        t_timerOnlyWait = {};
        lock.unlock();
        desktop.StalledOnTimers();  // may throw; no lock is held
        continue;
      }
      auto start = Clock::now();
      q2.cv.wait_until(lock, *next, changed);
      t_timerOnlyWait += Clock::now() - start;
      continue;
    }
    int limit = person ? desktop.BlockLimitMs() : -1;
    if (limit < 0) {
      q2.cv.wait(lock, changed);
    } else if (!q2.cv.wait_for(lock, std::chrono::milliseconds(limit), changed)) {
      lock.unlock();
      desktop.Stalled();  // may throw; no lock is held
    }
  }
}

WNDPROC ProcOf(HWND h) {
  std::lock_guard lock(S().mu);
  Window* w = W(h);
  return w ? w->proc : nullptr;
}

}  // namespace

extern "C" {

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = ProcOf(hWnd);
  if (!proc) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return proc(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard lock(S().mu);
  MSG m{hWnd, Msg, wParam, lParam, GetTickCount(), {0, 0}};
  if (hWnd == 0) {
    Queue& q = MyQueue();
    q.messages.push_back(m);
    Wake(q);
    return TRUE;
  }
  if (hWnd == HWND_BROADCAST) {
    S().windows.ForEach([&](HANDLE h, Window& w) {
      if (w.style & WS_CHILD) return;
      Queue& q = QueueOf(w.thread);
      m.hwnd = h;
      q.messages.push_back(m);
      Wake(q);
    });
    return TRUE;
  }
  Window* w = W(hWnd);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Queue& q = QueueOf(w->thread);
  q.messages.push_back(m);
  Wake(q);
  return TRUE;
}

BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard lock(S().mu);
  auto it = S().queues.find(idThread);
  if (it == S().queues.end()) {
    // As in Win32, a thread has a queue only once it used a message or window function.
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  it->second->messages.push_back(MSG{0, Msg, wParam, lParam, GetTickCount(), {0, 0}});
  Wake(*it->second);
  return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
  std::lock_guard lock(S().mu);
  Queue& q = MyQueue();
  q.quit = true;
  q.quitCode = nExitCode;
  Wake(q);
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  {
    std::lock_guard lock(S().mu);
    if (!lpMsg || !ValidFilter(hWnd)) {
      SetLastError(lpMsg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
      return -1;
    }
  }
  Wait(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true);
  return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  std::lock_guard lock(S().mu);
  if (!lpMsg || !ValidFilter(hWnd)) {
    SetLastError(lpMsg ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return Take(MyQueue(), GetCurrentThreadId(), lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0)
             ? TRUE
             : FALSE;
}

BOOL WINAPI WaitMessage(void) {
  MSG m;
  Wait(&m, 0, 0, 0, false);
  return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  // There is no keyboard layout to translate with: key messages stay as they are.
  (void)lpMsg;
  return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  if (!lpMsg) return 0;
  if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
    // Only the procedure of a live timer is called, never an arbitrary address from a posted message.
    TIMERPROC proc = nullptr;
    {
      std::lock_guard lock(S().mu);
      for (const Timer& t : S().timers)
        if (reinterpret_cast<LPARAM>(t.proc) == lpMsg->lParam && t.hwnd == lpMsg->hwnd && t.id == lpMsg->wParam)
          proc = t.proc;
    }
    if (proc) proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
    return 0;
  }
  if (!lpMsg->hwnd) return 0;
  return SendMessageA(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
  if (!lpMsg || !IsWindow(hDlg)) return FALSE;
  if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
  if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_RETURN) {
    if (!PressDefaultButton(hDlg)) SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
  }
  if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_ESCAPE) {
    HWND cancel = GetDlgItem(hDlg, IDCANCEL);
    if (!cancel || IsWindowEnabled(cancel))
      SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), static_cast<LPARAM>(cancel));
    return TRUE;
  }
  DispatchMessageA(lpMsg);
  return TRUE;
}

UINT WINAPI RegisterWindowMessageA(LPCSTR lpString) {
  if (!lpString || !*lpString) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard lock(S().mu);
  auto [it, added] = S().messageNames.emplace(LowerAscii(lpString), 0);
  if (added) {
    if (S().nextMessage == 0) {
      S().messageNames.erase(it);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    it->second = S().nextMessage;
    S().nextMessage = S().nextMessage == 0xFFFF ? 0 : S().nextMessage + 1;
  }
  return it->second;
}

}  // extern "C"
