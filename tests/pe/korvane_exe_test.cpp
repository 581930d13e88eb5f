// Checks of korvane.exe and korvane-sim.exe as built for both architectures:
// dialog templates, banner, icon, version block, manifest, subsystem, machine
// and imports, read from the PE files in dist/ (korvane-sim.exe, which does not
// ship, from the build tree).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dialog_template.h"
#include "dist_image.h"
#include "image_formats.h"
#include "version_info.h"

namespace kvpe {
namespace {

// Window and control styles.
constexpr uint32_t WS_POPUP = 0x80000000;
constexpr uint32_t WS_CHILD = 0x40000000;
constexpr uint32_t WS_VISIBLE = 0x10000000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_BORDER = 0x00800000;
constexpr uint32_t WS_GROUP = 0x00020000;
constexpr uint32_t WS_TABSTOP = 0x00010000;
constexpr uint32_t WS_EX_APPWINDOW = 0x00040000;
constexpr uint32_t DS_MODALFRAME = 0x80;
constexpr uint32_t DS_SETFONT = 0x40;
constexpr uint32_t DS_FIXEDSYS = 0x08;
constexpr uint32_t BS_DEFPUSHBUTTON = 0x1;
constexpr uint32_t BS_GROUPBOX = 0x7;
constexpr uint32_t SS_BITMAP = 0xE;
constexpr uint32_t ES_AUTOHSCROLL = 0x80;

constexpr uint32_t kDialogStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;
constexpr uint32_t kPushButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
constexpr uint32_t kDefPushButton = kPushButton | BS_DEFPUSHBUTTON;
constexpr uint32_t kLabel = WS_CHILD | WS_VISIBLE | WS_GROUP;  // SS_LEFT
constexpr uint32_t kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr uint32_t kGroupBox = WS_CHILD | WS_VISIBLE | BS_GROUPBOX;
constexpr uint32_t kBanner = WS_CHILD | WS_VISIBLE | SS_BITMAP;

constexpr uint16_t kBannerBitmap = 136;
constexpr uint16_t kIconGroup = 128;
constexpr uint32_t kStaticId = 0xFFFFFFFF;  // -1

using CC = ControlClass;

struct Control {
    uint32_t id;
    ControlClass cls;
    uint32_t style;
    const char* text;  // nullptr: the banner bitmap's ordinal
    int16_t x, y, cx, cy;
};

struct Dialog {
    uint16_t id;
    const char* role;
    std::vector<Control> controls;
};

// Every control of every dialog, in template (and tab) order.
const std::vector<Dialog>& Dialogs()
{
    static const std::vector<Dialog> dialogs = {
        {102, "login",
         {
             {1002, CC::kButton, kDefPushButton, "确定", 90, 154, 50, 14},
             {1003, CC::kButton, kPushButton, "退出", 173, 154, 50, 14},
             {1001, CC::kStatic, kLabel, "请输入密码", 88, 102, 37, 15},
             {1000, CC::kEdit, kEdit, "", 157, 100, 59, 14},
             {kStaticId, CC::kButton, kGroupBox, "操作提示", 51, 61, 215, 88},
             {kStaticId, CC::kStatic, kBanner, nullptr, 0, 0, 320, 46},
         }},
        {103, "menu",
         {
             {1019, CC::kButton, kPushButton, "退出", 169, 159, 50, 14},
             {1015, CC::kButton, kPushButton, "校时", 68, 99, 50, 14},
             {1017, CC::kButton, kPushButton, "更改密码", 169, 99, 50, 14},
             {1018, CC::kButton, kPushButton, "警号设置", 68, 131, 50, 14},
             {1007, CC::kButton, kPushButton, "进入U盘", 169, 130, 50, 14},
             {1008, CC::kButton, kPushButton, "返回", 68, 160, 50, 14},
             {kStaticId, CC::kStatic, kLabel, "系统当前时间", 73, 68, 68, 16},
             {1016, CC::kStatic, kLabel, "静态", 154, 69, 95, 12},
             {kStaticId, CC::kStatic, kBanner, nullptr, 0, 0, 320, 46},
         }},
        {104, "change password",
         {
             {kStaticId, CC::kStatic, kLabel, "请输入旧密码", 49, 82, 59, 16},
             {kStaticId, CC::kStatic, kLabel, "请输入新密码", 50, 110, 51, 8},
             {kStaticId, CC::kStatic, kLabel, "再次输入新密码", 47, 139, 63, 8},
             {1020, CC::kEdit, kEdit, "", 127, 80, 87, 14},
             {1012, CC::kEdit, kEdit, "", 128, 108, 88, 14},
             {1013, CC::kEdit, kEdit, "", 128, 136, 88, 14},
             {1021, CC::kButton, kPushButton, "返回", 41, 169, 50, 14},
             {1022, CC::kButton, kPushButton, "确认修改", 119, 168, 50, 14},
             {1023, CC::kButton, kPushButton, "退出", 196, 168, 50, 14},
             {kStaticId, CC::kButton, kGroupBox, "操作提示", 37, 59, 214, 102},
             {kStaticId, CC::kStatic, kBanner, nullptr, 0, 0, 320, 46},
         }},
        {105, "police number",
         {
             {kStaticId, CC::kStatic, kLabel, "警号", 71, 104, 25, 8},
             {1011, CC::kEdit, kEdit, "", 104, 102, 124, 14},
             {1004, CC::kButton, kPushButton, "返回", 43, 151, 50, 14},
             {1005, CC::kButton, kPushButton, "设置", 123, 151, 50, 14},
             {1006, CC::kButton, kPushButton, "退出", 201, 151, 50, 14},
             {kStaticId, CC::kButton, kGroupBox, "编号设置", 43, 74, 209, 70},
             {kStaticId, CC::kStatic, kBanner, nullptr, 0, 0, 320, 46},
         }},
    };
    return dialogs;
}

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string Rect(int x, int y, int cx, int cy)
{
    return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(cx) + "," + std::to_string(cy);
}

// One line per control, so that a difference shows as a readable diff.
std::string Describe(const Control& c)
{
    return "id=" + std::to_string(static_cast<int32_t>(c.id)) + " class=" + ClassName(c.cls) +
           " style=" + Hex(c.style) + " exstyle=0x0 text=" +
           (c.text == nullptr ? "#" + std::to_string(kBannerBitmap) : "\"" + std::string(c.text) + "\"") +
           " rect=" + Rect(c.x, c.y, c.cx, c.cy);
}

std::string Describe(const DialogItem& item)
{
    std::string text;
    switch (item.title.kind) {
    case SzOrOrd::Kind::kNone: text = "\"\""; break;
    case SzOrOrd::Kind::kOrdinal: text = "#" + std::to_string(item.title.ordinal); break;
    case SzOrOrd::Kind::kText: text = "\"" + item.title.text + "\""; break;
    }
    return "id=" + std::to_string(static_cast<int32_t>(item.id)) + " class=" + ClassName(ClassOf(item.windowClass)) +
           " style=" + Hex(item.style) + " exstyle=" + Hex(item.exStyle) + " text=" + text +
           " rect=" + Rect(item.x, item.y, item.cx, item.cy);
}

struct ExeCase {
    const char* arch;
    const char* file;
    uint16_t machine;
    bool shipped;  // in dist/, else only in the build tree
};

void PrintTo(const ExeCase& c, std::ostream* os)
{
    *os << c.arch << "/" << c.file;
}

class KorvaneExe : public testing::TestWithParam<ExeCase> {
protected:
    void SetUp() override
    {
        std::string error;
        const ExeCase& c = GetParam();
        ASSERT_TRUE(c.shipped ? LoadDistImage(c.arch, c.file, &image_, &error)
                              : LoadBuiltImage(c.arch, std::string("tool/") + c.file, &image_, &error))
            << error;
    }

