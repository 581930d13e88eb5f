// Tests of the PE reader on fixture DLLs whose contents are known, built from
// fixture/ with mingw-w64 for both architectures.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "pe_file.h"
#include "pe_resources.h"
#include "version_info.h"
#include "x86_returns.h"

namespace kvpe {
namespace {

struct FixtureCase {
    const char* file;
    uint16_t machine;
    bool is64;
};

void PrintTo(const FixtureCase& c, std::ostream* os)
{
    *os << c.file;
}

std::string FixturePath(const char* file)
{
    return std::string(KV_PE_FIXTURE_DIR) + "/" + file;
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string DescribeItem(const DialogItem& item)
{
    return "id=" + std::to_string(static_cast<int32_t>(item.id)) + " class=" + item.windowClass.Describe() +
           " style=" + Hex(item.style) + " exstyle=" + Hex(item.exStyle) + " title=" + item.title.Describe() +
           " rect=" + std::to_string(item.x) + "," + std::to_string(item.y) + "," + std::to_string(item.cx) + "," +
           std::to_string(item.cy);
}

class FixtureImage : public testing::TestWithParam<FixtureCase> {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(pe_.Load(FixturePath(GetParam().file), &error))
            << error << " (the fixture is built with mingw-w64 by the kv_pe_fixtures target)";
        ASSERT_TRUE(ReadResources(pe_, &resources_, &error)) << error;
    }

    PeFile pe_;
    std::vector<Resource> resources_;
};

TEST_P(FixtureImage, HeadersAndSections)
{
    EXPECT_EQ(pe_.machine(), GetParam().machine);
    EXPECT_EQ(pe_.is64(), GetParam().is64);
    EXPECT_NE(pe_.characteristics() & 0x2000, 0) << "a DLL carries IMAGE_FILE_DLL";
    EXPECT_EQ(pe_.subsystem(), kSubsystemConsole);
    // Linked with four different numbers, so that a field read from its
    // neighbour's place shows.
    EXPECT_EQ(pe_.osVersion().Text(), "5.1");
    EXPECT_EQ(pe_.subsystemVersion().Text(), "6.2");
    const Section* text = nullptr;
    for (const Section& s : pe_.sections()) {
        if (s.name == ".text") text = &s;
    }
    ASSERT_NE(text, nullptr);
    EXPECT_NE(text->characteristics & 0x20000000u, 0u) << ".text is executable";
    EXPECT_EQ(pe_.SectionOf(text->virtualAddress), text);
    EXPECT_EQ(pe_.At(text->virtualAddress + text->rawSize - 1, 2).size(), 0u) << "a read across the end of raw data";
}

TEST_P(FixtureImage, ExportsWithPlainAndDecoratedNames)
{
    ExportTable exports;
    std::string error;
    ASSERT_TRUE(pe_.Exports(&exports, &error)) << error;
    ASSERT_TRUE(exports.present);
    EXPECT_EQ(exports.dllName, "fixture.dll");
    EXPECT_EQ(exports.ordinalBase, 1u);
    ASSERT_EQ(exports.functions.size(), 7u);

    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"Alpha", 1}, {"Beta", 2}, {"Delta", 3}, {"Gamma", 4}, {"_Alpha@0", 5}, {"_Beta@4", 6}, {"_Gamma@8", 7}};
    std::vector<std::pair<std::string, uint32_t>> actual;
    std::map<std::string, uint32_t> rvaOf;
    for (const ExportName& n : exports.names) {
        actual.emplace_back(n.name, n.ordinal);
        rvaOf[n.name] = exports.functions.at(n.ordinal - exports.ordinalBase).rva;
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(rvaOf["Alpha"], rvaOf["_Alpha@0"]);
    EXPECT_EQ(rvaOf["Beta"], rvaOf["_Beta@4"]);
    EXPECT_EQ(rvaOf["Gamma"], rvaOf["_Gamma@8"]);
    const std::set<uint32_t> distinct = {rvaOf["Alpha"], rvaOf["Beta"], rvaOf["Gamma"], rvaOf["Delta"]};
    EXPECT_EQ(distinct.size(), 4u);
    for (const ExportedFunction& f : exports.functions) EXPECT_FALSE(f.forwarded) << f.ordinal;
}

TEST_P(FixtureImage, ImportsByDllAndName)
{
    std::vector<ImportedDll> imports;
    std::string error;
    ASSERT_TRUE(pe_.Imports(&imports, &error)) << error;
    const ImportedDll* kernel32 = nullptr;
    for (const ImportedDll& dll : imports) {
        if (Lower(dll.name) == "kernel32.dll") kernel32 = &dll;
        EXPECT_FALSE(dll.delayLoaded) << dll.name;
    }
    ASSERT_NE(kernel32, nullptr);
    for (const char* name : {"GetTickCount", "GetCurrentProcessId", "GetLastError"}) {
        EXPECT_NE(std::find(kernel32->functions.begin(), kernel32->functions.end(), name), kernel32->functions.end())
            << name;
    }
}

TEST_P(FixtureImage, ResourceTreeKeepsLanguagesAndStringNames)
{
    std::vector<uint16_t> languages;
    for (const Resource* r : FindResources(resources_, kRtDialog, 7)) languages.push_back(r->language);
    std::sort(languages.begin(), languages.end());
    EXPECT_EQ(languages, (std::vector<uint16_t>{kLangEnglishUs, kLangChineseSimplified}));

    const Resource* notes = nullptr;
    for (const Resource& r : resources_) {
        if (r.type.Is(10) && !r.name.isId && r.name.text == "NOTES") notes = &r;
    }
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->language, kLangEnglishUs);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(notes->data.data()), notes->data.size()), "abc");
}

