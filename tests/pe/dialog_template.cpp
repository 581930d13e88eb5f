#include "dialog_template.h"

#include <cctype>

namespace kvpe {

namespace {

constexpr uint32_t kDsSetFont = 0x40;

bool ReadSzOrOrd(ByteView data, size_t* at, SzOrOrd* out)
{
    uint16_t first = 0;
    if (!data.U16(*at, &first)) return false;
    if (first == 0x0000) {
        out->kind = SzOrOrd::Kind::kNone;
        *at += 2;
        return true;
    }
    if (first == 0xFFFF) {
        out->kind = SzOrOrd::Kind::kOrdinal;
        if (!data.U16(*at + 2, &out->ordinal)) return false;
        *at += 4;
        return true;
    }
    std::u16string text;
    if (!data.Utf16z(*at, &text, at)) return false;
    out->kind = SzOrOrd::Kind::kText;
    out->text = ToUtf8(text);
    return true;
}

bool ReadText(ByteView data, size_t* at, std::string* out)
{
    std::u16string text;
    if (!data.Utf16z(*at, &text, at)) return false;
    *out = ToUtf8(text);
    return true;
}

}  // namespace

std::string SzOrOrd::Describe() const
{
    switch (kind) {
    case Kind::kNone: return "(none)";
    case Kind::kOrdinal: return "#" + std::to_string(ordinal);
    case Kind::kText: return "\"" + text + "\"";
    }
    return "";
}

bool DecodeDialogEx(ByteView data, DialogTemplate* out, std::string* error)
{
    *out = DialogTemplate{};
    uint16_t signature = 0, count = 0;
    if (!data.U16(0, &out->version) || !data.U16(2, &signature)) {
        *error = "truncated dialog template";
        return false;
    }
    if (signature != 0xFFFF || out->version != 1) {
        *error = "classic dialog template, not an extended one";
        return false;
    }
    size_t at = 4;
    bool ok = data.U32(4, &out->helpId) && data.U32(8, &out->exStyle) && data.U32(12, &out->style) &&
              data.U16(16, &count) && data.I16(18, &out->x) && data.I16(20, &out->y) &&
              data.I16(22, &out->cx) && data.I16(24, &out->cy);
    at = 26;
    ok = ok && ReadSzOrOrd(data, &at, &out->menu) && ReadSzOrOrd(data, &at, &out->windowClass) &&
         ReadText(data, &at, &out->title);
    if (ok && (out->style & kDsSetFont)) {
        out->hasFont = true;
        ok = data.U16(at, &out->pointSize) && data.U16(at + 2, &out->weight) && data.U8(at + 4, &out->italic) &&
             data.U8(at + 5, &out->charset);
        at += 6;
        ok = ok && ReadText(data, &at, &out->typeface);
    }
    if (!ok) {
        *error = "truncated dialog header";
        return false;
    }
    for (uint16_t i = 0; i < count; ++i) {
        at = AlignUp(at, 4);
        DialogItem item;
        ok = data.U32(at, &item.helpId) && data.U32(at + 4, &item.exStyle) && data.U32(at + 8, &item.style) &&
             data.I16(at + 12, &item.x) && data.I16(at + 14, &item.y) && data.I16(at + 16, &item.cx) &&
             data.I16(at + 18, &item.cy) && data.U32(at + 20, &item.id);
        at += 24;
        ok = ok && ReadSzOrOrd(data, &at, &item.windowClass) && ReadSzOrOrd(data, &at, &item.title) &&
             data.U16(at, &item.extraCount);
        at += 2;
        if (!ok || !data.Has(at, item.extraCount)) {
            *error = "truncated control " + std::to_string(i) + " of " + std::to_string(count);
            return false;
        }
        at += item.extraCount;
        out->items.push_back(item);
    }
    return true;
}

ControlClass ClassOf(const SzOrOrd& windowClass)
{
    if (windowClass.kind == SzOrOrd::Kind::kOrdinal) {
        switch (windowClass.ordinal) {
        case 0x80: return ControlClass::kButton;
        case 0x81: return ControlClass::kEdit;
        case 0x82: return ControlClass::kStatic;
        case 0x83: return ControlClass::kListBox;
        case 0x84: return ControlClass::kScrollBar;
        case 0x85: return ControlClass::kComboBox;
        default: return ControlClass::kOther;
        }
    }
    if (windowClass.kind != SzOrOrd::Kind::kText) return ControlClass::kOther;
    std::string lower;
    for (char c : windowClass.text) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (lower == "button") return ControlClass::kButton;
    if (lower == "edit") return ControlClass::kEdit;
    if (lower == "static") return ControlClass::kStatic;
    if (lower == "listbox") return ControlClass::kListBox;
    if (lower == "scrollbar") return ControlClass::kScrollBar;
    if (lower == "combobox") return ControlClass::kComboBox;
    return ControlClass::kOther;
}

const char* ClassName(ControlClass c)
{
    switch (c) {
    case ControlClass::kButton: return "Button";
    case ControlClass::kEdit: return "Edit";
    case ControlClass::kStatic: return "Static";
    case ControlClass::kListBox: return "ListBox";
    case ControlClass::kScrollBar: return "ScrollBar";
    case ControlClass::kComboBox: return "ComboBox";
    case ControlClass::kOther: return "(other)";
    }
    return "";
}

}  // namespace kvpe
