// user32: window and thread timers. Their WM_TIMER messages are made by the message retrieval
// (user32_messages.cpp) when a timer is due.
#include <algorithm>

#include "user32_state.h"

using namespace korven::platform;
using namespace korven::platform::detail;
using namespace korven::platform::detail::user32;

namespace {

constexpr UINT kTimerMinimum = 10;  // USER_TIMER_MINIMUM
constexpr UINT kTimerMaximum = 0x7FFFFFFF;

}  // namespace

namespace korven::platform {

size_t LiveTimerCount() {
  std::lock_guard lock(S().mu);
  return S().timers.size();
}

}  // namespace korven::platform

extern "C" {

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  std::lock_guard lock(S().mu);
  DWORD tid = GetCurrentThreadId();
  if (hWnd) {
    Window* w = W(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->thread != tid) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  UINT elapse = std::clamp(uElapse, kTimerMinimum, kTimerMaximum);
  auto due = Clock::now() + std::chrono::milliseconds(elapse);
  auto find = [&](HWND h, UINT_PTR id) -> Timer* {
    for (Timer& t : S().timers)
      if (t.hwnd == h && t.id == id && (h || t.thread == tid)) return &t;
    return nullptr;
  };
  UINT_PTR id = nIDEvent;
  Timer* t = find(hWnd, id);
  if (!hWnd && !t) {
    // A thread timer gets a fresh id; nIDEvent only matters when it names an existing one.
    do id = S().nextThreadTimer++;
    while (id == 0 || find(0, id));
  }
  if (!t) {
    S().timers.push_back(Timer{});
    t = &S().timers.back();
  }
  *t = Timer{hWnd, id, elapse, lpTimerFunc, tid, due, ++S().timerSeq};
  Wake(MyQueue());
  return hWnd && id == 0 ? 1 : id;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  std::lock_guard lock(S().mu);
  if (hWnd && !W(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  DWORD tid = GetCurrentThreadId();
  auto& timers = S().timers;
  for (auto it = timers.begin(); it != timers.end(); ++it) {
    if (it->hwnd == hWnd && it->id == uIDEvent && (hWnd || it->thread == tid)) {
      timers.erase(it);
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // extern "C"