    // The one resource of this type and name, which must be there exactly once,
    // in Chinese (Simplified) only.
    const Resource* Chinese(uint16_t type, uint16_t name)
    {
        const std::vector<const Resource*> found = FindResources(image_.resources, type, name);
        EXPECT_EQ(found.size(), 1u) << "resource " << type << "/" << name << " in " << found.size() << " languages";
        if (found.size() != 1) return nullptr;
        EXPECT_EQ(found[0]->language, kLangChineseSimplified) << "resource " << type << "/" << name;
        return found[0];
    }

    DistImage image_;
};

TEST_P(KorvaneExe, GuiProgramForItsMachine)
{
    EXPECT_EQ(image_.pe.machine(), GetParam().machine);
    EXPECT_EQ(image_.pe.is64(), GetParam().machine == kMachineAmd64);
    EXPECT_EQ(image_.pe.subsystem(), kSubsystemGui) << "a console program opens a console window";
    EXPECT_EQ(image_.pe.characteristics() & 0x2000, 0) << "a program, not a DLL";
}

TEST_P(KorvaneExe, ImportsNoMingwRuntime)
{
    std::cout << image_.path << " imports:\n" << DescribeImports(image_.imports);
    EXPECT_EQ(MingwRuntimeImports(image_.imports), std::vector<std::string>{})
        << "plain Windows PCs lack these DLLs; link the runtimes statically";
    // A dialog program without these has not been read correctly.
    EXPECT_NE(FindImport(image_.imports, "kernel32.dll"), nullptr);
    EXPECT_NE(FindImport(image_.imports, "user32.dll"), nullptr);
}

TEST_P(KorvaneExe, EveryResourceIsChineseExceptTheManifest)
{
    ASSERT_FALSE(image_.resources.empty());
    std::map<std::pair<std::string, std::string>, int> languagesPer;
    for (const Resource& r : image_.resources) {
        ++languagesPer[{r.type.Describe(), r.name.Describe()}];
        if (r.type.Is(kRtManifest)) continue;
        EXPECT_EQ(r.language, kLangChineseSimplified)
            << "resource type " << r.type.Describe() << " name " << r.name.Describe();
    }
    for (const auto& entry : languagesPer) {
        EXPECT_EQ(entry.second, 1) << "resource type " << entry.first.first << " name " << entry.first.second
                                   << " exists in several languages";
    }
}

TEST_P(KorvaneExe, DialogTemplates)
{
    for (const Dialog& expected : Dialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(expected.id) + " (" + expected.role + ")");
        const Resource* res = Chinese(kRtDialog, expected.id);
        ASSERT_NE(res, nullptr);
        DialogTemplate dlg;
        std::string error;
        ASSERT_TRUE(DecodeDialogEx(res->data, &dlg, &error)) << error;

        EXPECT_EQ(Hex(dlg.style), Hex(kDialogStyle)) << "no system menu, no minimize or maximize box";
        EXPECT_EQ(Hex(dlg.exStyle), Hex(WS_EX_APPWINDOW));
        EXPECT_EQ(dlg.cx, 320);
        EXPECT_EQ(dlg.cy, 240);
        EXPECT_EQ(dlg.title, "korvane");
        EXPECT_EQ(dlg.menu.kind, SzOrOrd::Kind::kNone);
        EXPECT_EQ(dlg.windowClass.kind, SzOrOrd::Kind::kNone);
        ASSERT_TRUE(dlg.hasFont);
        EXPECT_EQ(dlg.typeface, "MS Shell Dlg");
        EXPECT_EQ(dlg.pointSize, 9);
        EXPECT_EQ(dlg.weight, 0);
        EXPECT_EQ(dlg.italic, 0);
        EXPECT_EQ(dlg.charset, 1);

        std::vector<std::string> want, got;
        for (const Control& c : expected.controls) want.push_back(Describe(c));
        for (const DialogItem& item : dlg.items) got.push_back(Describe(item));
        EXPECT_EQ(got, want);
        for (const DialogItem& item : dlg.items) {
            EXPECT_EQ(item.helpId, 0u);
            EXPECT_EQ(item.extraCount, 0u);
        }
    }
}

TEST_P(KorvaneExe, BannerBitmap)
{
    const Resource* res = Chinese(kRtBitmap, kBannerBitmap);
    ASSERT_NE(res, nullptr);
    BitmapHeader bmp;
    std::string error;
    ASSERT_TRUE(DecodeBitmapHeader(res->data, &bmp, &error)) << error;
    EXPECT_EQ(bmp.width, 560);
    EXPECT_EQ(bmp.height < 0 ? -bmp.height : bmp.height, 80);
    EXPECT_EQ(bmp.planes, 1);
    EXPECT_EQ(bmp.bitCount, 24);
    EXPECT_EQ(bmp.compression, kBiRgb);
    ASSERT_EQ(bmp.bitCount, 24);
    ASSERT_EQ(bmp.width, 560);
    const size_t pixelsAt = bmp.headerSize;
    const size_t rows = 80;
    ASSERT_GE(res->data.size(), pixelsAt + bmp.Stride() * rows) << "pixel data cut short";

    // A light-blue band with one line of black text: the commonest colour is a
    // light blue, and the dark pixels form one line well inside the band.
    std::map<uint32_t, size_t> histogram;
    size_t dark = 0;
    size_t top = rows, bottom = 0;
    for (size_t row = 0; row < rows; ++row) {
        for (size_t col = 0; col < 560; ++col) {
            const uint8_t* p = res->data.data() + pixelsAt + row * bmp.Stride() + col * 3;
            const uint8_t b = p[0], g = p[1], r = p[2];
            ++histogram[(static_cast<uint32_t>(r) << 16) | (g << 8) | b];
            if (r < 64 && g < 64 && b < 64) {
                ++dark;
                top = std::min(top, row);
                bottom = std::max(bottom, row);
            }
        }
    }
    const auto commonest = std::max_element(histogram.begin(), histogram.end(),
                                            [](const auto& a, const auto& b) { return a.second < b.second; });
    const uint32_t rgb = commonest->first;
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    EXPECT_GT(commonest->second, 560u * 80u / 2) << "the band covers most of the banner";
    EXPECT_TRUE(b >= 200 && b > r + 16 && b >= g && r >= 120) << "background " << Hex(rgb) << " is not light blue";
    EXPECT_GE(dark, 300u) << "no title text";
    EXPECT_LE(bottom - top + 1, 56u) << "the dark pixels span more than one line of text";
}

TEST_P(KorvaneExe, IconGroupOfNineBitmapImages)
{
    const Resource* group = Chinese(kRtGroupIcon, kIconGroup);
    ASSERT_NE(group, nullptr);
    std::vector<GroupIconEntry> entries;
    std::string error;
    ASSERT_TRUE(DecodeGroupIcon(group->data, &entries, &error)) << error;

    std::set<std::pair<int, int>> sizesAndDepths;
    for (const GroupIconEntry& e : entries) {
        const int size = e.width;
        SCOPED_TRACE("icon " + std::to_string(e.iconId) + ": " + std::to_string(size) + " px, " +
                     std::to_string(e.bitCount) + " bpp");
        sizesAndDepths.insert({size, e.bitCount});
        EXPECT_EQ(e.height, e.width);
        EXPECT_EQ(e.planes, 1);
        EXPECT_EQ(e.colorCount, e.bitCount == 4 ? 16 : 0);

        const Resource* image = Chinese(kRtIcon, e.iconId);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->data.size(), e.bytesInRes);
        BitmapHeader bmp;
        ASSERT_TRUE(DecodeBitmapHeader(image->data, &bmp, &error)) << error;
        EXPECT_EQ(bmp.width, size);
        EXPECT_EQ(bmp.height, 2 * size) << "colour image and mask";
        EXPECT_EQ(bmp.bitCount, e.bitCount);
        EXPECT_EQ(bmp.compression, kBiRgb);
        const size_t maskStride = (static_cast<size_t>(size) + 31) / 32 * 4;
        EXPECT_EQ(image->data.size(),
                  bmp.headerSize + bmp.PaletteEntries() * 4 + (bmp.Stride() + maskStride) * static_cast<size_t>(size));
    }
    const std::set<std::pair<int, int>> expected = {{48, 4}, {48, 8}, {48, 24}, {32, 4}, {32, 8},
                                                    {32, 24}, {16, 4}, {16, 8}, {16, 24}};
    EXPECT_EQ(entries.size(), 9u);
    EXPECT_EQ(sizesAndDepths, expected);
}

