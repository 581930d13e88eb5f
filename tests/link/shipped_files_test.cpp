// The shipped files: none names the folder they were built in.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

// The build folder as it may land in a file: as written, with its slashes made
// underscores (how GNU dlltool names archive members after the output path),
// and in UTF-16 (resources, version strings).
std::vector<std::string> BuildPathForms()
{
    const std::string path = KV_SOURCE_DIR;
    std::string underscored = path;
    std::replace(underscored.begin(), underscored.end(), '/', '_');
    std::string wide;
    for (char ch : path) {
        wide += ch;
        wide += '\0';
    }
    return {path, underscored, wide};
}

class ShippedFiles : public testing::TestWithParam<const char*> {};

TEST_P(ShippedFiles, NoneNamesTheBuildFolder)
{
    namespace fs = std::filesystem;
    const std::string dir = std::string(KV_DIST_DIR) + "/" + GetParam();
    std::set<std::string> seen;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
        if (!e.is_regular_file()) continue;
        const std::string name = e.path().filename().string();
        seen.insert(name);
        std::ifstream in(e.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const std::string& form : BuildPathForms()) {
            EXPECT_EQ(bytes.find(form), std::string::npos) << name << " holds the build folder " << KV_SOURCE_DIR;
        }
    }
    for (const char* required : {"RKM51DLL.dll", "RKM51DLL.h", "RKM51DLL.lib", "libRKM51DLL.dll.a", "korvane.exe"}) {
        EXPECT_EQ(seen.count(required), 1u) << dir << "/" << required << " is missing: build it with `cmake --preset "
                                            << GetParam() << " && cmake --build --preset " << GetParam() << "`";
    }
}

INSTANTIATE_TEST_SUITE_P(Dist, ShippedFiles, testing::Values("win32", "win64"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
