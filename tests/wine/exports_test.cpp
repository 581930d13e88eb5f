// The export table as the Windows loader sees it, and the stdcall convention.
#include "dll_fixture.h"

#include <cstring>

namespace {

using ExportsTest = DllTest;

TEST_F(ExportsTest, EachFunctionUnderItsPlainNameDecoratedNameAndOrdinals)
{
    for (int i = 0; i < 9; ++i) {
        const ExportName& name = kExportNames[i];
        const std::string decorated = decoratedName(name);
        SCOPED_TRACE(decorated);
        FARPROC plain = GetProcAddress(module.handle(), name.plain);
        ASSERT_NE(plain, nullptr);
        EXPECT_EQ(GetProcAddress(module.handle(), decorated.c_str()), plain);
        // Plain names at ordinals 1-9, decorated names at 10-18.
        EXPECT_EQ(GetProcAddress(module.handle(), MAKEINTRESOURCEA(i + 1)), plain);
        EXPECT_EQ(GetProcAddress(module.handle(), MAKEINTRESOURCEA(i + 10)), plain);
    }
    EXPECT_EQ(GetProcAddress(module.handle(), MAKEINTRESOURCEA(19)), nullptr);
}

TEST_F(ExportsTest, DisconnectAloneReturnsOneAndTouchesNothing)
{
    EXPECT_EQ(dll().CDisconnectDV(), 1);
    EXPECT_TRUE(stack.log().empty());
}

#if defined(__i386__)
// Calls `function` with one pointer argument pushed, as a caller that does not
// know the convention would, and returns how many argument bytes the function
// removed from the stack on return: 4 for a stdcall function of one pointer,
// 0 for a stdcall function without arguments (and for any cdecl function).
int argumentBytesRemoved(FARPROC function, void* argument)
{
    int removed;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %2\n\t"
        "call *%1\n\t"
        "movl %%esp, %0\n\t"
        "subl %%esi, %0\n\t"
        "addl $4, %0\n\t"
        "movl %%esi, %%esp\n\t"
        : "=&d"(removed)
        : "r"(function), "r"(argument)
        : "eax", "ecx", "esi", "memory", "cc");
    return removed;
}
#endif

TEST_F(ExportsTest, EveryExportRemovesItsOwnArguments)
{
#if defined(__i386__)
    stack.attachRecorder('E');
    for (const ExportName& name : kExportNames) {
        for (const std::string& symbol : {std::string(name.plain), decoratedName(name)}) {
            SCOPED_TRACE(symbol);
            // Room for the largest output (a RecorderTime); a zero password is not upper-cased.
            alignas(8) unsigned char argument[32] = {};
            EXPECT_EQ(argumentBytesRemoved(GetProcAddress(module.handle(), symbol.c_str()), argument),
                      name.argumentBytes);
        }
    }
    // The same through the header's function-pointer types: a thousand calls
    // in a row leave the caller's frame intact (CSetPassword above set the
    // password to the six zero bytes it was given).
    char password[6] = {};
    RecorderTime time = {58, 59, 23, 31, 12, 2013};
    volatile int sum = 0;
    for (int i = 0; i < 1000; ++i)
        sum += dll().CLogin(password) + dll().CSetTime(&time) + dll().CDisconnectDV();
    EXPECT_EQ(sum, 3000);
#else
    GTEST_SKIP() << "the callee clears the stack only in 32-bit code; this is a "
                 << kLayout.bits << "-bit build";
#endif
}

}  // namespace
