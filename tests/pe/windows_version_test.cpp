// The oldest Windows that the shipped programs and DLLs run on: what their PE
// headers say, and that nothing they import needs a newer one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "dist_image.h"

namespace kvpe {
namespace {

// Vista: the exports serialise their callers with an SRW lock.
const char kOldestWindows[] = "6.0";

// The PE files of dist/<arch>/, by file name.
std::vector<std::string> ShippedImages(const std::string& arch)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(std::string(KV_DIST_DIR) + "/" + arch, ec)) {
        const std::string ext = Lower(e.path().extension().string());
        if (e.is_regular_file() && (ext == ".exe" || ext == ".dll")) names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Functions and DLLs of Windows 7 and later that a Vista PC lacks, among them
// those that the mingw-w64 runtimes and the C++ library call where the headers
// let them. The headers are held at Vista (_WIN32_WINNT) and do not declare
// them to our own code; these would come in through a prebuilt library.
const std::set<std::string> kNewerThanVista = {
    // kernel32, Windows 7
    "TryAcquireSRWLockExclusive", "TryAcquireSRWLockShared", "GetActiveProcessorCount",
    "GetMaximumProcessorCount", "GetLogicalProcessorInformationEx", "GetThreadGroupAffinity",
    "SetThreadGroupAffinity", "QueryUnbiasedInterruptTime", "CreateRemoteThreadEx", "ResolveLocaleName",
    "PowerCreateRequest",
    // kernel32, Windows 8 and later
    "GetSystemTimePreciseAsFileTime", "GetCurrentThreadStackLimits", "CreateFile2", "CopyFile2",
    "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll", "InitializeSynchronizationBarrier",
    "EnterSynchronizationBarrier", "DeleteSynchronizationBarrier", "SetDefaultDllDirectories",
    "AddDllDirectory", "RemoveDllDirectory", "GetProcessMitigationPolicy", "SetProcessMitigationPolicy",
    "SetThreadDescription", "GetThreadDescription",
    // user32, Windows 7 and later
    "ChangeWindowMessageFilterEx", "CalculatePopupWindowPosition", "SetWindowDisplayAffinity",
    "RegisterTouchWindow", "GetDisplayConfigBufferSizes", "QueryDisplayConfig", "GetPointerType",
    "GetDpiForWindow", "GetDpiForSystem", "GetSystemMetricsForDpi", "AdjustWindowRectExForDpi",
    "EnableNonClientDpiScaling", "SetProcessDpiAwarenessContext", "SetThreadDpiAwarenessContext",
};

bool IsNewerThanVistaDll(const std::string& dll)
{
    const std::string name = Lower(dll);
    // API sets and the scaling library came with Windows 7 and 8.1.
    return name.rfind("api-ms-win-", 0) == 0 || name.rfind("ext-ms-win-", 0) == 0 || name == "shcore.dll";
}

class ShippedImage : public testing::TestWithParam<const char*> {};

TEST_P(ShippedImage, HeadersNameVistaAndImportsNeedNothingNewer)
{
    const std::string arch = GetParam();
    const std::vector<std::string> files = ShippedImages(arch);
    for (const char* required : {"korvane.exe", "RKM51DLL.dll"}) {
        EXPECT_NE(std::find(files.begin(), files.end(), required), files.end())
            << arch << "/" << required << " is missing: build it with `cmake --preset " << arch
            << " && cmake --build --preset " << arch << "`";
    }
    for (const std::string& file : files) {
        SCOPED_TRACE(arch + "/" + file);
        DistImage image;
        std::string error;
        ASSERT_TRUE(LoadDistImage(arch, file, &image, &error)) << error;
        EXPECT_EQ(image.pe.osVersion().Text(), kOldestWindows) << "operating system version";
        EXPECT_EQ(image.pe.subsystemVersion().Text(), kOldestWindows) << "subsystem version";

        std::vector<std::string> newer;
        for (const ImportedDll& dll : image.imports) {
            if (IsNewerThanVistaDll(dll.name)) newer.push_back(dll.name);
            for (const std::string& f : dll.functions) {
                if (kNewerThanVista.count(f) != 0) newer.push_back(dll.name + "!" + f);
            }
        }
        EXPECT_EQ(newer, std::vector<std::string>{}) << "imports that Vista lacks";
        std::cout << image.path << " imports:\n" << DescribeImports(image.imports);
    }
}

INSTANTIATE_TEST_SUITE_P(Dist, ShippedImage, testing::Values("win32", "win64"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace kvpe
