// Decoding of a version resource (VS_VERSIONINFO).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "byte_view.h"

namespace kvpe {

struct StringTable {
    std::string key;  // language and code page, e.g. "080404b0"
    std::vector<std::pair<std::string, std::string>> strings;  // UTF-8, in stored order

    // The value of name, or nullptr.
    const std::string* Find(const std::string& name) const;
};

struct VersionInfo {
    uint32_t fileVersionMs = 0, fileVersionLs = 0;
    uint32_t productVersionMs = 0, productVersionLs = 0;
    uint32_t fileFlagsMask = 0, fileFlags = 0, fileOs = 0, fileType = 0, fileSubtype = 0;
    std::vector<StringTable> tables;
    std::vector<std::pair<uint16_t, uint16_t>> translations;  // language, code page
};

bool DecodeVersionInfo(ByteView data, VersionInfo* out, std::string* error);

}  // namespace kvpe