TEST_P(FixtureImage, ExtendedDialogWithEveryKindOfField)
{
    const Resource* chinese = nullptr;
    const Resource* english = nullptr;
    for (const Resource* r : FindResources(resources_, kRtDialog, 7)) {
        (r->language == kLangChineseSimplified ? chinese : english) = r;
    }
    ASSERT_NE(chinese, nullptr);
    ASSERT_NE(english, nullptr);

    DialogTemplate dlg;
    std::string error;
    ASSERT_TRUE(DecodeDialogEx(chinese->data, &dlg, &error)) << error;
    EXPECT_EQ(dlg.style, 0x80C00040u);  // DS_SETFONT | WS_POPUP | WS_CAPTION
    EXPECT_EQ(dlg.exStyle, 0x80u);      // WS_EX_TOOLWINDOW
    EXPECT_EQ(std::vector<int>({dlg.x, dlg.y, dlg.cx, dlg.cy}), std::vector<int>({1, 2, 200, 100}));
    EXPECT_EQ(dlg.menu.kind, SzOrOrd::Kind::kNone);
    EXPECT_EQ(dlg.windowClass.kind, SzOrOrd::Kind::kNone);
    EXPECT_EQ(dlg.title, "测试");
    ASSERT_TRUE(dlg.hasFont);
    EXPECT_EQ(dlg.pointSize, 8);
    EXPECT_EQ(dlg.weight, 700);
    EXPECT_EQ(dlg.italic, 1);
    EXPECT_EQ(dlg.charset, 0x86);
    EXPECT_EQ(dlg.typeface, "Tahoma");

    std::vector<std::string> items;
    for (const DialogItem& item : dlg.items) items.push_back(DescribeItem(item));
    const std::vector<std::string> expected = {
        "id=11 class=#128 style=0x50010000 exstyle=0x0 title=\"好\" rect=1,2,3,4",
        "id=-1 class=\"STATIC\" style=0x50000003 exstyle=0x0 title=#9 rect=5,6,7,8",
        "id=12 class=#129 style=0x50810020 exstyle=0x0 title=(none) rect=9,10,11,12",
        "id=13 class=\"MSCTLS_PROGRESS32\" style=0x50800000 exstyle=0x0 title=(none) rect=13,14,15,16",
    };
    EXPECT_EQ(items, expected);
    EXPECT_EQ(ClassOf(dlg.items[0].windowClass), ControlClass::kButton);
    EXPECT_EQ(ClassOf(dlg.items[1].windowClass), ControlClass::kStatic);
    EXPECT_EQ(ClassOf(dlg.items[2].windowClass), ControlClass::kEdit);
    EXPECT_EQ(ClassOf(dlg.items[3].windowClass), ControlClass::kOther);

    DialogTemplate plain;
    ASSERT_TRUE(DecodeDialogEx(english->data, &plain, &error)) << error;
    EXPECT_FALSE(plain.hasFont);
    EXPECT_EQ(plain.title, "test");
    EXPECT_TRUE(plain.items.empty());
}

