// Modules, the Windows directory, debug output, win.ini, code pages and version records.
#include <elf.h>
#include <korven/platform.h>
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "testsupport.h"

using korven::test::DebugCapture;
using korven::test::KorvenTest;
using korven::test::PrivateWindowsDir;
namespace fs = std::filesystem;
namespace kp = korven::platform;

namespace {

// The platform library as built (libkorven-platform.so beside lib/korven/windows).
fs::path PlatformLibrary() {
  return korven::test::BuildWindowsDir().parent_path().parent_path() / "libkorven-platform.so";
}

std::string Backslashed(std::string s) {
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

class Modules : public KorvenTest {};

TEST_F(Modules, LoadIsCountedLikeWin32) {
  std::string path = PlatformLibrary().string();
  size_t before = kp::LoadedModuleCount();
  HMODULE a = LoadLibraryA(path.c_str());
  ASSERT_NE(a, 0u);
  HMODULE b = LoadLibraryA(Backslashed(path).c_str());  // the same file, spelled the Windows way
  EXPECT_EQ(a, b);
  EXPECT_EQ(kp::LoadedModuleCount(), before + 2);
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(a, "GlobalAlloc")), reinterpret_cast<void*>(&GlobalAlloc));
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(a, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  char file[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(a, file, sizeof file), 0u);
  EXPECT_EQ(fs::weakly_canonical(file), fs::weakly_canonical(path));

  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_NE(GetProcAddress(a, "GlobalAlloc"), nullptr);  // one reference left
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(GetProcAddress(a, "GlobalAlloc"), nullptr);  // the handle is gone
  EXPECT_FALSE(FreeLibrary(a));
  EXPECT_EQ(kp::LoadedModuleCount(), before);
}

TEST_F(Modules, MissingFilesAndForeignHandlesFail) {
  DebugCapture debug;
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("C:\\no\\such\\library.dll"), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  // The reason the loader gave reaches the debug output, with the name as the caller wrote it.
  EXPECT_TRUE(debug.Contains("C:\\no\\such\\library.dll")) << debug.All();
  EXPECT_TRUE(debug.Contains("/no/such/library.dll")) << debug.All();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 1);
  EXPECT_EQ(GetProcAddress(HMODULE(block), "GlobalAlloc"), nullptr);
  EXPECT_FALSE(FreeLibrary(HMODULE(block)));
  EXPECT_EQ(GlobalSize(block), 1u);  // the block was not touched
  GlobalFree(block);
}

// A library linked never to be unmapped (the sources are) is handed out again from its mapping while
// its file is as it was; a file replaced since is refused (the program uses it when it starts again),
// and a removed one fails as any missing file.
TEST_F(Modules, AResidentLibraryLoadsAgainOnlyWhileItsFileIsAsItWas) {
  fs::path dir = korven::test::MakeTempDir("korven-resident");
  fs::path file = dir / "resident.ds";
  fs::copy_file(korven::test::BuildWindowsDir() / "twain_32" / "virtual.ds", file);
  HMODULE h = LoadLibraryA(file.c_str());
  ASSERT_NE(h, 0u) << kp::LastLoadLibraryError();
  EXPECT_NE(GetProcAddress(h, "DllMain"), nullptr);
  EXPECT_TRUE(FreeLibrary(h));

  h = LoadLibraryA(file.c_str());
  ASSERT_NE(h, 0u) << kp::LastLoadLibraryError();
  EXPECT_NE(GetProcAddress(h, "DS_Entry"), nullptr);
  EXPECT_TRUE(FreeLibrary(h));

  // An update put in its place by renaming (as install(1) and dpkg do; a copy over it in place would
  // change the pages still mapped).
  fs::copy_file(korven::test::BuildWindowsDir() / "twain_32" / "virtual.ds", dir / "update.ds");
  fs::rename(dir / "update.ds", file);
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(file.c_str()), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
  EXPECT_NE(kp::LastLoadLibraryError().find("changed after"), std::string::npos) << kp::LastLoadLibraryError();

  fs::remove(file);
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(file.c_str()), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  EXPECT_NE(kp::LastLoadLibraryError().find("No such file"), std::string::npos) << kp::LastLoadLibraryError();
  fs::remove_all(dir);
}

class WindowsDirectory : public KorvenTest {};

TEST_F(WindowsDirectory, DefaultIsBesideTheLibraryAndBufferRulesHold) {
  kp::SetWindowsDirectory("");
  if (!std::getenv("KORVEN_WINDOWS_DIR")) {
    EXPECT_EQ(fs::weakly_canonical(kp::WindowsDirectory()), fs::weakly_canonical(korven::test::BuildWindowsDir()));
  }
  kp::SetWindowsDirectory("C:\\Korven\\Windows\\");  // separators converted, trailing one dropped
  EXPECT_EQ(kp::WindowsDirectory(), "C:/Korven/Windows");
  const std::string expected = "C:/Korven/Windows";
  char buf[64];
  std::memset(buf, 'x', sizeof buf);
  // Too small (no room for the NUL): the size needed including the NUL, and nothing copied.
  EXPECT_EQ(GetWindowsDirectoryA(buf, UINT(expected.size())), expected.size() + 1);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), expected.size() + 1);
  EXPECT_EQ(GetWindowsDirectoryA(buf, UINT(expected.size() + 1)), expected.size());
  EXPECT_STREQ(buf, expected.c_str());
  kp::SetWindowsDirectory("");
}

