#include "pe_resources.h"

namespace kvpe {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kMaxEntries = 65536;

struct Walker {
    const PeFile& pe;
    ByteView base;  // the resource section from the directory on
    std::vector<Resource>* out;
    std::string* error;

    bool Key(uint32_t raw, ResourceKey* key) const
    {
        if (!(raw & kHighBit)) {
            key->isId = true;
            key->id = static_cast<uint16_t>(raw);
            return true;
        }
        const size_t at = raw & ~kHighBit;
        uint16_t length = 0;
        if (!base.U16(at, &length) || !base.Has(at + 2, length * 2u)) return false;
        std::u16string text;
        for (uint16_t i = 0; i < length; ++i) {
            uint16_t unit = 0;
            base.U16(at + 2 + i * 2u, &unit);
            text.push_back(static_cast<char16_t>(unit));
        }
        key->isId = false;
        key->text = ToUtf8(text);
        return true;
    }

    // level 0: types, 1: names, 2: languages.
    bool Directory(size_t offset, int level, Resource path)
    {
        uint16_t named = 0, numbered = 0;
        if (!base.U16(offset + 12, &named) || !base.U16(offset + 14, &numbered)) {
            *error = "truncated resource directory";
            return false;
        }
        const size_t count = static_cast<size_t>(named) + numbered;
        if (count > kMaxEntries) {
            *error = "resource directory too large";
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = offset + 16 + i * 8;
            uint32_t rawName = 0, target = 0;
            if (!base.U32(entry, &rawName) || !base.U32(entry + 4, &target)) {
                *error = "truncated resource entry";
                return false;
            }
            Resource here = path;
            ResourceKey key;
            if (!Key(rawName, &key)) {
                *error = "malformed resource name";
                return false;
            }
            if (level == 0) here.type = key;
            if (level == 1) here.name = key;
            if (level == 2) {
                if (!key.isId) {
                    *error = "resource language given as a string";
                    return false;
                }
                here.language = key.id;
            }
            const bool isDirectory = (target & kHighBit) != 0;
            if (level < 2) {
                // The level, not the offsets, bounds the depth of the walk.
                if (!isDirectory) {
                    *error = "resource leaf above the language level";
                    return false;
                }
                if (!Directory(target & ~kHighBit, level + 1, here)) return false;
                continue;
            }
            if (isDirectory) {
                *error = "resource directory below the language level";
                return false;
            }
            uint32_t dataRva = 0, size = 0;
            if (!base.U32(target, &dataRva) || !base.U32(target + 4, &size)) {
                *error = "truncated resource data entry";
                return false;
            }
            here.data = pe.At(dataRva, size);
            if (size != 0 && here.data.size() == 0) {
                *error = "resource " + here.type.Describe() + "/" + here.name.Describe() + " outside the image";
                return false;
            }
            out->push_back(here);
        }
        return true;
    }
};

}  // namespace

bool ReadResources(const PeFile& pe, std::vector<Resource>* out, std::string* error)
{
    out->clear();
    const DataDirectory dir = pe.directory(kDirResource);
    if (dir.rva == 0) return true;
    Walker walker{pe, pe.FromRva(dir.rva), out, error};
    return walker.Directory(0, 0, Resource{});
}

std::vector<const Resource*> FindResources(const std::vector<Resource>& all, uint16_t type, uint16_t name)
{
    std::vector<const Resource*> found;
    for (const Resource& r : all) {
        if (r.type.Is(type) && r.name.Is(name)) found.push_back(&r);
    }
    return found;
}

std::vector<const Resource*> FindResources(const std::vector<Resource>& all, uint16_t type)
{
    std::vector<const Resource*> found;
    for (const Resource& r : all) {
        if (r.type.Is(type)) found.push_back(&r);
    }
    return found;
}

}  // namespace kvpe
