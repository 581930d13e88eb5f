// Decoding of extended dialog templates (DLGTEMPLATEEX and DLGITEMTEMPLATEEX).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_view.h"

namespace kvpe {

// A field that holds nothing, a 16-bit ordinal or a string.
struct SzOrOrd {
    enum class Kind { kNone, kOrdinal, kText };
    Kind kind = Kind::kNone;
    uint16_t ordinal = 0;
    std::string text;  // UTF-8

    std::string Describe() const;
};

struct DialogItem {
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;
    SzOrOrd windowClass;
    SzOrOrd title;
    uint16_t extraCount = 0;
};

struct DialogTemplate {
    uint16_t version = 0;
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    SzOrOrd menu;
    SzOrOrd windowClass;
    std::string title;
    bool hasFont = false;
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    uint8_t italic = 0;
    uint8_t charset = 0;
    std::string typeface;
    std::vector<DialogItem> items;
};

// Fails on a classic (non-extended) template, naming it as such.
bool DecodeDialogEx(ByteView data, DialogTemplate* out, std::string* error);

// Predefined control classes, by the atom or the name a template may use.
enum class ControlClass { kButton, kEdit, kStatic, kListBox, kScrollBar, kComboBox, kOther };
ControlClass ClassOf(const SzOrOrd& windowClass);
const char* ClassName(ControlClass c);

}  // namespace kvpe
