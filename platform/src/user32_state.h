// The state behind the user32 functions (classes, windows, queues, timers, focus), shared by the
// user32_*.cpp files; not installed.
//
// All state lives in one process-wide table behind one mutex. The mutex is never held while a
// window procedure, a timer procedure or the desktop runs, so any of them may call back into the
// layer (and the desktop may throw out of GetMessageA).
#ifndef KORVEN_PLATFORM_USER32_STATE_H
#define KORVEN_PLATFORM_USER32_STATE_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "handles.h"
#include "internal.h"

// Hidden: these are the library's own, not part of what it exports.
#pragma GCC visibility push(hidden)
namespace korven::platform::detail::user32 {

using Clock = std::chrono::steady_clock;

struct ClassEntry {
  std::string name;
  std::string menuName;
  WNDCLASSA wc{};
  WORD atom = 0;
  bool builtin = false;
};

struct Window {
  std::string className;
  WNDPROC proc = nullptr;
  HINSTANCE instance = 0;
  std::string caption;
  HWND parent = 0;  // WS_CHILD windows
  HWND owner = 0;   // top-level windows
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;
  DWORD thread = 0;
  RECT rect{};
  LONG_PTR userData = 0;
  std::vector<char> extra;
  std::vector<HWND> children;  // creation order
  bool destroying = false;
  uint64_t zOrder = 0;
  UINT messageBoxType = 0;
  ControlState control;
};

struct Timer {
  HWND hwnd = 0;
  UINT_PTR id = 0;
  UINT elapse = 0;
  TIMERPROC proc = nullptr;
  DWORD thread = 0;
  Clock::time_point due;
  uint64_t seq = 0;  // setting order, breaks ties between timers due at the same moment
};

struct Queue {
  std::deque<MSG> messages;
  bool quit = false;
  int quitCode = 0;
  uint64_t stamp = 0;  // changes whenever something arrives that a waiting thread must look at
  std::condition_variable cv;
};

struct State {
  std::mutex mu;
  HandleTable<Window> windows{HandleTag::Window};
  std::map<std::string, ClassEntry> classes;  // by lower-case name
  WORD nextAtom = 0xC000;
  std::vector<Timer> timers;
  uint64_t timerSeq = 0;
  UINT_PTR nextThreadTimer = 1;
  std::unordered_map<DWORD, std::unique_ptr<Queue>> queues;
  std::map<std::string, UINT> messageNames;
  UINT nextMessage = 0xC000;
  HWND focus = 0;
  HWND active = 0;
  HWND foreground = 0;
  uint64_t zCounter = 0;

  State();  // registers the built-in classes
};

// The one state of the process; never destroyed (window procedures and other threads may still run
// during static destruction).
State& S();

// ---- helpers (the caller holds S().mu) ----------------------------------------------------------

// The live window, or nullptr for 0 and bad handles.
Window* W(HWND h);
// The queue of a thread, made on first use.
Queue& QueueOf(DWORD tid);
// The calling thread's queue; it is removed when the thread ends.
Queue& MyQueue();
// Tells a thread waiting on the queue that something arrived.
void Wake(Queue& q);
// A class by name (case-insensitive) or by atom (a value below 0x10000); nullptr when unknown.
ClassEntry* FindClass(LPCSTR name);
// Whether `ancestor` is a parent, grandparent, ... of `h` (ownership does not count).
bool IsDescendant(HWND h, HWND ancestor);
// The top-level window above a child (the window itself when top-level); 0 for a bad handle.
HWND TopLevelOf(HWND h);
void Snapshot(HWND h, const Window& w, WindowInfo& info);

// ---- helpers needing no lock ----------------------------------------------------------------------

// Copies as much of `text` as fits with its NUL into out[size]; returns the characters copied.
size_t CopyText(const std::string& text, LPSTR out, size_t size);

}  // namespace korven::platform::detail::user32
#pragma GCC visibility pop

#endif
