#include "version_info.h"

namespace kvpe {

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedSize = 52;
constexpr int kMaxDepth = 4;

// One block of the version tree: header, key, value and child blocks.
struct Node {
    std::string key;
    uint16_t type = 0;  // 1: text value
    size_t valueOffset = 0;
    size_t valueBytes = 0;  // binary values only
    std::string text;       // text values only
    std::vector<Node> children;
};

// Offsets are taken from the start of the resource, where all alignment counts.
bool ReadNode(ByteView data, size_t at, size_t limit, int depth, Node* out, size_t* end)
{
    uint16_t length = 0, valueLength = 0;
    if (depth > kMaxDepth || !data.U16(at, &length) || !data.U16(at + 2, &valueLength) ||
        !data.U16(at + 4, &out->type) || length < 6 || at + length > limit) {
        return false;
    }
    const size_t blockEnd = at + length;
    ByteView block(data.data(), blockEnd);  // keeps every read inside this block
    std::u16string key;
    size_t cursor = 0;
    if (!block.Utf16z(at + 6, &key, &cursor)) return false;
    out->key = ToUtf8(key);
    cursor = AlignUp(cursor, 4);
    out->valueOffset = cursor;
    if (valueLength != 0 && cursor < blockEnd) {
        if (out->type == 1) {
            // The length counts characters with most compilers and bytes with
            // some; the terminator is what ends the text either way.
            std::u16string text;
            size_t next = 0;
            if (!block.Utf16z(cursor, &text, &next)) return false;
            out->text = ToUtf8(text);
            cursor = next;
        } else {
            if (!block.Has(cursor, valueLength)) return false;
            out->valueBytes = valueLength;
            cursor += valueLength;
        }
    }
    cursor = AlignUp(cursor, 4);
    while (cursor < blockEnd) {
        Node child;
        size_t childEnd = 0;
        if (!ReadNode(data, cursor, blockEnd, depth + 1, &child, &childEnd)) return false;
        out->children.push_back(child);
        cursor = AlignUp(childEnd, 4);
    }
    *end = blockEnd;
    return true;
}

}  // namespace

const std::string* StringTable::Find(const std::string& name) const
{
    for (const auto& entry : strings) {
        if (entry.first == name) return &entry.second;
    }
    return nullptr;
}

bool DecodeVersionInfo(ByteView data, VersionInfo* out, std::string* error)
{
    *out = VersionInfo{};
    Node root;
    size_t end = 0;
    if (!ReadNode(data, 0, data.size(), 0, &root, &end)) {
        *error = "malformed version resource";
        return false;
    }
    uint32_t signature = 0;
    if (root.key != "VS_VERSION_INFO" || root.valueBytes < kFixedSize ||
        !data.U32(root.valueOffset, &signature) || signature != kFixedSignature) {
        *error = "version resource without its fixed part";
        return false;
    }
    const size_t f = root.valueOffset;
    data.U32(f + 8, &out->fileVersionMs);
    data.U32(f + 12, &out->fileVersionLs);
    data.U32(f + 16, &out->productVersionMs);
    data.U32(f + 20, &out->productVersionLs);
    data.U32(f + 24, &out->fileFlagsMask);
    data.U32(f + 28, &out->fileFlags);
    data.U32(f + 32, &out->fileOs);
    data.U32(f + 36, &out->fileType);
    data.U32(f + 40, &out->fileSubtype);

    for (const Node& group : root.children) {
        if (group.key == "StringFileInfo") {
            for (const Node& table : group.children) {
                StringTable t;
                t.key = table.key;
                for (const Node& s : table.children) t.strings.emplace_back(s.key, s.text);
                out->tables.push_back(t);
            }
        } else if (group.key == "VarFileInfo") {
            for (const Node& var : group.children) {
                if (var.key != "Translation") continue;
                for (size_t i = 0; i + 4 <= var.valueBytes; i += 4) {
                    uint16_t language = 0, codePage = 0;
                    data.U16(var.valueOffset + i, &language);
                    data.U16(var.valueOffset + i + 2, &codePage);
                    out->translations.emplace_back(language, codePage);
                }
            }
        }
    }
    return true;
}

}  // namespace kvpe
