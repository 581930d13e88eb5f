// The callers linked against the shipped import libraries, read as PE files:
// every import binds to an export of the shipped DLL.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <iostream>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "dist_image.h"
#include "pe_file.h"

namespace kvpe {
namespace {

struct CallerCase {
    const char* arch;       // win32, win64
    const char* toolchain;  // msvc, mingw
    uint16_t machine;
};

void PrintTo(const CallerCase& c, std::ostream* os)
{
    *os << c.arch << "-" << c.toolchain;
}

const char* const kPlainNames[] = {"CConnectDV",     "CDisconnectDV", "CGetID",
                                   "CGetTime",       "CIntoUDiskMode", "CLogin",
                                   "CSetID",         "CSetPassword",   "CSetTime"};

class LinkedCaller : public testing::TestWithParam<CallerCase> {};

TEST_P(LinkedCaller, EveryImportBindsToAnExportOfTheDll)
{
    const CallerCase& c = GetParam();
    const std::string path =
        std::string(KV_LINK_CALLERS_DIR) + "/" + c.arch + "-" + c.toolchain + "/caller.exe";
    PeFile caller;
    std::string error;
    ASSERT_TRUE(caller.Load(path, &error)) << error << " (the test link_caller_" << c.arch << "_" << c.toolchain
                                           << " links it)";
    EXPECT_EQ(caller.machine(), c.machine);

    DistImage dll;
    ExportTable exports;
    ASSERT_TRUE(LoadDistImage(c.arch, "RKM51DLL.dll", &dll, &error)) << error;
    ASSERT_TRUE(dll.pe.Exports(&exports, &error)) << error;
    std::map<std::string, uint32_t> rvaOfName;
    for (const ExportName& n : exports.names) rvaOfName[n.name] = exports.functions.at(n.ordinal - 1).rva;

    std::vector<ImportedDll> imports;
    ASSERT_TRUE(caller.Imports(&imports, &error)) << error;
    std::cout << path << " imports:\n" << DescribeImports(imports);
    ASSERT_EQ(imports.size(), 1u) << "the caller links no library but RKM51DLL";
    EXPECT_EQ(Lower(imports[0].name), "rkm51dll.dll");
    EXPECT_FALSE(imports[0].delayLoaded);

    // Each import names an export; together they reach each of the nine
    // functions once, whichever of its two names they use.
    std::set<uint32_t> reached;
    for (const std::string& f : imports[0].functions) {
        SCOPED_TRACE(f);
        ASSERT_EQ(rvaOfName.count(f), 1u) << "no export of " << dll.path << " has this name";
        EXPECT_TRUE(reached.insert(rvaOfName[f]).second) << "a function imported twice";
    }
    std::set<uint32_t> all;
    for (const char* name : kPlainNames) all.insert(rvaOfName[name]);
    EXPECT_EQ(reached, all) << "the caller calls all nine functions";
}

INSTANTIATE_TEST_SUITE_P(Callers, LinkedCaller,
                         testing::Values(CallerCase{"win32", "msvc", kMachineI386},
                                         CallerCase{"win32", "mingw", kMachineI386},
                                         CallerCase{"win64", "msvc", kMachineAmd64},
                                         CallerCase{"win64", "mingw", kMachineAmd64}),
                         [](const testing::TestParamInfo<CallerCase>& info) {
                             return std::string(info.param.arch) + "_" + info.param.toolchain;
                         });

}  // namespace
}  // namespace kvpe
