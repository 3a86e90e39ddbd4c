// The image check LoadLibraryA makes before handing a file to the system loader. The loader maps a
// shared object's segments straight from the file and trusts its headers: a segment that reaches past
// the end of a truncated file faults (SIGBUS) on first touch, and a dynamic section, relocation or
// string table that points outside the mapped segments faults (SIGSEGV) inside the loader, taking the
// whole program down. Windows refuses such an image with ERROR_BAD_EXE_FORMAT; so does this check.
// It reads the file with pread only and checks every offset and size it uses against the file size
// (or the mapped extent) before it is trusted.
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "internal.h"

extern "C" const ElfW(Ehdr) __ehdr_start;  // this library's own ELF header, set by the linker

namespace korven::platform::detail {

namespace {

using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);
using Dyn = ElfW(Dyn);
using Rela = ElfW(Rela);
using Rel = ElfW(Rel);
using Sym = ElfW(Sym);
using Addr = ElfW(Addr);

class ImageFile {
 public:
  explicit ImageFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t Size() const { return size_; }
  bool Fits(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }
  bool Read(uint64_t offset, void* out, uint64_t n) const {
    if (!Fits(offset, n)) return false;
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
  uint64_t size_;
};

// The loaded segments: what the loader maps, by virtual address.
struct Segments {
  std::vector<Phdr> loads;

  // The segment whose memory holds [addr, addr + n), or nullptr.
  const Phdr* InMemory(uint64_t addr, uint64_t n) const {
    for (const Phdr& p : loads)
      if (addr >= p.p_vaddr && addr - p.p_vaddr <= p.p_memsz && n <= p.p_memsz - (addr - p.p_vaddr)) return &p;
    return nullptr;
  }
  // The file offset of [addr, addr + n) when it lies in a segment's file-backed part.
  bool FileOffset(uint64_t addr, uint64_t n, uint64_t& offset) const {
    for (const Phdr& p : loads)
      if (addr >= p.p_vaddr && addr - p.p_vaddr <= p.p_filesz && n <= p.p_filesz - (addr - p.p_vaddr)) {
        offset = p.p_offset + (addr - p.p_vaddr);
        return true;
      }
    return false;
  }
};

bool PowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

struct Checker {
  const ImageFile& f;
  std::string why;
  Segments segs;

  bool Fail(std::string text) {
    why = std::move(text);
    return false;
  }

  bool Header(Ehdr& eh) {
    if (f.Size() < sizeof eh) return Fail("too short for an ELF header (" + std::to_string(f.Size()) + " bytes)");
    if (!f.Read(0, &eh, sizeof eh)) return Fail("cannot be read");
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0) return Fail("not an ELF file");
    if (eh.e_ident[EI_CLASS] != __ehdr_start.e_ident[EI_CLASS] || eh.e_ident[EI_DATA] != __ehdr_start.e_ident[EI_DATA] ||
        eh.e_machine != __ehdr_start.e_machine)
      return Fail("built for another machine");
    if (eh.e_ident[EI_VERSION] != EV_CURRENT || eh.e_version != EV_CURRENT) return Fail("unknown ELF version");
    if (eh.e_type != ET_DYN) return Fail("not a shared object");
    if (eh.e_ehsize < sizeof eh) return Fail("bad ELF header size");
    if (eh.e_phentsize != sizeof(Phdr) || eh.e_phnum == 0 || eh.e_phnum == PN_XNUM)
      return Fail("bad program header table");
    if (!f.Fits(eh.e_phoff, uint64_t(eh.e_phnum) * sizeof(Phdr)))
      return Fail("program headers lie beyond the end of the file");
    return true;
  }

