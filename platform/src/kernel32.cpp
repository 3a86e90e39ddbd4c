// kernel32: last error, threads and time, global memory, modules, the Windows directory and the
// debug output.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "handles.h"
#include "internal.h"

namespace fs = std::filesystem;
using namespace korven::platform;
using namespace korven::platform::detail;

namespace {

thread_local DWORD t_lastError = 0;
thread_local std::string t_lastLoadError;

// ---- global memory ------------------------------------------------------------------------------

struct Block {
  void* data = nullptr;
  size_t size = 0;
  size_t capacity = 0;  // what was allocated (a shrunk block keeps its memory)
  UINT flags = 0;
  unsigned locks = 0;
  std::shared_ptr<void> shared;  // set once the memory is shared (GlobalShareMemory): it frees it then
};

// The memory of a block, released the way it was allocated.
void ReleaseBlockMemory(void* data, size_t capacity) { ReleaseLargeBuffer(data, capacity ? capacity : 1); }

std::mutex& GlobalMutex() {
  static std::mutex m;
  return m;
}
HandleTable<Block>& Blocks() {
  static HandleTable<Block> t(HandleTag::Global);
  return t;
}
size_t g_liveBytes = 0;

// ---- modules ------------------------------------------------------------------------------------

struct Module {
  void* dl = nullptr;
  std::string path;
  size_t refs = 0;
  std::vector<std::string> names;  // the paths it was loaded by that the loader knows it by
  bool resident = false;           // linked never to be unmapped (DF_1_NODELETE)
};

std::mutex& ModuleMutex() {
  static std::mutex m;
  return m;
}
HandleTable<Module>& Modules() {
  static HandleTable<Module> t(HandleTag::Module);
  return t;
}
std::unordered_map<void*, HMODULE>& ModuleByDl() {
  static std::unordered_map<void*, HMODULE> m;
  return m;
}
size_t g_moduleRefs = 0;
// Paths of libraries the loader has mapped under that very name, with the handle while one is held
// (0: resident, not held) and the file as it was when it was mapped.
struct Mapped {
  HMODULE handle = 0;
  struct stat file {};
};
std::unordered_map<std::string, Mapped>& MappedPaths() {
  static std::unordered_map<std::string, Mapped> s;
  return s;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// A library's exported DllMain(HINSTANCE, DWORD reason, LPVOID) is called as Win32 calls it: with
// DLL_PROCESS_ATTACH (1) when LoadLibraryA gives out the first reference (FALSE refuses the load with
// ERROR_DLL_INIT_FAILED, 1114) and DLL_PROCESS_DETACH (0) when FreeLibrary drops the last one. A
// library linked never to be unmapped keeps its code and data between the two; DllMain is where it
// lets go of what belongs to the program that used it.
constexpr DWORD kDllProcessDetach = 0, kDllProcessAttach = 1, kErrorDllInitFailed = 1114;
using DllMainProc = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
DllMainProc DllMainOf(void* dl) { return reinterpret_cast<DllMainProc>(dlsym(dl, "DllMain")); }

// Whether the object is linked never to be unmapped (-z nodelete).
bool StaysMapped(const link_map& map) {
  for (const ElfW(Dyn)* d = map.l_ld; d && d->d_tag != DT_NULL; ++d)
    if (d->d_tag == DT_FLAGS_1) return (d->d_un.d_val & DF_1_NODELETE) != 0;
  return false;
}

// ---- Windows directory and debug output ---------------------------------------------------------

std::mutex& ConfigMutex() {
  static std::mutex m;
  return m;
}
std::string g_windowsDir;  // empty: the default

std::mutex& DebugMutex() {
  static std::mutex m;
  return m;
}
DebugSink& Sink() {
  static DebugSink sink = [] {
    const char* env = std::getenv("KORVEN_DEBUG_OUTPUT");
    if (env && *env) return DebugSink([](const std::string& s) { std::fprintf(stderr, "%s\n", s.c_str()); });
    return DebugSink();
  }();
  return sink;
}

std::string DefaultWindowsDir() {
  if (const char* env = std::getenv("KORVEN_WINDOWS_DIR"); env && *env) return env;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DefaultWindowsDir), &info) && info.dli_fname) {
    std::error_code ec;
    fs::path lib = fs::weakly_canonical(fs::absolute(info.dli_fname, ec), ec);
    return (lib.parent_path() / KORVEN_WINDOWS_SUBDIR).string();
  }
  return (fs::current_path() / KORVEN_WINDOWS_SUBDIR).string();
}

