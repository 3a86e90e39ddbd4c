// Global memory: handles, lock counts, accounting and Win32's return conventions.
#include <windows.h>

#include <cstring>
#include <memory>

#include "testsupport.h"

using korven::test::KorvenTest;

class GlobalMemory : public KorvenTest {};

TEST_F(GlobalMemory, FreeReturnsNullOnSuccessAndTheHandleOnFailure) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 64);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(GlobalFree(h), 0u);
  // Double free and a value that was never a handle both come back unchanged.
  SetLastError(0);
  EXPECT_EQ(GlobalFree(h), h);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GlobalFree(0x12345678u), 0x12345678u);
  // NULL is no block at all: nothing to free, nothing failed.
  EXPECT_EQ(GlobalFree(0), 0u);
}

TEST_F(GlobalMemory, LockCountsNest) {
  HGLOBAL h = GlobalAlloc(GHND, 16);
  ASSERT_NE(h, 0u);
  void* p1 = GlobalLock(h);
  void* p2 = GlobalLock(h);
  ASSERT_NE(p1, nullptr);
  EXPECT_EQ(p1, p2);
  EXPECT_EQ(GlobalFlags(h) & GMEM_LOCKCOUNT, 2u);
  EXPECT_TRUE(GlobalUnlock(h));  // still locked once
  SetLastError(12345);
  EXPECT_FALSE(GlobalUnlock(h));  // count reached zero: FALSE with NO_ERROR
  EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
  EXPECT_FALSE(GlobalUnlock(h));  // not locked any more
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_LOCKED));
  EXPECT_EQ(GlobalFree(h), 0u);
}

TEST_F(GlobalMemory, BadStaleAndForeignHandlesAreRefused) {
  HGLOBAL freed = GlobalAlloc(GMEM_MOVEABLE, 8);
  ASSERT_EQ(GlobalFree(freed), 0u);
  HWND window = CreateWindowExA(0, "STATIC", "x", 0, 0, 0, 10, 10, 0, 0, 0, nullptr);
  ASSERT_NE(window, 0u);
  HMODULE none = 0;
  for (HGLOBAL bad : {HGLOBAL(0), freed, HGLOBAL(window), HGLOBAL(0xFFFFFFFFu), HGLOBAL(1), none}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_FALSE(GlobalUnlock(bad));
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GlobalFlags(bad), UINT(GMEM_INVALID_HANDLE));
    EXPECT_EQ(GlobalReAlloc(bad, 16, GMEM_MOVEABLE), 0u);
  }
  // The window survived being passed as a memory handle.
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(GlobalMemory, FixedBlocksAreHandlesToo) {
  HGLOBAL h = GlobalAlloc(GPTR, 32);
  ASSERT_NE(h, 0u);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(p[i], 0) << i;
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), 0u);
}

TEST_F(GlobalMemory, AccountingFollowsAllocFreeAndReAlloc) {
  size_t blocks = korven::platform::GlobalLiveBlocks();
  size_t bytes = korven::platform::GlobalLiveBytes();
  HGLOBAL a = GlobalAlloc(GMEM_MOVEABLE, 100);
  HGLOBAL b = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 28);
  EXPECT_EQ(korven::platform::GlobalLiveBlocks(), blocks + 2);
  EXPECT_EQ(korven::platform::GlobalLiveBytes(), bytes + 128);

  std::memset(GlobalLock(a), 0x5A, 100);
  GlobalUnlock(a);
  ASSERT_EQ(GlobalReAlloc(a, 200, GMEM_MOVEABLE | GMEM_ZEROINIT), a);
  EXPECT_EQ(GlobalSize(a), 200u);
  auto* p = static_cast<unsigned char*>(GlobalLock(a));
  EXPECT_EQ(p[99], 0x5A);   // kept
  EXPECT_EQ(p[100], 0x00);  // zeroed growth
  // A locked block must not move under its holder unless the caller allows it.
  EXPECT_EQ(GlobalReAlloc(a, 4096, 0), 0u);
  EXPECT_EQ(GlobalReAlloc(a, 50, 0), a);  // shrinking stays in place
  EXPECT_EQ(GlobalLock(a), p);
  GlobalUnlock(a);
  GlobalUnlock(a);
  EXPECT_EQ(korven::platform::GlobalLiveBytes(), bytes + 78);

  EXPECT_EQ(GlobalFree(a), 0u);
  EXPECT_EQ(GlobalFree(b), 0u);
  EXPECT_EQ(korven::platform::GlobalLiveBlocks(), blocks);
  EXPECT_EQ(korven::platform::GlobalLiveBytes(), bytes);
}