TEST_P(KorvaneExe, VersionBlockNamesTheFile)
{
    const Resource* res = Chinese(kRtVersion, 1);
    ASSERT_NE(res, nullptr);
    VersionInfo info;
    std::string error;
    ASSERT_TRUE(DecodeVersionInfo(res->data, &info, &error)) << error;
    EXPECT_EQ(Hex(info.fileVersionMs), "0x10000");
    EXPECT_EQ(Hex(info.fileVersionLs), "0x1");
    EXPECT_EQ(Hex(info.productVersionMs), "0x10000");
    EXPECT_EQ(Hex(info.productVersionLs), "0x1");
    EXPECT_EQ(info.fileType, 1u) << "VFT_APP";

    ASSERT_EQ(info.tables.size(), 1u);
    const StringTable& table = info.tables[0];
    EXPECT_EQ(Lower(table.key), "080404b0") << "Chinese (Simplified), Unicode";
    const std::string file = GetParam().file;
    const std::vector<std::pair<const char*, std::string>> strings = {
        {"FileVersion", "1.0.0.1"}, {"ProductVersion", "1.0.0.1"}, {"InternalName", file}, {"OriginalFilename", file}};
    for (const auto& s : strings) {
        const std::string* value = table.Find(s.first);
        ASSERT_NE(value, nullptr) << s.first << " missing";
        EXPECT_EQ(*value, s.second) << s.first;
    }
    EXPECT_NE(std::find(info.translations.begin(), info.translations.end(), std::make_pair<uint16_t, uint16_t>(0x0804, 1200)),
              info.translations.end());
}

