// TWAIN_32.DLL as a file: what an application finds when it loads it by path.
#include "dsm_fixture.h"

#include <vector>

using namespace korven::test;

namespace {

using ManagerModule = KorvenTest;

TEST_F(ManagerModule, CarriesVersion18AndExportsOnlyDsmEntry) {
  std::string path = (BuildWindowsDir() / "TWAIN_32.DLL").string();
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), handle, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &len));
  EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 8u);

  HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, 0u);
  EXPECT_NE(GetProcAddress(module, "DSM_Entry"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "DS_Entry"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "korven_version_record"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "_ZN6korven3dsm7Manager8InstanceEv"), nullptr);
  FreeLibrary(module);
}

}  // namespace