TEST_F(WindowsDirectory, PrivateDirectoryAndProfileRoundTrip) {
  PrivateWindowsDir dir(false);
  char buf[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(buf, sizeof buf), 0u);
  EXPECT_EQ(fs::path(buf), dir.Path());

  EXPECT_TRUE(WriteProfileStringA("Korven", "Source", "Virtual Scanner"));
  EXPECT_TRUE(WriteProfileStringA("Korven", "Quoted", "\"  padded  \""));
  EXPECT_TRUE(WriteProfileStringA("Other", "Key", "1"));
  EXPECT_TRUE(fs::exists(dir.Path() / "win.ini"));

  struct Case {
    const char* app;
    const char* key;
    const char* def;
    std::string expected;
  } cases[] = {
      {"Korven", "Source", "", "Virtual Scanner"},
      {"KORVEN", "source", "", "Virtual Scanner"},      // sections and keys ignore case
      {"Korven", "Quoted", "", "  padded  "},           // matching quotes are removed
      {"Korven", "Missing", "fallback  ", "fallback"},  // the default loses trailing blanks
      {"NoSection", "Source", nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    char out[64];
    DWORD n = GetProfileStringA(c.app, c.key, c.def, out, sizeof out);
    EXPECT_EQ(std::string(out), c.expected);
    EXPECT_EQ(n, c.expected.size());
  }
  char small[4];
  EXPECT_EQ(GetProfileStringA("Korven", "Source", "", small, sizeof small), 3u);
  EXPECT_STREQ(small, "Vir");

  char list[64];
  DWORD n = GetProfileStringA("Korven", nullptr, "", list, sizeof list);
  EXPECT_EQ(std::string(list, n), std::string("Source\0Quoted\0", 14));
  n = GetProfileStringA(nullptr, nullptr, "", list, sizeof list);
  EXPECT_EQ(std::string(list, n), std::string("Korven\0Other\0", 13));

  EXPECT_TRUE(WriteProfileStringA("Korven", "Source", nullptr));  // deletes the key
  EXPECT_TRUE(WriteProfileStringA("Other", nullptr, nullptr));    // deletes the section
  n = GetProfileStringA(nullptr, nullptr, "", list, sizeof list);
  EXPECT_EQ(std::string(list, n), std::string("Korven\0", 7));
  EXPECT_EQ(GetProfileStringA("Korven", "Source", "gone", list, sizeof list), 4u);
}

TEST_F(WindowsDirectory, DebugOutputGoesToTheSink) {
  DebugCapture debug;
  OutputDebugStringA("first");
  OutputDebugStringA(nullptr);
  OutputDebugStringA("second line");
  EXPECT_EQ(debug.Lines(), (std::vector<std::string>{"first", "second line"}));
}

class CodePages : public KorvenTest {
 protected:
  void TearDown() override {
    kp::SetACP(CP_UTF8);
    KorvenTest::TearDown();
  }
};

TEST_F(CodePages, DefaultIsUtf8AndOnly932CanBeSelected) {
  EXPECT_EQ(GetACP(), UINT(CP_UTF8));
  EXPECT_FALSE(IsDBCSLeadByte(0x83));
  EXPECT_FALSE(kp::SetACP(1252));
  EXPECT_EQ(GetACP(), UINT(CP_UTF8));
  EXPECT_TRUE(kp::SetACP(932));
  EXPECT_EQ(GetACP(), 932u);
  for (int b : {0x81, 0x9F, 0xE0, 0xFC}) EXPECT_TRUE(IsDBCSLeadByte(BYTE(b))) << b;
  for (int b : {0x41, 0x80, 0xA0, 0xDF, 0xFD}) EXPECT_FALSE(IsDBCSLeadByte(BYTE(b))) << b;
  EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x83));
  EXPECT_FALSE(IsDBCSLeadByteEx(CP_UTF8, 0x83));
}