TEST_P(FixtureImage, TruncatedDialogIsRejectedNotMisread)
{
    const std::vector<const Resource*> dialogs = FindResources(resources_, kRtDialog, 7);
    const Resource* chinese = nullptr;
    for (const Resource* r : dialogs) {
        if (r->language == kLangChineseSimplified) chinese = r;
    }
    ASSERT_NE(chinese, nullptr);
    DialogTemplate full;
    std::string error;
    ASSERT_TRUE(DecodeDialogEx(chinese->data, &full, &error)) << error;
    // A cut may only succeed where the rest was padding, and then reads the same.
    for (size_t n = 0; n < chinese->data.size(); ++n) {
        DialogTemplate cut;
        if (DecodeDialogEx(ByteView(chinese->data.data(), n), &cut, &error)) {
            ASSERT_EQ(cut.items.size(), full.items.size()) << "cut at " << n;
            EXPECT_EQ(DescribeItem(cut.items.back()), DescribeItem(full.items.back())) << "cut at " << n;
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST_P(FixtureImage, VersionBlock)
{
    const std::vector<const Resource*> found = FindResources(resources_, kRtVersion, 1);
    ASSERT_EQ(found.size(), 1u);
    VersionInfo info;
    std::string error;
    ASSERT_TRUE(DecodeVersionInfo(found[0]->data, &info, &error)) << error;
    EXPECT_EQ(info.fileVersionMs, 0x00020003u);
    EXPECT_EQ(info.fileVersionLs, 0x00040005u);
    EXPECT_EQ(info.productVersionMs, 0x00060007u);
    EXPECT_EQ(info.productVersionLs, 0x00080009u);
    EXPECT_EQ(info.fileType, 2u);  // VFT_DLL
    ASSERT_EQ(info.tables.size(), 1u);
    EXPECT_EQ(info.tables[0].key, "080404b0");
    const std::vector<std::pair<std::string, std::string>> strings = {{"Comments", "说明"},
                                                                      {"FileVersion", "2.3.4.5"}};
    EXPECT_EQ(info.tables[0].strings, strings);
    const std::vector<std::pair<uint16_t, uint16_t>> translations = {{0x0804, 1200}, {0x0409, 1252}};
    EXPECT_EQ(info.translations, translations);
}

TEST_P(FixtureImage, TruncatedImageFailsToParse)
{
    std::ifstream in(FixturePath(GetParam().file), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t sectionsEnd = 0;
    for (const Section& s : pe_.sections()) sectionsEnd = std::max<size_t>(sectionsEnd, s.rawOffset + s.rawSize);
    ASSERT_GT(sectionsEnd, 0u);
    // Every cut inside the headers or the section data is refused; behind the
    // sections only the COFF symbol table is cut, which the reader does not use.
    for (size_t n = 0; n <= bytes.size(); n += 61) {
        PeFile cut;
        std::string error;
        const bool parsed = cut.Parse(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n), &error);
        EXPECT_EQ(parsed, n >= sectionsEnd) << "cut at " << n << ": " << error;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixture, FixtureImage,
                         testing::Values(FixtureCase{"fixture32.dll", kMachineI386, false},
                                         FixtureCase{"fixture64.dll", kMachineAmd64, true}),
                         [](const testing::TestParamInfo<FixtureCase>& info) {
                             return std::string(info.param.is64 ? "x86_64" : "i686");
                         });

TEST(ReturnScan, FindsTheStackCleanUpOfEachCallingConvention)
{
    const std::string path = FixturePath("fixture32.dll");
    PeFile pe;
    std::string error;
    ASSERT_TRUE(pe.Load(path, &error)) << error;
    ExportTable exports;
    std::vector<ImportedDll> imports;
    ASSERT_TRUE(pe.Exports(&exports, &error)) << error;
    ASSERT_TRUE(pe.Imports(&imports, &error)) << error;
    ASSERT_STRNE(KV_PE_OBJDUMP, "") << "no objdump that reads i686 PE images was found at configure time";
    Disassembly code;
    ASSERT_TRUE(code.Load(KV_PE_OBJDUMP, path, &error)) << error;
    const ImportSlots slots = ImportSlotsOf(pe, imports);

    std::map<std::string, uint64_t> entry;
    std::set<uint64_t> barriers;
    for (const ExportName& n : exports.names) {
        entry[n.name] = pe.imageBase() + exports.functions.at(n.ordinal - 1).rva;
        barriers.insert(entry[n.name]);
    }
    std::map<std::string, ReturnScan> scans;
    for (const char* name : {"Alpha", "Beta", "Gamma", "Delta"}) {
        ASSERT_EQ(entry.count(name), 1u) << name;
        scans[name] = ScanReturns(code, entry[name], barriers, slots);
    }

    // Each calling convention passes with its own clean-up and fails with another.
    const std::vector<std::pair<std::string, uint32_t>> cleanUp = {
        {"Alpha", 0}, {"Beta", 4}, {"Gamma", 8}, {"Delta", 0}};
    for (const auto& c : cleanUp) {
        std::vector<std::string> failures;
        CheckStdcallExits(scans[c.first], pe, c.second, &failures);
        EXPECT_EQ(failures, std::vector<std::string>{}) << c.first;
        failures.clear();
        CheckStdcallExits(scans[c.first], pe, c.second + 4, &failures);
        EXPECT_FALSE(failures.empty()) << c.first << " passed with the wrong clean-up";
    }

    // Alpha ends in a jump to GetTickCount, which returns for it; both ways out
    // of Gamma are followed.
    ASSERT_EQ(scans["Alpha"].importTailCalls.size(), 1u);
    EXPECT_EQ(scans["Alpha"].importTailCalls[0].function, "kernel32.dll!GetTickCount");
    EXPECT_EQ(scans["Gamma"].returns.size(), 2u);
}

TEST(DialogDecoding, ClassicTemplateIsNamedAsSuch)
{
    // DLGTEMPLATE: style, exstyle, no controls, position and size, no menu,
    // no class, empty title.
    const uint8_t classic[] = {0x00, 0x00, 0xC0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 10,
                               0,    0,    0,    0,    0, 0, 0};
    DialogTemplate dlg;
    std::string error;
    EXPECT_FALSE(DecodeDialogEx(ByteView(classic, sizeof classic), &dlg, &error));
    EXPECT_NE(error.find("classic"), std::string::npos) << error;
}

}  // namespace
}  // namespace kvpe
