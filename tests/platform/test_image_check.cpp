// LoadLibraryA refuses damaged images before the system loader sees them: truncated copies of a real
// library, headers and tables pointing outside the file or the loaded segments, files that are no
// libraries at all. Each must give NULL with ERROR_BAD_EXE_FORMAT and a reason, never a fault.
#include <elf.h>
#include <korven/platform.h>
#include <link.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "testsupport.h"

using korven::test::DebugCapture;
using korven::test::KorvenTest;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The virtual scanner as built: a real shared object with relocations, hash tables and versions.
const Bytes& Original() {
  static const Bytes bytes = ReadAll(korven::test::BuildWindowsDir() / "twain_32" / "virtual.ds");
  return bytes;
}

template <class T>
T& At(Bytes& b, size_t offset) {
  return *reinterpret_cast<T*>(b.data() + offset);
}
ElfW(Ehdr)& Header(Bytes& b) { return At<ElfW(Ehdr)>(b, 0); }
ElfW(Phdr)& Program(Bytes& b, size_t i) { return At<ElfW(Phdr)>(b, Header(b).e_phoff + i * sizeof(ElfW(Phdr))); }
ElfW(Phdr)* FindProgram(Bytes& b, uint32_t type, int nth = 0) {
  for (size_t i = 0; i < Header(b).e_phnum; ++i)
    if (Program(b, i).p_type == type && nth-- == 0) return &Program(b, i);
  return nullptr;
}
// The file offset of a virtual address in the original layout.
size_t OffsetOf(Bytes& b, uint64_t addr) {
  for (size_t i = 0; i < Header(b).e_phnum; ++i) {
    const ElfW(Phdr)& p = Program(b, i);
    if (p.p_type == PT_LOAD && addr >= p.p_vaddr && addr < p.p_vaddr + p.p_filesz) return p.p_offset + (addr - p.p_vaddr);
  }
  ADD_FAILURE() << "address " << addr << " is not in the file";
  return 0;
}
ElfW(Dyn)* Dynamic(Bytes& b, int64_t tag) {
  ElfW(Phdr)* d = FindProgram(b, PT_DYNAMIC);
  for (auto* e = &At<ElfW(Dyn)>(b, d->p_offset); e->d_tag != DT_NULL; ++e)
    if (e->d_tag == tag) return e;
  return nullptr;
}

struct Damage {
  const char* name;
  std::function<void(Bytes&)> apply;
  const char* reason;  // a part of the reason the debug output must give
};

void Truncate(Bytes& b, size_t n) { b.resize(std::min(n, b.size())); }

const Damage kDamages[] = {
    {"Empty", [](Bytes& b) { b.clear(); }, "too short"},
    {"First64Bytes", [](Bytes& b) { Truncate(b, 64); }, "program headers lie beyond"},
    {"First3000Bytes", [](Bytes& b) { Truncate(b, 3000); }, "beyond the end of the file"},
    {"HalfTheFile", [](Bytes& b) { Truncate(b, b.size() / 2); }, "beyond the end of the file"},
    {"LastLoadSegmentCutByOneByte",
     [](Bytes& b) {
       ElfW(Phdr)* last = nullptr;
       for (int i = 0; FindProgram(b, PT_LOAD, i); ++i) last = FindProgram(b, PT_LOAD, i);
       Truncate(b, last->p_offset + last->p_filesz - 1);
     },
     "beyond the end of the file"},
    {"Garbage",
     [](Bytes& b) {
       std::mt19937 rng(15);
       for (auto& c : b) c = static_cast<unsigned char>(rng());
     },
     "not an ELF file"},
    {"AnotherMachine", [](Bytes& b) { Header(b).e_machine = EM_AARCH64 + EM_X86_64 - Header(b).e_machine; },
     "another machine"},
    {"ProgramHeadersPastTheEnd", [](Bytes& b) { Header(b).e_phoff = b.size() - 8; }, "program headers lie beyond"},
    {"SegmentOffsetPastTheEnd", [](Bytes& b) { FindProgram(b, PT_LOAD, 1)->p_offset = b.size() + 4096; },
     "beyond the end of the file"},
    {"DynamicOutsideTheSegments", [](Bytes& b) { FindProgram(b, PT_DYNAMIC)->p_vaddr += 1ull << 32; },
     "outside the loaded segments"},
    {"StringTableOutsideTheFile", [](Bytes& b) { Dynamic(b, DT_STRTAB)->d_un.d_ptr += 1ull << 32; },
     "string table"},
    {"NeededNameBeyondTheStrings", [](Bytes& b) { Dynamic(b, DT_NEEDED)->d_un.d_val = 1u << 30; },
     "outside the string table"},
    {"RelocationWritingOutside",
     [](Bytes& b) {
       ElfW(Dyn)* rela = Dynamic(b, DT_RELA);
       At<ElfW(Rela)>(b, OffsetOf(b, rela->d_un.d_ptr)).r_offset = 1ull << 40;
     },
     "writes outside the loaded segments"},
    {"GnuHashBucketBeyondTheSymbols",
     [](Bytes& b) {
       size_t table = OffsetOf(b, Dynamic(b, DT_GNU_HASH)->d_un.d_ptr);
       uint32_t bloom = At<uint32_t>(b, table + 8);
       At<uint32_t>(b, table + 16 + bloom * sizeof(ElfW(Addr))) = 0x7fffffff;
     },
     "beyond the symbol table"},
    {"VersionNeedNamedOutsideTheStrings",
     [](Bytes& b) { At<ElfW(Verneed)>(b, OffsetOf(b, Dynamic(b, DT_VERNEED)->d_un.d_ptr)).vn_file = 1u << 30; },
     "outside the string table"},
    {"VersionNeedChainLeavingTheSegments",
     [](Bytes& b) {
       auto& need = At<ElfW(Verneed)>(b, OffsetOf(b, Dynamic(b, DT_VERNEED)->d_un.d_ptr));
       need.vn_aux = 1u << 31;
     },
     "outside the loaded segments"},
    {"InitialiserOutsideTheCode", [](Bytes& b) { Dynamic(b, DT_INIT_ARRAY)->d_un.d_ptr = 1ull << 40; },
     "outside the loaded segments"},
};