  bool ProgramHeaders(const Ehdr& eh, std::vector<Phdr>& ph) {
    ph.resize(eh.e_phnum);
    if (!f.Read(eh.e_phoff, ph.data(), ph.size() * sizeof(Phdr))) return Fail("cannot read the program headers");
    uint64_t lastEnd = 0;
    for (size_t i = 0; i < ph.size(); ++i) {
      const Phdr& p = ph[i];
      std::string which = "segment " + std::to_string(i);
      if (p.p_filesz > 0 && !f.Fits(p.p_offset, p.p_filesz))
        return Fail(which + " reaches beyond the end of the file (offset " + std::to_string(p.p_offset) + " + " +
                    std::to_string(p.p_filesz) + " bytes, file " + std::to_string(f.Size()) + " bytes)");
      if (p.p_type != PT_LOAD) continue;
      if (p.p_filesz > p.p_memsz) return Fail(which + " holds more file bytes than memory");
      if (p.p_vaddr + p.p_memsz < p.p_vaddr) return Fail(which + " wraps around the address space");
      if (p.p_align > 1 && (!PowerOfTwo(p.p_align) || p.p_offset % p.p_align != p.p_vaddr % p.p_align))
        return Fail(which + " is misaligned");
      if (!segs.loads.empty() && p.p_vaddr < lastEnd) return Fail(which + " overlaps or precedes the one before");
      lastEnd = p.p_vaddr + p.p_memsz;
      segs.loads.push_back(p);
    }
    if (segs.loads.empty()) return Fail("no loadable segment");
    // The loader maps the whole span at once; a span past the address space is refused by mmap,
    // but one this large is no library.
    if (lastEnd - segs.loads.front().p_vaddr > (uint64_t(1) << 40)) return Fail("loadable segments span too much memory");
    return true;
  }

  // A table the loader reads through the mapped image must lie in one loaded segment.
  bool Table(const char* name, uint64_t addr, uint64_t size) {
    if (!segs.InMemory(addr, size)) return Fail(std::string("the dynamic section's ") + name + " lies outside the loaded segments");
    return true;
  }

  bool String(const char* name, uint64_t strtab, uint64_t strsz, uint64_t offset) {
    if (offset >= strsz) return Fail(std::string(name) + " lies outside the string table");
    uint64_t at = 0;
    if (!segs.FileOffset(strtab + offset, strsz - offset, at))
      return Fail(std::string(name) + " lies outside the file");
    char buf[256];
    for (uint64_t left = strsz - offset; left > 0;) {
      uint64_t n = std::min<uint64_t>(left, sizeof buf);
      if (!f.Read(at, buf, n)) return Fail("cannot read the string table");
      if (std::memchr(buf, 0, n)) return true;
      at += n;
      left -= n;
    }
    return Fail(std::string(name) + " has no end in the string table");
  }

  template <class R>
  bool Relocations(const char* name, uint64_t addr, uint64_t size, uint64_t symbols, bool textrel) {
    if (size == 0) return true;
    if (size % sizeof(R) != 0) return Fail(std::string(name) + " has a partial entry");
    uint64_t at = 0;
    if (!segs.FileOffset(addr, size, at)) return Fail(std::string(name) + " lies outside the file");
    std::vector<R> rel(size / sizeof(R));
    if (!f.Read(at, rel.data(), size)) return Fail(std::string("cannot read ") + name);
    for (const R& r : rel) {
      if (ELF64_R_TYPE(r.r_info) == 0) continue;  // R_*_NONE writes nothing
      uint64_t sym = ELF64_R_SYM(r.r_info);
      if (sym >= symbols && sym != 0) return Fail(std::string(name) + " names a symbol beyond the symbol table");
      const Phdr* p = segs.InMemory(r.r_offset, sizeof(Addr));
      if (!p) return Fail(std::string(name) + " writes outside the loaded segments");
      if (!(p->p_flags & PF_W) && !textrel) return Fail(std::string(name) + " writes into a read-only segment");
    }
    return true;
  }