std::string StripTrailingSeparator(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

// ---- korven::platform ---------------------------------------------------------------------------

namespace korven::platform {

void SetWindowsDirectory(const std::string& path) {
  std::lock_guard lock(ConfigMutex());
  g_windowsDir = path.empty() ? std::string() : StripTrailingSeparator(detail::PosixPath(path.c_str()));
}

std::string WindowsDirectory() {
  std::lock_guard lock(ConfigMutex());
  if (!g_windowsDir.empty()) return g_windowsDir;
  return StripTrailingSeparator(DefaultWindowsDir());
}

DebugSink SetDebugSink(DebugSink sink) {
  std::lock_guard lock(DebugMutex());
  DebugSink previous = std::move(Sink());
  Sink() = std::move(sink);
  return previous;
}

size_t GlobalLiveBlocks() {
  std::lock_guard lock(GlobalMutex());
  return Blocks().Live();
}

size_t GlobalLiveBytes() {
  std::lock_guard lock(GlobalMutex());
  return g_liveBytes;
}

std::shared_ptr<void> GlobalShareMemory(HGLOBAL hMem) {
  std::lock_guard lock(GlobalMutex());
  Block* b = Blocks().Find(hMem);
  if (!b) return {};
  if (!b->shared) {
    size_t capacity = b->capacity;
    b->shared = std::shared_ptr<void>(b->data, [capacity](void* p) { ReleaseBlockMemory(p, capacity); });
  }
  return b->shared;
}

size_t LoadedModuleCount() {
  std::lock_guard lock(ModuleMutex());
  return g_moduleRefs;
}

}  // namespace korven::platform

// ---- kernel32 -----------------------------------------------------------------------------------

extern "C" {

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(::syscall(SYS_gettid)); }

DWORD WINAPI GetTickCount(void) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<DWORD>(ms.count());
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (!lpOutputString) return;
  std::string text(lpOutputString);
  DebugSink sink;
  {
    std::lock_guard lock(DebugMutex());
    sink = Sink();
  }
  // Called without the lock, so a sink may itself write debug output or take its time.
  if (sink) sink(text);
}

