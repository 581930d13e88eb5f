// dist/<arch>/ holds what ships and nothing else: no simulated build, no test
// program, nothing left over from an earlier build.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

const std::set<std::string> kShipped = {
    "korvane.exe", "korvane-cli.exe", "RKM51DLL.dll", "RKM51DLL.h", "RKM51DLL.lib", "libRKM51DLL.dll.a",
};

class DistContents : public testing::TestWithParam<const char*> {};

TEST_P(DistContents, HoldsExactlyTheShippedFiles)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(KV_DIST_DIR) / GetParam();
    ASSERT_TRUE(fs::is_directory(dir)) << dir << " is missing: build the " << GetParam() << " preset";
    std::set<std::string> present;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        present.insert(entry.path().filename().string());
    for (const std::string& name : present)
        EXPECT_TRUE(kShipped.count(name)) << dir / name << " does not ship";
    for (const std::string& name : kShipped)
        EXPECT_TRUE(present.count(name)) << dir / name << " is missing";
}

INSTANTIATE_TEST_SUITE_P(Dist, DistContents, testing::Values("win32", "win64"));

}  // namespace
