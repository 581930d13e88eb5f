// Checks of RKM51DLL.dll as built for both architectures: export table under
// plain and decorated names, imports, and on i686 the stdcall stack clean-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dist_image.h"
#include "x86_returns.h"

namespace kvpe {
namespace {

const char kDllFile[] = "RKM51DLL.dll";

struct Export {
    const char* plain;      // at ordinal 1 to 9
    const char* decorated;  // at ordinal plain + 9
    uint32_t argBytes;      // what a stdcall return pops
};

// In ordinal order, which is also the alphabetical order of the plain names.
const Export kExports[] = {
    {"CConnectDV", "_CConnectDV@0", 0},
    {"CDisconnectDV", "_CDisconnectDV@0", 0},
    {"CGetID", "_CGetID@4", 4},
    {"CGetTime", "_CGetTime@4", 4},
    {"CIntoUDiskMode", "_CIntoUDiskMode@0", 0},
    {"CLogin", "_CLogin@4", 4},
    {"CSetID", "_CSetID@4", 4},
    {"CSetPassword", "_CSetPassword@4", 4},
    {"CSetTime", "_CSetTime@4", 4},
};
constexpr uint32_t kExportCount = sizeof kExports / sizeof kExports[0];

constexpr uint32_t kScnMemExecute = 0x20000000;

struct DllCase {
    const char* arch;
    uint16_t machine;
};

void PrintTo(const DllCase& c, std::ostream* os)
{
    *os << c.arch << "/" << kDllFile;
}

class Rkm51Dll : public testing::TestWithParam<DllCase> {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(LoadDistImage(GetParam().arch, kDllFile, &image_, &error)) << error;
        ASSERT_TRUE(image_.pe.Exports(&exports_, &error)) << error;
        ASSERT_TRUE(exports_.present) << image_.path << " has no export table";
    }

    DistImage image_;
    ExportTable exports_;
};

TEST_P(Rkm51Dll, DllForItsMachine)
{
    EXPECT_EQ(image_.pe.machine(), GetParam().machine);
    EXPECT_EQ(image_.pe.is64(), GetParam().machine == kMachineAmd64);
    EXPECT_NE(image_.pe.characteristics() & 0x2000, 0) << "IMAGE_FILE_DLL";
}

TEST_P(Rkm51Dll, ExportsPlainAndDecoratedNamesAndNothingElse)
{
    EXPECT_EQ(exports_.dllName, kDllFile);
    EXPECT_EQ(exports_.ordinalBase, 1u);
    EXPECT_EQ(exports_.functions.size(), 2 * kExportCount) << "ordinals 1 to 18, no others";

    std::vector<std::pair<uint32_t, std::string>> want, got;
    for (uint32_t i = 0; i < kExportCount; ++i) {
        want.emplace_back(i + 1, kExports[i].plain);
        want.emplace_back(i + 1 + kExportCount, kExports[i].decorated);
    }
    for (const ExportName& n : exports_.names) got.emplace_back(n.ordinal, n.name);
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want) << "(ordinal, name) pairs";

    // The loader looks names up by binary search: the name table must be sorted.
    std::vector<std::string> stored;
    for (const ExportName& n : exports_.names) stored.push_back(n.name);
    EXPECT_TRUE(std::is_sorted(stored.begin(), stored.end()));

    std::map<std::string, uint32_t> rvaOf;
    for (const ExportName& n : exports_.names) rvaOf[n.name] = exports_.functions.at(n.ordinal - 1).rva;
    std::set<uint32_t> distinct;
    for (const Export& e : kExports) {
        SCOPED_TRACE(e.plain);
        ASSERT_EQ(rvaOf.count(e.plain), 1u);
        ASSERT_EQ(rvaOf.count(e.decorated), 1u);
        EXPECT_EQ(rvaOf[e.decorated], rvaOf[e.plain]) << "the decorated name is another name of the same function";
        distinct.insert(rvaOf[e.plain]);
    }
    EXPECT_EQ(distinct.size(), kExportCount) << "nine different functions";

    for (const ExportedFunction& f : exports_.functions) {
        SCOPED_TRACE("ordinal " + std::to_string(f.ordinal));
        EXPECT_FALSE(f.forwarded);
        const Section* s = image_.pe.SectionOf(f.rva);
        ASSERT_NE(s, nullptr);
        EXPECT_NE(s->characteristics & kScnMemExecute, 0u) << "export points into " << s->name;
    }
}

TEST_P(Rkm51Dll, ImportsTheStorageCallsAndNoMingwRuntime)
{
    std::cout << image_.path << " imports:\n" << DescribeImports(image_.imports);
    EXPECT_EQ(MingwRuntimeImports(image_.imports), std::vector<std::string>{})
        << "plain Windows PCs lack these DLLs; link the runtimes statically";
    const ImportedDll* kernel32 = FindImport(image_.imports, "kernel32.dll");
    ASSERT_NE(kernel32, nullptr);
    for (const char* name : {"CreateFileA", "DeviceIoControl", "CloseHandle", "GetLastError"}) {
        EXPECT_NE(std::find(kernel32->functions.begin(), kernel32->functions.end(), name), kernel32->functions.end())
            << "kernel32.dll!" << name << " not imported";
    }
}

INSTANTIATE_TEST_SUITE_P(Dist, Rkm51Dll,
                         testing::Values(DllCase{"win32", kMachineI386}, DllCase{"win64", kMachineAmd64}),
                         [](const testing::TestParamInfo<DllCase>& info) { return std::string(info.param.arch); });

// stdcall: the called function pops its arguments, so every way out of a
// function that takes 4 bytes is "ret $4" (C2 04 00) and of one that takes none
// a plain ret. Follows each export's jumps through objdump's disassembly.
TEST(Rkm51DllI686, StdcallFunctionsPopTheirArguments)
{
    DistImage image;
    ExportTable exports;
    std::string error;
    ASSERT_TRUE(LoadDistImage("win32", kDllFile, &image, &error)) << error;
    ASSERT_TRUE(image.pe.Exports(&exports, &error)) << error;
    ASSERT_STRNE(KV_PE_OBJDUMP, "") << "no objdump that reads i686 PE images was found at configure time";
    Disassembly code;
    ASSERT_TRUE(code.Load(KV_PE_OBJDUMP, image.path, &error)) << error;
    const ImportSlots slots = ImportSlotsOf(image.pe, image.imports);

    std::map<std::string, uint64_t> entry;
    std::set<uint64_t> barriers;
    for (const ExportName& n : exports.names) {
        ASSERT_LT(n.ordinal - 1, exports.functions.size());
        entry[n.name] = image.pe.imageBase() + exports.functions[n.ordinal - 1].rva;
        barriers.insert(entry[n.name]);
    }
    for (const Export& e : kExports) {
        SCOPED_TRACE(std::string(e.plain) + " takes " + std::to_string(e.argBytes) + " bytes");
        ASSERT_EQ(entry.count(e.plain), 1u);
        const ReturnScan scan = ScanReturns(code, entry[e.plain], barriers, slots);
        std::vector<std::string> failures;
        CheckStdcallExits(scan, image.pe, e.argBytes, &failures);
        EXPECT_EQ(failures, std::vector<std::string>{});
        std::cout << e.plain << ": " << scan.returns.size() << " return(s), " << scan.importTailCalls.size()
                  << " import tail call(s)";
        if (!scan.indirectJumps.empty()) std::cout << ", " << scan.indirectJumps.size() << " indirect jump(s) not followed";
        std::cout << "\n";
    }
}

}  // namespace
}  // namespace kvpe
