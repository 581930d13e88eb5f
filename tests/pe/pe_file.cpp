#include "pe_file.h"

#include <fstream>
#include <iterator>

namespace kvpe {

namespace {

constexpr size_t kMaxImportDescriptors = 4096;
constexpr size_t kMaxThunks = 65536;
constexpr size_t kMaxExports = 65536;

}  // namespace

bool PeFile::Load(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!Parse(std::move(bytes), error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

bool PeFile::Parse(std::vector<uint8_t> bytes, std::string* error)
{
    bytes_ = std::move(bytes);
    sections_.clear();
    directories_.clear();
    ByteView file(bytes_.data(), bytes_.size());

    uint16_t mz = 0;
    uint32_t peOffset = 0;
    if (!file.U16(0, &mz) || mz != 0x5A4D || !file.U32(0x3C, &peOffset)) {
        *error = "no DOS header";
        return false;
    }
    uint32_t signature = 0;
    if (!file.U32(peOffset, &signature) || signature != 0x00004550) {
        *error = "no PE signature";
        return false;
    }
    const size_t coff = peOffset + 4;
    uint16_t sectionCount = 0, optionalSize = 0;
    if (!file.U16(coff, &machine_) || !file.U16(coff + 2, &sectionCount) ||
        !file.U16(coff + 16, &optionalSize) || !file.U16(coff + 18, &characteristics_)) {
        *error = "truncated COFF header";
        return false;
    }
    const size_t opt = coff + 20;
    uint16_t magic = 0;
    if (!file.U16(opt, &magic) || (magic != 0x10B && magic != 0x20B)) {
        *error = "unknown optional header";
        return false;
    }
    is64_ = magic == 0x20B;
    uint32_t dirCount = 0;
    size_t dirOffset = 0;
    // Same offsets in both layouts: they precede the fields that differ.
    bool ok = file.U16(opt + 68, &subsystem_) && file.U16(opt + 40, &osVersion_.major) &&
              file.U16(opt + 42, &osVersion_.minor) && file.U16(opt + 48, &subsystemVersion_.major) &&
              file.U16(opt + 50, &subsystemVersion_.minor);
    if (is64_) {
        ok = ok && file.U64(opt + 24, &imageBase_) && file.U32(opt + 108, &dirCount);
        dirOffset = opt + 112;
    } else {
        uint32_t base = 0;
        ok = ok && file.U32(opt + 28, &base) && file.U32(opt + 92, &dirCount);
        imageBase_ = base;
        dirOffset = opt + 96;
    }
    if (!ok || dirCount > 16 || dirOffset + dirCount * 8 > opt + optionalSize) {
        *error = "truncated optional header";
        return false;
    }
    for (uint32_t i = 0; i < dirCount; ++i) {
        DataDirectory dir;
        if (!file.U32(dirOffset + i * 8, &dir.rva) || !file.U32(dirOffset + i * 8 + 4, &dir.size)) {
            *error = "truncated data directories";
            return false;
        }
        directories_.push_back(dir);
    }
    const size_t table = opt + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t at = table + i * 40u;
        if (!file.Has(at, 40)) {
            *error = "truncated section table";
            return false;
        }
        Section s;
        const char* name = reinterpret_cast<const char*>(bytes_.data() + at);
        size_t len = 0;
        while (len < 8 && name[len] != '\0') ++len;
        s.name.assign(name, len);
        file.U32(at + 8, &s.virtualSize);
        file.U32(at + 12, &s.virtualAddress);
        file.U32(at + 16, &s.rawSize);
        file.U32(at + 20, &s.rawOffset);
        file.U32(at + 36, &s.characteristics);
        if (s.rawSize != 0 && !file.Has(s.rawOffset, s.rawSize)) {
            *error = "section " + s.name + " lies outside the file";
            return false;
        }
        sections_.push_back(s);
    }
    return true;
}

DataDirectory PeFile::directory(unsigned index) const
{
    return index < directories_.size() ? directories_[index] : DataDirectory{};
}

const Section* PeFile::SectionOf(uint32_t rva) const
{
    for (const Section& s : sections_) {
        const uint32_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span) return &s;
    }
    return nullptr;
}

ByteView PeFile::FromRva(uint32_t rva) const
{
    const Section* s = SectionOf(rva);
    if (s == nullptr || rva - s->virtualAddress >= s->rawSize) return {};
    const uint32_t delta = rva - s->virtualAddress;
    return ByteView(bytes_.data() + s->rawOffset + delta, s->rawSize - delta);
}

ByteView PeFile::At(uint32_t rva, uint32_t size) const
{
    ByteView rest = FromRva(rva);
    if (!rest.Has(0, size)) return {};
    return ByteView(rest.data(), size);
}

bool PeFile::CString(uint32_t rva, std::string* out) const
{
    ByteView rest = FromRva(rva);
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest.data()[i] == 0) {
            out->assign(reinterpret_cast<const char*>(rest.data()), i);
            return true;
        }
    }
    return false;
}