  bool Dynamic(const std::vector<Phdr>& ph) {
    const Phdr* dynamic = nullptr;
    for (const Phdr& p : ph) {
      if (p.p_type == PT_DYNAMIC) dynamic = &p;
      // Read by the loader through the mapped image.
      bool mapped = p.p_type == PT_DYNAMIC || p.p_type == PT_TLS || p.p_type == PT_NOTE ||
                    p.p_type == PT_GNU_PROPERTY || p.p_type == PT_GNU_EH_FRAME;
      if (mapped && p.p_memsz > 0 && !segs.InMemory(p.p_vaddr, p.p_memsz))
        return Fail("a segment of type " + std::to_string(p.p_type) + " lies outside the loaded segments");
      if (p.p_type == PT_TLS && (p.p_filesz > p.p_memsz || (p.p_align > 1 && !PowerOfTwo(p.p_align))))
        return Fail("a malformed thread-local segment");
    }
    if (!dynamic) return true;  // the loader refuses it with an error of its own
    uint64_t at = 0;
    if (dynamic->p_filesz < sizeof(Dyn) || !segs.FileOffset(dynamic->p_vaddr, dynamic->p_filesz, at) ||
        dynamic->p_offset != at)
      return Fail("the dynamic section lies outside the loaded segments");
    std::vector<Dyn> dyn(dynamic->p_filesz / sizeof(Dyn));
    if (!f.Read(at, dyn.data(), dyn.size() * sizeof(Dyn))) return Fail("cannot read the dynamic section");
    auto end = std::find_if(dyn.begin(), dyn.end(), [](const Dyn& d) { return d.d_tag == DT_NULL; });
    if (end == dyn.end()) return Fail("the dynamic section has no end");

    auto value = [&](Elf64_Sxword tag, uint64_t& out) {
      for (auto it = dyn.begin(); it != end; ++it)
        if (it->d_tag == tag) {
          out = it->d_un.d_val;
          return true;
        }
      return false;
    };
    uint64_t strtab = 0, strsz = 0, symtab = 0, v = 0, size = 0;
    if (!value(DT_STRTAB, strtab) || !value(DT_STRSZ, strsz) || strsz == 0) return Fail("no string table");
    if (!segs.FileOffset(strtab, strsz, v)) return Fail("the string table lies outside the file");
    if (!value(DT_SYMTAB, symtab) || !segs.InMemory(symtab, sizeof(Sym))) return Fail("the symbol table lies outside the loaded segments");
    const Phdr* symSeg = segs.InMemory(symtab, sizeof(Sym));
    // The symbol count, as far as the segment holding the table allows.
    uint64_t symbols = (symSeg->p_vaddr + symSeg->p_memsz - symtab) / sizeof(Sym);
    if (value(DT_SYMENT, v) && v != sizeof(Sym)) return Fail("bad symbol entry size");

    for (auto it = dyn.begin(); it != end; ++it) {
      switch (it->d_tag) {
        case DT_NEEDED:
          if (!String("a needed library's name", strtab, strsz, it->d_un.d_val)) return false;
          break;
        case DT_SONAME:
        case DT_RPATH:
        case DT_RUNPATH:
          if (!String("a name or search path", strtab, strsz, it->d_un.d_val)) return false;
          break;
        case DT_HASH:
          if (!Table("hash table", it->d_un.d_ptr, 8) || !HashTable(it->d_un.d_ptr, symbols)) return false;
          break;
        case DT_GNU_HASH:
          if (!Table("GNU hash table", it->d_un.d_ptr, 16) || !GnuHashTable(it->d_un.d_ptr, symbols)) return false;
          break;
        case DT_INIT:
        case DT_FINI:
          if (!Code(it->d_un.d_ptr)) return false;
          break;
        case DT_PLTGOT:
          if (!Table("PLT table", it->d_un.d_ptr, 3 * sizeof(Addr))) return false;
          break;
        case DT_VERSYM:
          if (!Table("symbol versions", it->d_un.d_ptr, 2 * symbols)) return false;
          break;
        case DT_VERDEF:
          if (!VersionList<ElfW(Verdef), ElfW(Verdaux)>("a version definition", it->d_un.d_ptr,
                                                        value(DT_VERDEFNUM, v) ? v : 0, strtab, strsz))
            return false;
          break;
        case DT_VERNEED:
          if (!VersionList<ElfW(Verneed), ElfW(Vernaux)>("a version need", it->d_un.d_ptr,
                                                         value(DT_VERNEEDNUM, v) ? v : 0, strtab, strsz))
            return false;
          break;
        default:
          break;
      }
    }
    bool textrel = value(DT_TEXTREL, v) || (value(DT_FLAGS, v) && (v & DF_TEXTREL));
    if (value(DT_RELA, v) && (!value(DT_RELASZ, size) || !Relocations<Rela>("DT_RELA", v, size, symbols, textrel)))
      return why.empty() ? Fail("DT_RELA without a size") : false;
    if (value(DT_REL, v) && (!value(DT_RELSZ, size) || !Relocations<Rel>("DT_REL", v, size, symbols, textrel)))
      return why.empty() ? Fail("DT_REL without a size") : false;
    if (value(DT_JMPREL, v)) {
      uint64_t kind = DT_RELA;
      value(DT_PLTREL, kind);
      if (!value(DT_PLTRELSZ, size)) return Fail("DT_JMPREL without a size");
      bool ok = kind == DT_REL ? Relocations<Rel>("DT_JMPREL", v, size, symbols, textrel)
                               : Relocations<Rela>("DT_JMPREL", v, size, symbols, textrel);
      if (!ok) return false;
    }
    for (auto [array, arraySize] : {std::pair{DT_INIT_ARRAY, DT_INIT_ARRAYSZ}, std::pair{DT_FINI_ARRAY, DT_FINI_ARRAYSZ},
                                    std::pair{DT_PREINIT_ARRAY, DT_PREINIT_ARRAYSZ}}) {
      if (!value(array, v)) continue;
      if (!value(arraySize, size)) size = 0;
      if (size % sizeof(Addr) != 0 || !Table("constructor or destructor array", v, size)) return why.empty() ? Fail("bad constructor array") : false;
    }
    return true;
  }