// The value of attribute in the first element named element, or "" when absent.
std::string AttributeOf(const std::string& xml, const std::string& element, const std::string& attribute)
{
    const size_t start = xml.find("<" + element);
    if (start == std::string::npos) return "";
    const size_t end = xml.find('>', start);
    const std::string tag = xml.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (size_t at = tag.find(attribute); at != std::string::npos; at = tag.find(attribute, at + 1)) {
        size_t eq = at + attribute.size();
        if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
        while (eq < tag.size() && std::isspace(static_cast<unsigned char>(tag[eq]))) ++eq;
        if (eq >= tag.size() || tag[eq] != '=') continue;
        size_t q = eq + 1;
        while (q < tag.size() && std::isspace(static_cast<unsigned char>(tag[q]))) ++q;
        if (q >= tag.size() || (tag[q] != '"' && tag[q] != '\'')) continue;
        const size_t close = tag.find(tag[q], q + 1);
        if (close == std::string::npos) return "";
        return tag.substr(q + 1, close - q - 1);
    }
    return "";
}

// Whether the program's sections hold these bytes anywhere.
bool SectionsHold(const PeFile& pe, const std::string& needle)
{
    for (const Section& section : pe.sections()) {
        const ByteView raw = pe.FromRva(section.virtualAddress);
        const std::string bytes(reinterpret_cast<const char*>(raw.data()), raw.size());
        if (bytes.find(needle) != std::string::npos)
            return true;
    }
    return false;
}