// ---- global memory ------------------------------------------------------------------------------

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  // Fresh memory is zero already (calloc, or a new mapping), so GMEM_ZEROINIT costs nothing up front;
  // a page-sized block comes from the large buffers, which hand a freed page back warm.
  void* p = AllocateLargeBuffer(dwBytes ? dwBytes : 1, (uFlags & GMEM_ZEROINIT) != 0);
  if (!p) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  std::lock_guard lock(GlobalMutex());
  HGLOBAL h = Blocks().Add(Block{p, dwBytes, dwBytes ? dwBytes : 1, uFlags & (GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE), 0, {}});
  if (!h) {
    ReleaseBlockMemory(p, dwBytes ? dwBytes : 1);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  g_liveBytes += dwBytes;
  return h;
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
  std::shared_ptr<void> dropped;  // a shared memory's last owner may free it: outside the lock
  std::lock_guard lock(GlobalMutex());
  Block* b = Blocks().Find(hMem);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (uFlags & GMEM_MODIFY) {
    b->flags = (b->flags & ~UINT(GMEM_MOVEABLE)) | (uFlags & GMEM_MOVEABLE);
    return hMem;
  }
  if (dwBytes <= b->size) {
    // Shrinking keeps the data where it is, so a locked block's pointer stays valid.
    g_liveBytes -= b->size - dwBytes;
    b->size = dwBytes;
    return hMem;
  }
  if (b->locks > 0 && !(uFlags & GMEM_MOVEABLE)) {
    // Growing would move a locked block whose pointer a caller still holds.
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  void* p = nullptr;
  if (!b->shared && !IsLargeBuffer(b->capacity) && !IsLargeBuffer(dwBytes)) {
    p = std::realloc(b->data, dwBytes);
    if (!p) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
  } else {
    // A large or shared block moves to new memory; shared memory stays with its other owner.
    p = AllocateLargeBuffer(dwBytes, false);
    if (!p) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(p, b->data, b->size);
    if (b->shared)
      dropped = std::move(b->shared);
    else
      ReleaseBlockMemory(b->data, b->capacity);
  }
  if (uFlags & GMEM_ZEROINIT) std::memset(static_cast<char*>(p) + b->size, 0, dwBytes - b->size);
  g_liveBytes += dwBytes - b->size;
  b->data = p;
  b->size = dwBytes;
  b->capacity = dwBytes;
  return hMem;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
  std::lock_guard lock(GlobalMutex());
  Block* b = Blocks().Find(hMem);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (b->locks < 0xFFFFFFFFu) ++b->locks;
  return b->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
  std::lock_guard lock(GlobalMutex());
  Block* b = Blocks().Find(hMem);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (b->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--b->locks == 0) {
    SetLastError(NO_ERROR);
    return FALSE;
  }
  return TRUE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
  if (hMem == 0) return 0;
  void* data = nullptr;
  size_t capacity = 0;
  unsigned locks = 0;
  std::shared_ptr<void> shared;
  {
    std::lock_guard lock(GlobalMutex());
    Block* b = Blocks().Find(hMem);
    if (!b) {
      SetLastError(ERROR_INVALID_HANDLE);
      return hMem;
    }
    data = b->data;
    capacity = b->capacity;
    locks = b->locks;
    shared = std::move(b->shared);
    g_liveBytes -= b->size;
    Blocks().Remove(hMem);
  }
  // Shared memory goes with its last owner; this may be that owner.
  if (shared)
    shared.reset();
  else
    ReleaseBlockMemory(data, capacity);
  if (locks > 0) {
    // Win32 frees a locked block too; say so, since the holder's pointer now dangles.
    char line[96];
    std::snprintf(line, sizeof line, "GlobalFree: block %08X freed while locked %u time(s)", hMem, locks);
    OutputDebugStringA(line);
  }
  return 0;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
  std::lock_guard lock(GlobalMutex());
  Block* b = Blocks().Find(hMem);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return b->size;
}

UINT WINAPI GlobalFlags(HGLOBAL hMem) {
  std::lock_guard lock(GlobalMutex());
  Block* b = Blocks().Find(hMem);
  if (!b) {
    SetLastError(ERROR_INVALID_HANDLE);
    return GMEM_INVALID_HANDLE;
  }
  return (b->flags & GMEM_SHARE) | (b->locks > 0xFF ? 0xFFu : b->locks);
}

// ---- modules ------------------------------------------------------------------------------------

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path = PosixPath(lpLibFileName);
  bool mapped = false;
  {
    std::lock_guard lock(ModuleMutex());
    auto it = MappedPaths().find(path);
    if (it != MappedPaths().end()) {
      mapped = true;
      // A resident library is only loaded again while its file is there, as any other, and as it was
      // mapped: a file rewritten in place since (a copy over it) would fault the mapping when touched,
      // and a new file under that name cannot be mapped beside it.
      struct stat now {};
      if (it->second.handle == 0 && stat(path.c_str(), &now) != 0) {
        t_lastLoadError = path + ": cannot open shared object file: " + std::strerror(errno);
        OutputDebugStringA(("LoadLibraryA(\"" + std::string(lpLibFileName) + "\") failed: " + t_lastLoadError).c_str());
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
      }
      if (it->second.handle == 0 && !SameFile(now, it->second.file)) {
        t_lastLoadError = "the file changed after this program loaded it; the program uses the new one when it starts again";
        OutputDebugStringA(("LoadLibraryA(\"" + std::string(lpLibFileName) + "\") refused: " + t_lastLoadError).c_str());
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return 0;
      }
    }
  }
  // A damaged image (a half-copied driver, any file with a library's name) would fault inside the
  // system loader; it is refused first, as the Windows loader refuses it. A bare name is searched
  // for by dlopen and not checked, and neither is a path the loader still has mapped under that
  // very name: dlopen hands that mapping out again without reading the file.
  if (!mapped && path.find('/') != std::string::npos) {
    std::string why;
    DWORD error = CheckLoadableImage(path, why);
    if (error != ERROR_SUCCESS && error != ERROR_MOD_NOT_FOUND) {
      t_lastLoadError = why;
      OutputDebugStringA(("LoadLibraryA(\"" + std::string(lpLibFileName) + "\") refused: " + why).c_str());
      SetLastError(error);
      return 0;
    }
  }
  // No lock around dlopen/dlclose: a library's constructors and destructors may load or free others.
  // Every LoadLibraryA pairs with one dlopen and every FreeLibrary with one dlclose, so the loader's
  // own count always matches ours.
  void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    const char* why = dlerror();
    t_lastLoadError = why ? why : "unknown reason";
    std::string line = "LoadLibraryA(\"" + std::string(lpLibFileName) + "\") failed: " + (why ? why : "unknown reason");
    OutputDebugStringA(line.c_str());
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  t_lastLoadError.clear();
  std::string file = path;
  link_map* map = nullptr;
  if (dlinfo(dl, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && *map->l_name) file = map->l_name;
  std::unique_lock lock(ModuleMutex());
  // Only the name the loader itself knows the object by finds it again without reading the file.
  const bool byName = file == path && path.find('/') != std::string::npos;
  auto it = ModuleByDl().find(dl);
  if (it != ModuleByDl().end()) {
    // The same object again: the same handle with one more reference, as Win32 does.
    Module* m = Modules().Find(it->second);
    m->refs++;
    if (byName && MappedPaths()[path].handle == 0) {
      MappedPaths()[path].handle = it->second;
      m->names.push_back(path);
    }
    ++g_moduleRefs;
    return it->second;
  }
  Module module{dl, file, 1, {}, map && StaysMapped(*map)};
  if (byName) module.names.push_back(path);
  HMODULE h = Modules().Add(std::move(module));
  if (!h) {
    lock.unlock();
    dlclose(dl);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  ModuleByDl()[dl] = h;
  if (byName) {
    Mapped& entry = MappedPaths()[path];
    entry.handle = h;
    if (stat(path.c_str(), &entry.file) != 0) entry.file = {};
  }
  ++g_moduleRefs;
  lock.unlock();
  if (DllMainProc main = DllMainOf(dl); main && !main(h, kDllProcessAttach, nullptr)) {
    FreeLibrary(h);
    t_lastLoadError = path + ": its DllMain refused to start";
    OutputDebugStringA(("LoadLibraryA(\"" + std::string(lpLibFileName) + "\") failed: " + t_lastLoadError).c_str());
    SetLastError(kErrorDllInitFailed);
    return 0;
  }
  return h;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Ordinals (values below 0x10000 passed as a name) have no meaning for shared objects.
  if (!lpProcName || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* dl = nullptr;
  if (hModule == 0) {
    dl = dlopen(nullptr, RTLD_NOW);  // the program itself, as Win32's NULL module
  } else {
    std::lock_guard lock(ModuleMutex());
    Module* m = Modules().Find(hModule);
    if (m) dl = m->dl;
  }
  if (!dl) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  dlerror();
  void* sym = dlsym(dl, lpProcName);
  if (hModule == 0) dlclose(dl);
  if (!sym) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(sym);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  void* dl = nullptr;
  bool last = false;
  {
    std::lock_guard lock(ModuleMutex());
    Module* m = Modules().Find(hLibModule);
    if (!m) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    dl = m->dl;
    last = m->refs == 1;
  }
  // The last reference: the library lets go of what it holds while its handle is still valid.
  if (last)
    if (DllMainProc main = DllMainOf(dl)) main(hLibModule, kDllProcessDetach, nullptr);
  {
    std::lock_guard lock(ModuleMutex());
    Module* m = Modules().Find(hLibModule);
    if (!m) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    --g_moduleRefs;
    if (--m->refs == 0) {
      for (const std::string& name : m->names) {
        if (m->resident) MappedPaths()[name].handle = 0;
        else MappedPaths().erase(name);
      }
      ModuleByDl().erase(dl);
      Modules().Remove(hLibModule);
    }
  }
  dlclose(dl);
  return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::string path;
  if (hModule == 0) {
    std::error_code ec;
    path = fs::read_symlink("/proc/self/exe", ec).string();
    if (ec) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
  } else {
    std::lock_guard lock(ModuleMutex());
    Module* m = Modules().Find(hModule);
    if (!m) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = m->path;
  }
  if (!lpFilename || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= nSize) {
    // Truncated and terminated, returning nSize, as current Windows versions do.
    std::memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::memcpy(lpFilename, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  std::string dir = WindowsDirectory();
  if (!lpBuffer || uSize <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
  return static_cast<UINT>(dir.size());
}

}  // extern "C"

std::string korven::platform::LastLoadLibraryError() { return t_lastLoadError; }