class DamagedImage : public KorvenTest, public ::testing::WithParamInterface<Damage> {
 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    dir_ = korven::test::MakeTempDir("korven-image");
  }
  void TearDown() override {
    fs::remove_all(dir_);
    KorvenTest::TearDown();
  }
  fs::path Write(const std::string& name, const Bytes& b) {
    fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return p;
  }
  fs::path dir_;
};

TEST_P(DamagedImage, IsRefusedWithBadExeFormatAndAReason) {
  ASSERT_GT(Original().size(), 3000u);
  Bytes b = Original();
  GetParam().apply(b);
  fs::path file = Write("damaged.ds", b);
  DebugCapture debug;
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(file.c_str()), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
  EXPECT_TRUE(debug.Contains(GetParam().reason)) << debug.All();
  EXPECT_NE(korven::platform::LastLoadLibraryError().find(GetParam().reason), std::string::npos)
      << korven::platform::LastLoadLibraryError();
}

INSTANTIATE_TEST_SUITE_P(Modules, DamagedImage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST_F(DamagedImage, EveryCutPointOfARealLibraryIsRefusedOrLoads) {
  // Cut the library at many points, boundaries of its segments included: none may fault the loader.
  Bytes whole = Original();
  std::vector<size_t> cuts;
  for (size_t n = 0; n < whole.size(); n += whole.size() / 97 + 1) cuts.push_back(n);
  for (size_t i = 0; i < Header(whole).e_phnum; ++i) {
    const ElfW(Phdr)& p = Program(whole, i);
    for (long d : {-1L, 0L, 1L}) cuts.push_back(size_t(long(p.p_offset + p.p_filesz) + d));
  }
  for (size_t n : cuts) {
    if (n >= whole.size()) continue;
    Bytes b(whole.begin(), whole.begin() + long(n));
    fs::path file = Write("cut" + std::to_string(n) + ".ds", b);
    HMODULE h = LoadLibraryA(file.c_str());
    // Past the last segment only section headers are missing, which the loader does not read.
    if (h) {
      EXPECT_TRUE(FreeLibrary(h));
    } else {
      EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT)) << "cut at " << n;
    }
  }
}

TEST_F(DamagedImage, TheIntactCopyLoadsAndFilesThatAreNoFilesAreRefused) {
  fs::path good = Write("good.ds", Original());
  HMODULE h = LoadLibraryA(good.c_str());
  ASSERT_NE(h, 0u) << korven::platform::LastLoadLibraryError();
  EXPECT_NE(GetProcAddress(h, "DS_Entry"), nullptr);
  EXPECT_TRUE(korven::platform::LastLoadLibraryError().empty());
  EXPECT_TRUE(FreeLibrary(h));

  // A FIFO would block the loader's open for ever; a folder is no library either.
  fs::path fifo = dir_ / "fifo.ds";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(fifo.c_str()), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
  fs::create_directory(dir_ / "folder.ds");
  EXPECT_EQ(LoadLibraryA((dir_ / "folder.ds").c_str()), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
  EXPECT_NE(korven::platform::LastLoadLibraryError().find("not a regular file"), std::string::npos);
}

}  // namespace
