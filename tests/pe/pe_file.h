// Reader for PE images (programs and DLLs, 32 and 64 bits): headers, sections,
// imports and exports. Every read is checked against the file's bounds; a
// malformed image gives false and a message instead of undefined behaviour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_view.h"

namespace kvpe {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kSubsystemGui = 2;
constexpr uint16_t kSubsystemConsole = 3;

enum DataDirectoryIndex : unsigned {
    kDirExport = 0,
    kDirImport = 1,
    kDirResource = 2,
    kDirDelayImport = 13,
};

// A major.minor pair of the optional header.
struct HeaderVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    std::string Text() const { return std::to_string(major) + "." + std::to_string(minor); }
};

struct Section {
    std::string name;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
    uint32_t characteristics = 0;
};

struct DataDirectory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

struct ImportedDll {
    std::string name;
    bool delayLoaded = false;
    std::vector<std::string> functions;  // by name, or "#<ordinal>"
    std::vector<uint32_t> slots;         // RVA of each function's address slot
};

struct ExportedFunction {
    uint32_t ordinal = 0;
    uint32_t rva = 0;  // 0: unused slot of the address table
    bool forwarded = false;
};

struct ExportName {
    std::string name;
    uint32_t ordinal = 0;
};

struct ExportTable {
    bool present = false;
    std::string dllName;
    uint32_t ordinalBase = 0;
    std::vector<ExportedFunction> functions;  // address table, in ordinal order
    std::vector<ExportName> names;            // name table, in its stored order
};

class PeFile {
public:
    // Reads the whole file and parses its headers.
    bool Load(const std::string& path, std::string* error);
    bool Parse(std::vector<uint8_t> bytes, std::string* error);

    uint16_t machine() const { return machine_; }
    bool is64() const { return is64_; }
    uint16_t subsystem() const { return subsystem_; }
    // The oldest Windows the image says it runs on, twice: as operating system
    // and as subsystem version (the loader refuses an image whose subsystem
    // version is newer than the running Windows).
    HeaderVersion osVersion() const { return osVersion_; }
    HeaderVersion subsystemVersion() const { return subsystemVersion_; }
    uint16_t characteristics() const { return characteristics_; }
    uint64_t imageBase() const { return imageBase_; }
    const std::vector<Section>& sections() const { return sections_; }
    DataDirectory directory(unsigned index) const;

    // The section that holds rva, or nullptr.
    const Section* SectionOf(uint32_t rva) const;
    // size bytes of file data at rva; an empty view when they are not all in one
    // section's raw data.
    ByteView At(uint32_t rva, uint32_t size) const;
    // From rva to the end of its section's raw data.
    ByteView FromRva(uint32_t rva) const;
    bool CString(uint32_t rva, std::string* out) const;

    bool Imports(std::vector<ImportedDll>* out, std::string* error) const;
    bool Exports(ExportTable* out, std::string* error) const;

private:
    std::vector<uint8_t> bytes_;
    uint16_t machine_ = 0;
    bool is64_ = false;
    uint16_t subsystem_ = 0;
    HeaderVersion osVersion_;
    HeaderVersion subsystemVersion_;
    uint16_t characteristics_ = 0;
    uint64_t imageBase_ = 0;
    std::vector<Section> sections_;
    std::vector<DataDirectory> directories_;
};

}  // namespace kvpe
