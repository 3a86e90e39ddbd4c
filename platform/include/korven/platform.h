// korven platform layer: what the POSIX substitute of Win32 offers beyond Win32 itself. Programs use
// it to point the layer elsewhere (Windows directory, win.ini, code page); tests use it to capture
// the debug output and to prove that nothing leaked.
#ifndef KORVEN_PLATFORM_H
#define KORVEN_PLATFORM_H

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace korven::platform {

// ---- Windows directory --------------------------------------------------------------------------

// The folder GetWindowsDirectoryA reports. By default: $KORVEN_WINDOWS_DIR when set, otherwise the
// folder "korven/windows" beside the platform library itself (in the build tree and in an install),
// which holds TWAIN_32.DLL and twain_32/. An empty path restores the default.
void SetWindowsDirectory(const std::string& path);
std::string WindowsDirectory();

// The per-user win.ini behind GetProfileStringA/WriteProfileStringA. By default
// $KORVEN_PROFILE when set, otherwise $XDG_CONFIG_HOME/korven/win.ini (~/.config/korven/win.ini).
// An empty path restores the default.
void SetProfilePath(const std::string& path);
std::string ProfilePath();

// ---- Debug output -------------------------------------------------------------------------------

// Where OutputDebugStringA goes. Default: nowhere, unless $KORVEN_DEBUG_OUTPUT is set, then standard
// error. Returns the previous sink. The sink is called with the whole text of one call.
using DebugSink = std::function<void(const std::string&)>;
DebugSink SetDebugSink(DebugSink sink);

// ---- Code pages ---------------------------------------------------------------------------------

// Selects the ANSI code page: 65001 (UTF-8, the default) or 932 (Shift-JIS). Returns false and keeps
// the current one for any other value.
bool SetACP(UINT codePage);
// Converts UTF-8 text into the active ANSI code page (unchanged under 65001); characters the code
// page lacks become '?'.
std::string FromUtf8(const std::string& utf8);
// Converts text in the active ANSI code page into UTF-8.
std::string ToUtf8(const std::string& ansi);

// ---- Path rules ---------------------------------------------------------------------------------

// Which characters separate folders in the paths a user types and a program splits: Posix, the
// default here, knows only '/'; Windows knows '\', '/' and the drive's ':'. Selectable like the code
// page, so code that splits paths can be tried under both.
enum class PathRules { Posix, Windows };
// Selects the rules; returns the previous ones.
PathRules SetPathRules(PathRules rules);
PathRules GetPathRules();
// Whether c, a whole character of the active code page, separates folders under the current rules.
bool IsPathSeparator(char c);

// ---- Accounting ---------------------------------------------------------------------------------

// Live global memory blocks and their bytes, process-wide.
size_t GlobalLiveBlocks();
size_t GlobalLiveBytes();
// Live windows and timers, process-wide.
size_t LiveWindowCount();
size_t LiveTimerCount();
// Loaded modules (LoadLibraryA references not yet freed), process-wide.
size_t LoadedModuleCount();

// ---- Modules ------------------------------------------------------------------------------------

// Why the calling thread's last LoadLibraryA failed (the image check's or the loader's reason);
// empty after a successful load.
std::string LastLoadLibraryError();

// ---- Page-sized buffers ---------------------------------------------------------------------------

// Buffers of at least this many bytes (a scanned page's pixels, its DIB) are large buffers.
constexpr size_t kLargeBufferThreshold = size_t{1} << 20;
// Whether a buffer of `bytes` is served as a large buffer (never in address-sanitizer builds, which
// keep malloc so that every overrun is caught at the exact end of the block).
bool IsLargeBuffer(size_t bytes);
// Memory for `bytes` (zeroed when asked), nullptr when there is none. A large buffer is mapped on
// its own, aligned for transparent huge pages and offered them; a large buffer freed a moment ago
// with the same mapped size is handed out again instead of faulting in fresh memory (a feeder batch
// allocates page after page of the same size). Smaller requests are malloc/calloc. Release with
// ReleaseLargeBuffer and the same size. Global memory blocks and bitmap pixels come from here.
void* AllocateLargeBuffer(size_t bytes, bool zeroed);
void ReleaseLargeBuffer(void* p, size_t bytes);
// Gives every freed large buffer still kept for reuse back to the system (they go by themselves
// within seconds); and the bytes so kept.
void TrimLargeBuffers();
size_t KeptLargeBufferBytes();

// Shares the memory of a live global memory block: it stays valid, with its contents, until the
// block is freed and the returned owner is released, whichever comes last. The block itself keeps
// every Win32 meaning (GlobalSize, locks, GlobalFree, the accounting); growing it with
// GlobalReAlloc moves the block to new memory and leaves the shared memory to the owner. A reader
// that takes over a DIB's pixels instead of copying them uses this. Empty for an invalid handle.
std::shared_ptr<void> GlobalShareMemory(HGLOBAL hMem);

// ---- Version records ----------------------------------------------------------------------------

// The record a shared object carries in its ".korven_version" section: a key, then the fixed info
// that VerQueryValueA(block, "\\") returns. KORVEN_VERSION_RECORD places one in the object being
// built (once per shared object or program).
struct VersionRecord {
  char key[16];  // "VS_VERSION_INFO" NUL-terminated
  VS_FIXEDFILEINFO fixed;
};

}  // namespace korven::platform

#define KORVEN_VERSION_RECORD(major, minor, patch, build)                                                    \
  extern "C" __attribute__((section(".korven_version"), used, visibility("hidden")))                         \
  const korven::platform::VersionRecord korven_version_record = {                                           \
      "VS_VERSION_INFO",                                                                                     \
      {VS_FFI_SIGNATURE, 0x00010000u, ((DWORD)(major) << 16) | (DWORD)(minor),                              \
       ((DWORD)(patch) << 16) | (DWORD)(build), ((DWORD)(major) << 16) | (DWORD)(minor),                    \
       ((DWORD)(patch) << 16) | (DWORD)(build), 0x3Fu, 0u, 0x00040004u, 2u, 0u, 0u, 0u}}

#endif  // KORVEN_PLATFORM_H
