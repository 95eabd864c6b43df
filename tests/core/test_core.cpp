// The counting allocator and the small memory helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/core.h"

TEST(CoreMemory, CountsUsableSizeAndKeepsThePeak) {
    uint32_t before = g_mem_in_use;
    void *block = _wrap_malloc_dbg(10, "corefile/corefile-std", 1);
    ASSERT_NE(block, nullptr);
    uint32_t usable = (uint32_t)_wrap_blocksize(block);
    EXPECT_GE(usable, 10u);
    EXPECT_EQ(g_mem_in_use, before + usable);
    EXPECT_GE(g_mem_in_use_peak, g_mem_in_use);
    uint32_t peak = g_mem_in_use_peak;
    _wrap_free_dbg(block, "corefile/corefile-std", 2);
    EXPECT_EQ(g_mem_in_use, before);
    EXPECT_EQ(g_mem_in_use_peak, peak);

    // The iwram twins share the heap and the counting.
    void *twin = _wrap_malloc_iwram_dbg(100, "x", 3);
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(g_mem_in_use, before + (uint32_t)_wrap_blocksize(twin));
    _wrap_free_iwram_dbg(twin, "x", 4);
    EXPECT_EQ(g_mem_in_use, before);

    // The plain pair is not counted.
    void *plain = _wrap_malloc(64);
    EXPECT_EQ(g_mem_in_use, before);
    _wrap_free(plain);
}

TEST(CoreMemory, FreeOfNullIsReportedWithSourceAndLineAndChangesNothing) {
    uint32_t use = g_mem_in_use, peak = g_mem_in_use_peak;
    testing::internal::CaptureStdout();
    _wrap_free_dbg(nullptr, "corefile/corefile-std", 321);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "corefile/corefile-std(321): wrap_free() tried to free a NULL pointer!\n");
    EXPECT_EQ(g_mem_in_use, use);
    EXPECT_EQ(g_mem_in_use_peak, peak);
}

TEST(CoreMemory, CopyAndFillTouchExactlyTheCountedBytes) {
    unsigned char src[12], dst[12];
    for (int i = 0; i < 12; i++) src[i] = (unsigned char)(i + 1);
    memset(dst, 0xEE, sizeof dst);
    wrap_memcpy(dst + 1, src, 7);  // unaligned, one word and three bytes
    EXPECT_EQ(dst[0], 0xEE);
    EXPECT_EQ(memcmp(dst + 1, src, 7), 0);
    EXPECT_EQ(dst[8], 0xEE);

    memset(dst, 0, sizeof dst);
    wrap_memset(dst + 2, 0xAB, 5);
    for (int i = 0; i < 12; i++) EXPECT_EQ(dst[i], (i >= 2 && i < 7) ? 0xAB : 0) << i;

    memset(dst, 0x55, sizeof dst);
    wrap_memclr(dst, 3);
    EXPECT_EQ(dst[2], 0);
    EXPECT_EQ(dst[3], 0x55);

    uint16_t w16[4] = {1, 2, 3, 4}, o16[4] = {};
    wrap_memcpy16(o16, w16, 3);
    EXPECT_EQ(o16[2], 3);
    EXPECT_EQ(o16[3], 0);
    uint32_t w32[3] = {7, 8, 9}, o32[3] = {};
    wrap_memcpy32(o32, w32, 2);
    EXPECT_EQ(o32[1], 8u);
    EXPECT_EQ(o32[2], 0u);
}

TEST(CoreDebug, PrintfAddsNoLineEndAndUsageLineIsExact) {
    testing::internal::CaptureStdout();
    int n = _dbg_printf("x=%d", 5);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "x=5");
    EXPECT_EQ(n, 3);

    testing::internal::CaptureStdout();
    wrap_showusage();
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "memory usage: " + std::to_string((int)g_mem_in_use) +
                       " (peak: " + std::to_string((int)g_mem_in_use_peak) + ")\n");
}

#if GTEST_HAS_DEATH_TEST  // not where there are no child processes (WebAssembly)
TEST(CoreDebugDeathTest, AssertAndErrorPrintAndExitWithStatusOne) {
    EXPECT_EXIT(_dbg_assert("src/file", 12, "a == b"), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(error("boom"), testing::ExitedWithCode(1), "");
}
#endif