  // Code the loader calls must lie in an executable segment.
  bool Code(uint64_t addr) {
    const Phdr* p = segs.InMemory(addr, 1);
    if (!p || !(p->p_flags & PF_X)) return Fail("an initialiser or finaliser lies outside the code");
    return true;
  }

  bool ReadMapped(uint64_t addr, void* out, uint64_t n) {
    uint64_t at = 0;
    if (segs.FileOffset(addr, n, at)) return f.Read(at, out, n);
    if (!segs.InMemory(addr, n)) return false;
    std::memset(out, 0, n);  // beyond the file part of a segment the loader gives zeros
    return true;
  }

  // The SysV hash table: every bucket and chain entry names a symbol within the chain count, and no
  // chain loops (the loader would walk it for ever).
  bool HashTable(uint64_t addr, uint64_t symbols) {
    uint32_t head[2];
    if (!ReadMapped(addr, head, sizeof head)) return Fail("cannot read the hash table");
    uint64_t nbucket = head[0], nchain = head[1];
    if (nbucket == 0 || nchain > symbols || !segs.InMemory(addr, (2 + nbucket + nchain) * 4))
      return Fail("the hash table lies outside the loaded segments");
    std::vector<uint32_t> words(nbucket + nchain);
    if (!ReadMapped(addr + 8, words.data(), words.size() * 4)) return Fail("cannot read the hash table");
    std::vector<bool> seen(nchain);
    for (uint64_t b = 0; b < nbucket; ++b)
      for (uint32_t s = words[b]; s != 0; s = words[nbucket + s]) {
        if (s >= nchain) return Fail("the hash table names a symbol beyond its chains");
        if (seen[s]) return Fail("the hash table's chains loop");
        seen[s] = true;
      }
    return true;
  }