TEST_P(KorvaneExe, RegistryKeyNameIsStoredInTheChineseCodePage)
{
    // The settings key name, as GBK bytes and as UTF-8 bytes.
    const std::string gbk =
        "\xd3\xa6\xd3\xc3\xb3\xcc\xd0\xf2\xcf\xf2\xb5\xbc\xc9\xfa\xb3\xc9\xb5\xc4\xb1\xbe\xb5\xd8"
        "\xd3\xa6\xd3\xc3\xb3\xcc\xd0\xf2";
    const std::string utf8 = "\xe5\xba\x94\xe7\x94\xa8\xe7\xa8\x8b\xe5\xba\x8f\xe5\x90\x91\xe5\xaf\xbc";
    EXPECT_TRUE(SectionsHold(image_.pe, gbk));
    EXPECT_FALSE(SectionsHold(image_.pe, utf8));
}

TEST_P(KorvaneExe, ExactlyOneManifestAsInvoker)
{
    const std::vector<const Resource*> manifests = FindResources(image_.resources, kRtManifest);
    ASSERT_EQ(manifests.size(), 1u) << "a program must carry exactly one manifest";
    const Resource& m = *manifests[0];
    EXPECT_TRUE(m.name.Is(1)) << "the manifest of a program is resource 1, not " << m.name.Describe();
    EXPECT_EQ(m.language, kLangEnglishUs) << "the language a Windows linker gives an embedded manifest";
    const std::string xml(reinterpret_cast<const char*>(m.data.data()), m.data.size());
    EXPECT_EQ(AttributeOf(xml, "requestedExecutionLevel", "level"), "asInvoker") << xml;
    EXPECT_EQ(AttributeOf(xml, "requestedExecutionLevel", "uiAccess"), "false") << xml;
}

std::string CaseName(const testing::TestParamInfo<ExeCase>& info)
{
    std::string name = std::string(info.param.arch) + "_" + info.param.file;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Dist, KorvaneExe,
                         testing::Values(ExeCase{"win32", "korvane.exe", kMachineI386, true},
                                         ExeCase{"win32", "korvane-sim.exe", kMachineI386, false},
                                         ExeCase{"win64", "korvane.exe", kMachineAmd64, true},
                                         ExeCase{"win64", "korvane-sim.exe", kMachineAmd64, false}),
                         CaseName);

}  // namespace
}  // namespace kvpe