TEST_F(GlobalMemory, LargeZeroedBlockIsCheap) {
  // 256 MB zeroed: calloc maps it lazily; touching a few bytes must not cost the whole size.
  const SIZE_T size = SIZE_T(256) << 20;
  HGLOBAL h = GlobalAlloc(GHND, size);
  ASSERT_NE(h, 0u);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[size - 1], 0);
  p[size - 1] = 7;
  EXPECT_EQ(GlobalSize(h), size);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), 0u);
}

// Page-sized blocks: a freed one comes back for the next block of its size (a feeder batch), so the
// flags must still mean what they say on reused memory.
TEST_F(GlobalMemory, ReusedPageSizedBlockKeepsZeroInitSizeAndAccounting) {
  korven::platform::TrimLargeBuffers();
  const SIZE_T size = SIZE_T(3) << 20;
  HGLOBAL a = GlobalAlloc(GMEM_MOVEABLE, size);
  ASSERT_NE(a, 0u);
  auto* p = static_cast<unsigned char*>(GlobalLock(a));
  std::memset(p, 0xAB, size);
  GlobalUnlock(a);
  ASSERT_EQ(GlobalFree(a), 0u);

  // GMEM_ZEROINIT on memory that held a page: every byte is zero again.
  HGLOBAL z = GlobalAlloc(GHND, size - 100);
  ASSERT_NE(z, 0u);
  EXPECT_EQ(GlobalSize(z), size - 100);
  EXPECT_EQ(korven::platform::GlobalLiveBytes(), size - 100);
  auto* q = static_cast<unsigned char*>(GlobalLock(z));
  size_t nonZero = 0;
  for (size_t i = 0; i < size - 100; ++i) nonZero += q[i] != 0;
  EXPECT_EQ(nonZero, 0u);
  std::memset(q, 0xCD, size - 100);
  GlobalUnlock(z);
  ASSERT_EQ(GlobalFree(z), 0u);

  // Growing a page-sized block keeps its bytes and zeroes the new tail when asked.
  HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, size);
  auto* r = static_cast<unsigned char*>(GlobalLock(g));
  r[0] = 1;
  r[size - 1] = 2;
  GlobalUnlock(g);
  ASSERT_EQ(GlobalReAlloc(g, 2 * size, GMEM_MOVEABLE | GMEM_ZEROINIT), g);
  r = static_cast<unsigned char*>(GlobalLock(g));
  EXPECT_EQ(r[0], 1);
  EXPECT_EQ(r[size - 1], 2);
  EXPECT_EQ(r[size], 0);
  EXPECT_EQ(r[2 * size - 1], 0);
  GlobalUnlock(g);
  EXPECT_EQ(GlobalSize(g), 2 * size);
  ASSERT_EQ(GlobalFree(g), 0u);
  EXPECT_EQ(korven::platform::GlobalLiveBlocks(), 0u);
  korven::platform::TrimLargeBuffers();
  EXPECT_EQ(korven::platform::KeptLargeBufferBytes(), 0u);
}

TEST_F(GlobalMemory, SharedMemoryOutlivesItsBlockAndAGrowingBlockLeavesIt) {
  for (SIZE_T size : {SIZE_T(64), SIZE_T(2) << 20}) {
    SCOPED_TRACE(size);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    auto* p = static_cast<unsigned char*>(GlobalLock(h));
    std::memset(p, 0x5A, size);
    GlobalUnlock(h);
    std::shared_ptr<void> shared = korven::platform::GlobalShareMemory(h);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared.get(), p);
    EXPECT_EQ(korven::platform::GlobalShareMemory(h), shared);  // one memory, one owner group

    // The block grows to new memory; the shared memory keeps what it had.
    ASSERT_EQ(GlobalReAlloc(h, size * 2, GMEM_MOVEABLE), h);
    auto* moved = static_cast<unsigned char*>(GlobalLock(h));
    EXPECT_EQ(moved[size - 1], 0x5A);
    moved[0] = 0x11;
    GlobalUnlock(h);
    EXPECT_EQ(static_cast<unsigned char*>(shared.get())[0], 0x5A);

    // Freed, the block is gone for Win32 and for the accounting; the memory is still the owner's.
    EXPECT_EQ(GlobalFree(h), 0u);
    EXPECT_EQ(korven::platform::GlobalLiveBlocks(), 0u);
    EXPECT_EQ(static_cast<unsigned char*>(shared.get())[size - 1], 0x5A);
  }
  EXPECT_EQ(korven::platform::GlobalShareMemory(0x12345678u), nullptr);
}