TEST_F(CodePages, CharNextStepsOverWholeCharacters) {
  struct Case {
    UINT cp;
    const char* text;
    ptrdiff_t step;
  } cases[] = {
      {932,
       "\x83\x5C"
       "x",
       2},  // "ソ": second byte is '\'
      {932,
       "\x83\x7C"
       "x",
       2},               // second byte is '|'
      {932, "\x83", 1},  // a lead byte at the end stands alone
      {932, "\\x", 1},
      {932, "", 0},  // at the NUL, CharNextA stays put
      {CP_UTF8,
       "\xC3\xA9"
       "x",
       2},
      {CP_UTF8,
       "\xE6\x97\xA5"
       "x",
       3},
      {CP_UTF8,
       "\xF0\x9F\x98\x80"
       "x",
       4},
      {CP_UTF8, "\xE6\x97", 1},  // truncated
      {CP_UTF8,
       "\xFF"
       "x",
       1},  // not UTF-8
      {CP_UTF8, "\x83\x5C", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    kp::SetACP(c.cp);
    EXPECT_EQ(CharNextA(c.text) - c.text, c.step);
  }
  // Searching for '\' by characters never stops inside "ソ".
  kp::SetACP(932);
  const char* path = "C:\\\x83\x5C\\file";
  std::vector<ptrdiff_t> separators;
  for (const char* p = path; *p; p = CharNextA(p))
    if (*p == '\\') separators.push_back(p - path);
  EXPECT_EQ(separators, (std::vector<ptrdiff_t>{2, 5}));
  EXPECT_EQ(CharPrevA(path, path + 5), path + 3);
  EXPECT_EQ(CharPrevA(path, path), path);
}

TEST_F(CodePages, PathsKeepDoubleByteCharactersIntact) {
  kp::SetACP(932);
  kp::SetWindowsDirectory("C:\\\x83\x5C\\dir");
  EXPECT_EQ(kp::WindowsDirectory(), "C:/\x83\x5C/dir");
  kp::SetWindowsDirectory("");
}

TEST_F(CodePages, ConversionFollowsTheActiveCodePage) {
  const std::string so = "\xE3\x82\xBD";  // "ソ" in UTF-8
  EXPECT_EQ(kp::FromUtf8(so), so);        // unchanged under 65001
  kp::SetACP(932);
  EXPECT_EQ(kp::FromUtf8("a" + so + "b"),
            "a\x83\x5C"
            "b");
  EXPECT_EQ(kp::ToUtf8("a\x83\x5C"
                       "b"),
            "a" + so + "b");
  EXPECT_EQ(kp::FromUtf8("x\xF0\x9F\x98\x80y"), "x?y");  // not in the code page
  EXPECT_EQ(kp::ToUtf8("x\x83"), "x?");                  // a lead byte without its second byte
}

class VersionRecords : public KorvenTest {
 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    dir_ = korven::test::MakeTempDir("korven-version");
  }
  void TearDown() override {
    fs::remove_all(dir_);
    KorvenTest::TearDown();
  }
  fs::path Write(const std::string& name, const std::string& bytes) {
    fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

TEST_F(VersionRecords, RoundTripOnThePlatformLibrary) {
  std::string path = Backslashed(PlatformLibrary().string());
  DWORD handle = 123;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  EXPECT_EQ(handle, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&info), &len));
  EXPECT_EQ(len, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(info->dwSignature, VS_FFI_SIGNATURE);
  EXPECT_EQ(info->dwProductVersionMS, (5u << 16) | 0u);
  EXPECT_EQ(info->dwProductVersionLS, (2u << 16) | 0u);
  EXPECT_EQ(info->dwFileVersionMS, info->dwProductVersionMS);
  EXPECT_FALSE(
      VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", reinterpret_cast<LPVOID*>(&info), &len));
  EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), 0, size - 1, block.data()));  // too small: refused
}

TEST_F(VersionRecords, FilesWithoutAValidRecordGiveZero) {
  std::string lib = Read(PlatformLibrary());
  ASSERT_GT(lib.size(), 4096u);
  auto patched = [&](size_t offset, const void* bytes, size_t n) {
    std::string copy = lib;
    std::memcpy(copy.data() + offset, bytes, n);
    return copy;
  };
  uint64_t huge = ~uint64_t(0) - 8;
  uint16_t manySections = 0xFFFF;
  std::string noRecord = Read("/proc/self/exe");  // the test program carries none
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"text", "just some text, no ELF here"},
      {"header-only", lib.substr(0, 40)},
      {"first-page", lib.substr(0, 4096)},
      {"cut-before-section-headers", lib.substr(0, lib.size() - 200)},
      {"section-offset-past-end", patched(offsetof(Elf64_Ehdr, e_shoff), &huge, 8)},
      {"too-many-sections", patched(offsetof(Elf64_Ehdr, e_shnum), &manySections, 2)},
      {"string-table-index-out-of-range", patched(offsetof(Elf64_Ehdr, e_shstrndx), &manySections, 2)},
      {"program-without-record", noRecord},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = Write(c.name, c.bytes).string();
    DWORD handle = 7;
    EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), &handle), 0u);
    EXPECT_EQ(handle, 0u);
    char block[256];
    EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), 0, sizeof block, block));
  }
  EXPECT_EQ(GetFileVersionInfoSizeA((dir_ / "missing").c_str(), nullptr), 0u);
  EXPECT_EQ(GetFileVersionInfoSizeA(dir_.c_str(), nullptr), 0u);  // a folder
  char garbage[128] = {};
  void* out = nullptr;
  EXPECT_FALSE(VerQueryValueA(garbage, "\\", &out, nullptr));
}

}  // namespace