  // Version definitions and needs: linked lists the loader follows by offsets.
  template <class Entry, class Aux>
  bool VersionList(const char* name, uint64_t addr, uint64_t count, uint64_t strtab, uint64_t strsz) {
    constexpr bool needs = std::is_same_v<Entry, ElfW(Verneed)>;
    for (uint64_t i = 0; i < count; ++i) {
      Entry e{};
      if (!ReadMapped(addr, &e, sizeof e)) return Fail(std::string(name) + " lies outside the loaded segments");
      uint64_t auxCount = 0, aux = 0;
      if constexpr (needs) {
        if (!String(name, strtab, strsz, e.vn_file)) return false;
        auxCount = e.vn_cnt;
        aux = e.vn_aux;
      } else {
        auxCount = e.vd_cnt;
        aux = e.vd_aux;
      }
      uint64_t a = addr + aux;
      for (uint64_t j = 0; j < auxCount; ++j) {
        Aux x{};
        if (!ReadMapped(a, &x, sizeof x)) return Fail(std::string(name) + " lies outside the loaded segments");
        uint64_t nameOffset = 0, next = 0;
        if constexpr (needs) {
          nameOffset = x.vna_name;
          next = x.vna_next;
        } else {
          nameOffset = x.vda_name;
          next = x.vda_next;
        }
        if (!String(name, strtab, strsz, nameOffset)) return false;
        if (next == 0) break;
        a += next;
      }
      uint64_t next = 0;
      if constexpr (needs) next = e.vn_next;
      else next = e.vd_next;
      if (next == 0) break;
      addr += next;
    }
    return true;
  }

  bool GnuHashTable(uint64_t addr, uint64_t symbols) {
    uint32_t head[4];  // nbuckets, symoffset, bloom words, bloom shift
    if (!ReadMapped(addr, head, sizeof head)) return Fail("cannot read the GNU hash table");
    uint64_t nbuckets = head[0], symoffset = head[1], bloom = head[2];
    if (nbuckets == 0 || !PowerOfTwo(bloom) || head[3] >= 8 * sizeof(Addr))
      return Fail("the GNU hash table is malformed");
    uint64_t buckets = addr + 16 + bloom * sizeof(Addr);
    if (!segs.InMemory(addr, 16 + bloom * sizeof(Addr) + nbuckets * 4)) return Fail("the GNU hash table lies outside the loaded segments");
    // Every bucket starts a chain that runs up to an entry with its low bit set; the chain entries
    // sit after the buckets, one per symbol from symoffset on.
    uint64_t chains = buckets + nbuckets * 4;
    std::vector<uint32_t> bucket(nbuckets);
    if (!ReadMapped(buckets, bucket.data(), nbuckets * 4)) return Fail("cannot read the GNU hash buckets");
    uint64_t maxSymbol = 0;
    for (uint32_t b : bucket) {
      if (b == 0) continue;
      if (b < symoffset || b >= symbols) return Fail("a GNU hash bucket names a symbol beyond the symbol table");
      maxSymbol = std::max<uint64_t>(maxSymbol, b);
    }
    if (maxSymbol == 0) return true;
    // Walk the chain of the last bucket's symbols to its end: it must end inside the table.
    for (uint64_t s = maxSymbol;; ++s) {
      if (s >= symbols) return Fail("a GNU hash chain runs beyond the symbol table");
      uint32_t entry = 0;
      if (!ReadMapped(chains + (s - symoffset) * 4, &entry, 4)) return Fail("a GNU hash chain lies outside the loaded segments");
      if (entry & 1) break;
    }
    return true;
  }
};

}  // namespace

DWORD CheckLoadableImage(const std::string& path, std::string& why) {
  // Non-blocking: a FIFO named like a library must not stall the caller.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? DWORD(ERROR_MOD_NOT_FOUND) : DWORD(ERROR_ACCESS_DENIED);
  struct stat st {};
  DWORD result = ERROR_SUCCESS;
  if (::fstat(fd, &st) != 0) {
    why = "cannot be examined";
    result = ERROR_ACCESS_DENIED;
  } else if (!S_ISREG(st.st_mode)) {
    why = "not a regular file";
    result = ERROR_BAD_EXE_FORMAT;
  } else {
    ImageFile file(fd, static_cast<uint64_t>(st.st_size));
    Checker c{file, {}, {}};
    Ehdr eh{};
    std::vector<Phdr> ph;
    if (!c.Header(eh) || !c.ProgramHeaders(eh, ph) || !c.Dynamic(ph)) {
      why = c.why;
      result = ERROR_BAD_EXE_FORMAT;
    }
  }
  ::close(fd);
  return result;
}

}  // namespace korven::platform::detail
