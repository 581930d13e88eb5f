// The resource tree of a PE image, flattened to one entry per
// (type, name, language) leaf.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_view.h"
#include "pe_file.h"

namespace kvpe {

constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtBitmap = 2;
constexpr uint16_t kRtDialog = 5;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kRtManifest = 24;

constexpr uint16_t kLangChineseSimplified = 0x0804;  // 2052
constexpr uint16_t kLangEnglishUs = 0x0409;          // 1033

// A resource type or name: a number or a string.
struct ResourceKey {
    bool isId = true;
    uint16_t id = 0;
    std::string text;  // UTF-8, when !isId

    bool Is(uint16_t value) const { return isId && id == value; }
    std::string Describe() const { return isId ? std::to_string(id) : "\"" + text + "\""; }
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    ByteView data;  // inside the image; valid while the PeFile lives
};

bool ReadResources(const PeFile& pe, std::vector<Resource>* out, std::string* error);

// All leaves of one type with a numeric name.
std::vector<const Resource*> FindResources(const std::vector<Resource>& all, uint16_t type, uint16_t name);
std::vector<const Resource*> FindResources(const std::vector<Resource>& all, uint16_t type);

}  // namespace kvpe