bool PeFile::Imports(std::vector<ImportedDll>* out, std::string* error) const
{
    out->clear();
    const size_t thunkSize = is64_ ? 8 : 4;
    // Reads one name or ordinal table of a normal or delay-load descriptor.
    // slotsRva: the address table the loader fills, parallel to the names.
    auto readThunks = [&](uint32_t rva, uint32_t slotsRva, ImportedDll* dll) {
        for (size_t i = 0; i < kMaxThunks; ++i) {
            ByteView slot = At(static_cast<uint32_t>(rva + i * thunkSize), static_cast<uint32_t>(thunkSize));
            uint64_t value = 0;
            if (is64_) {
                if (!slot.U64(0, &value)) return false;
            } else {
                uint32_t v32 = 0;
                if (!slot.U32(0, &v32)) return false;
                value = v32;
            }
            if (value == 0) return true;
            dll->slots.push_back(static_cast<uint32_t>(slotsRva + i * thunkSize));
            const uint64_t ordinalFlag = is64_ ? (1ull << 63) : (1ull << 31);
            if (value & ordinalFlag) {
                dll->functions.push_back("#" + std::to_string(value & 0xFFFF));
            } else {
                std::string name;
                if (!CString(static_cast<uint32_t>(value) + 2, &name)) return false;
                dll->functions.push_back(name);
            }
        }
        return false;
    };

    const DataDirectory dir = directory(kDirImport);
    if (dir.rva != 0) {
        for (size_t i = 0;; ++i) {
            if (i == kMaxImportDescriptors) {
                *error = "import directory without end";
                return false;
            }
            ByteView d = At(static_cast<uint32_t>(dir.rva + i * 20), 20);
            uint32_t lookup = 0, nameRva = 0, iat = 0;
            if (!d.U32(0, &lookup) || !d.U32(12, &nameRva) || !d.U32(16, &iat)) {
                *error = "truncated import directory";
                return false;
            }
            if (lookup == 0 && nameRva == 0 && iat == 0) break;
            ImportedDll dll;
            if (!CString(nameRva, &dll.name) || !readThunks(lookup != 0 ? lookup : iat, iat, &dll)) {
                *error = "malformed import descriptor " + std::to_string(i);
                return false;
            }
            out->push_back(dll);
        }
    }

    const DataDirectory delay = directory(kDirDelayImport);
    if (delay.rva != 0) {
        for (size_t i = 0;; ++i) {
            if (i == kMaxImportDescriptors) {
                *error = "delay-import directory without end";
                return false;
            }
            ByteView d = At(static_cast<uint32_t>(delay.rva + i * 32), 32);
            uint32_t attributes = 0, nameRef = 0, addressTable = 0, nameTable = 0;
            if (!d.U32(0, &attributes) || !d.U32(4, &nameRef) || !d.U32(12, &addressTable) ||
                !d.U32(16, &nameTable)) {
                *error = "truncated delay-import directory";
                return false;
            }
            if (nameRef == 0) break;
            // Old-style descriptors hold addresses instead of RVAs.
            const uint32_t bias = (attributes & 1) ? 0 : static_cast<uint32_t>(imageBase_);
            ImportedDll dll;
            dll.delayLoaded = true;
            if (!CString(nameRef - bias, &dll.name) || !readThunks(nameTable - bias, addressTable - bias, &dll)) {
                *error = "malformed delay-import descriptor " + std::to_string(i);
                return false;
            }
            out->push_back(dll);
        }
    }
    return true;
}

bool PeFile::Exports(ExportTable* out, std::string* error) const
{
    *out = ExportTable{};
    const DataDirectory dir = directory(kDirExport);
    if (dir.rva == 0) return true;
    ByteView d = At(dir.rva, 40);
    uint32_t nameRva = 0, functionCount = 0, nameCount = 0, functions = 0, names = 0, ordinals = 0;
    if (!d.U32(12, &nameRva) || !d.U32(16, &out->ordinalBase) || !d.U32(20, &functionCount) ||
        !d.U32(24, &nameCount) || !d.U32(28, &functions) || !d.U32(32, &names) || !d.U32(36, &ordinals)) {
        *error = "truncated export directory";
        return false;
    }
    if (functionCount > kMaxExports || nameCount > kMaxExports || !CString(nameRva, &out->dllName)) {
        *error = "malformed export directory";
        return false;
    }
    out->present = true;
    ByteView addressTable = At(functions, functionCount * 4);
    if (functionCount != 0 && addressTable.size() == 0) {
        *error = "export address table outside the image";
        return false;
    }
    for (uint32_t i = 0; i < functionCount; ++i) {
        ExportedFunction f;
        f.ordinal = out->ordinalBase + i;
        addressTable.U32(i * 4, &f.rva);
        f.forwarded = f.rva >= dir.rva && f.rva - dir.rva < dir.size;
        out->functions.push_back(f);
    }
    ByteView nameTable = At(names, nameCount * 4);
    ByteView ordinalTable = At(ordinals, nameCount * 2);
    for (uint32_t i = 0; i < nameCount; ++i) {
        uint32_t entry = 0;
        uint16_t index = 0;
        ExportName n;
        if (!nameTable.U32(i * 4, &entry) || !ordinalTable.U16(i * 2, &index) || !CString(entry, &n.name)) {
            *error = "malformed export name " + std::to_string(i);
            return false;
        }
        if (index >= functionCount) {
            *error = "export name " + n.name + " points past the address table";
            return false;
        }
        n.ordinal = out->ordinalBase + index;
        out->names.push_back(n);
    }
    return true;
}

}  // namespace kvpe
