// The run-time choice of the POPCNT mate search on each port: the answer of
// cpu_has_popcnt (GCC's __builtin_cpu_supports) must agree with the processor's
// own CPUID bit, read here directly, so that no port silently loses the fast path.
#include <gtest/gtest.h>

#include <cpuid.h>

#include "dlx/bitset_mate.h"

TEST(CpuFeatures, PopcntIsChosenExactlyWhenTheProcessorHasIt)
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    ASSERT_TRUE(__get_cpuid(1, &eax, &ebx, &ecx, &edx)) << "CPUID leaf 1";
    const bool processor_has_popcnt = (ecx & bit_POPCNT) != 0;
    EXPECT_EQ(cpu_has_popcnt(), processor_has_popcnt);
}
