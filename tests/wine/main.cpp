// RKM51DLL under wine: names the DLL under test, then runs the tests.
#include "rkm51_module.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::printf("RKM51DLL under test: %s (%d-bit)\n", rkm51Path().c_str(), static_cast<int>(sizeof(void*) * 8));
    std::fflush(stdout);
    return RUN_ALL_TESTS();
}
