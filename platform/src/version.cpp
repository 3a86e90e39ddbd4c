// Version records: GetFileVersionInfo* read the ".korven_version" section of an ELF file (see
// KORVEN_VERSION_RECORD) without loading it. Every offset and size taken from the file is checked
// against the file's size before it is used; anything unexpected counts as "no version record".
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "internal.h"

using korven::platform::VersionRecord;

namespace {

constexpr const char kSection[] = ".korven_version";
constexpr const char kKey[] = "VS_VERSION_INFO";

class File {
 public:
  explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<uint64_t>(st.st_size);
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  uint64_t Size() const { return size_; }
  // Reads exactly n bytes at offset, refusing ranges outside the file.
  bool Read(uint64_t offset, void* out, uint64_t n) const {
    if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
    auto* p = static_cast<char*>(out);
    while (n > 0) {
      ssize_t r = ::pread(fd_, p, n, static_cast<off_t>(offset));
      if (r <= 0) return false;
      p += r;
      offset += static_cast<uint64_t>(r);
      n -= static_cast<uint64_t>(r);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t size_ = 0;
};

bool ValidRecord(const VersionRecord& r) {
  return std::memcmp(r.key, kKey, sizeof kKey) == 0 && r.fixed.dwSignature == VS_FFI_SIGNATURE;
}

std::optional<VersionRecord> ReadRecord(const char* filename) {
  if (!filename) return std::nullopt;
  File f(korven::platform::detail::PosixPath(filename));
  Elf64_Ehdr eh{};
  if (!f.Read(0, &eh, sizeof eh)) return std::nullopt;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return std::nullopt;
  const bool little = [] {
    uint16_t one = 1;
    return *reinterpret_cast<unsigned char*>(&one) == 1;
  }();
  if (eh.e_ident[EI_DATA] != (little ? ELFDATA2LSB : ELFDATA2MSB)) return std::nullopt;
  if (eh.e_shoff == 0 || eh.e_shentsize != sizeof(Elf64_Shdr)) return std::nullopt;

  auto section = [&](uint64_t index, Elf64_Shdr& sh) {
    if (index > (f.Size() - std::min(f.Size(), eh.e_shoff)) / sizeof(Elf64_Shdr)) return false;
    return f.Read(eh.e_shoff + index * sizeof(Elf64_Shdr), &sh, sizeof sh);
  };
  Elf64_Shdr first{};
  if (!section(0, first)) return std::nullopt;
  // Very many sections: the real counts live in the first section header.
  uint64_t count = eh.e_shnum ? eh.e_shnum : first.sh_size;
  uint64_t strIndex = eh.e_shstrndx == SHN_XINDEX ? first.sh_link : eh.e_shstrndx;
  if (count == 0 || strIndex >= count) return std::nullopt;
  if (count > (f.Size() - eh.e_shoff) / sizeof(Elf64_Shdr)) return std::nullopt;

  Elf64_Shdr strtab{};
  if (!section(strIndex, strtab) || strtab.sh_type == SHT_NOBITS) return std::nullopt;
  if (strtab.sh_offset > f.Size() || strtab.sh_size > f.Size() - strtab.sh_offset) return std::nullopt;

  // The section headers and their names in one read each (a file's are a few KiB); tables beyond
  // that are read name by name.
  constexpr uint64_t kOneRead = 1 << 20;
  std::vector<Elf64_Shdr> headers;
  std::vector<char> names;
  if (count * sizeof(Elf64_Shdr) <= kOneRead) {
    headers.resize(count);
    if (!f.Read(eh.e_shoff, headers.data(), count * sizeof(Elf64_Shdr))) return std::nullopt;
  }
  if (strtab.sh_size <= kOneRead) {
    names.resize(strtab.sh_size);
    if (!f.Read(strtab.sh_offset, names.data(), strtab.sh_size)) return std::nullopt;
  }
  for (uint64_t i = 1; i < count; ++i) {
    Elf64_Shdr sh{};
    if (!headers.empty()) sh = headers[i];
    else if (!section(i, sh)) return std::nullopt;
    if (sh.sh_type == SHT_NOBITS || sh.sh_name >= strtab.sh_size) continue;
    char name[sizeof kSection]{};
    uint64_t avail = std::min<uint64_t>(sizeof name, strtab.sh_size - sh.sh_name);
    if (strtab.sh_size <= kOneRead) std::memcpy(name, names.data() + sh.sh_name, avail);
    else if (!f.Read(strtab.sh_offset + sh.sh_name, name, avail)) return std::nullopt;
    if (avail < sizeof name || std::memcmp(name, kSection, sizeof kSection) != 0) continue;
    if (sh.sh_size < sizeof(VersionRecord)) return std::nullopt;
    VersionRecord r{};
    if (!f.Read(sh.sh_offset, &r, sizeof r) || !ValidRecord(r)) return std::nullopt;
    return r;
  }
  return std::nullopt;
}

}  // namespace

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
  if (lpdwHandle) *lpdwHandle = 0;
  if (!ReadRecord(lptstrFilename)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
  }
  return sizeof(VersionRecord);
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData) {
  (void)dwHandle;
  if (!lpData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto r = ReadRecord(lptstrFilename);
  if (!r) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  if (dwLen < sizeof(VersionRecord)) {
    // A truncated block would only mislead VerQueryValueA: refuse instead.
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(lpData, &*r, sizeof *r);
  return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
  if (!pBlock || !lpSubBlock || !lplpBuffer) return FALSE;
  const auto* r = static_cast<const VersionRecord*>(pBlock);
  if (!ValidRecord(*r)) return FALSE;
  if (std::strcmp(lpSubBlock, "\\") != 0 && std::strcmp(lpSubBlock, "/") != 0) {
    // The records carry only the fixed part; there are no string tables or translations.
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
  }
  *lplpBuffer = const_cast<VS_FIXEDFILEINFO*>(&r->fixed);
  if (puLen) *puLen = sizeof(VS_FIXEDFILEINFO);
  return TRUE;
}

}  // extern "C"
