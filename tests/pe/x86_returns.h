// Finds the return instructions that a function of an i686 image can reach,
// following its jumps through the disassembly that objdump gives. Used to check
// the stack clean-up of stdcall functions ("ret $n").
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kvpe {

class PeFile;
struct ImportedDll;

struct Instruction {
    uint64_t address = 0;
    uint64_t next = 0;  // address of the following instruction; 0 at a section's end
    std::string mnemonic;
    std::string operands;
};

class Disassembly {
public:
    // Runs `objdump -d` on file and keeps its instructions and symbol labels.
    bool Load(const std::string& objdump, const std::string& file, std::string* error);

    const Instruction* At(uint64_t address) const;
    bool IsLabel(uint64_t address) const { return labels_.count(address) != 0; }
    std::string LabelAt(uint64_t address) const;
    size_t size() const { return instructions_.size(); }

private:
    std::map<uint64_t, Instruction> instructions_;
    std::map<uint64_t, std::string> labels_;
};

struct ReturnSite {
    uint64_t address = 0;
    uint32_t popBytes = 0;  // the n of "ret $n"; 0 for a plain ret
};

// A jump through an import's address slot: the imported function returns on
// the caller's behalf.
struct ImportTailCall {
    uint64_t address = 0;
    std::string function;  // "kernel32.dll!GetTickCount"
};

struct ReturnScan {
    std::vector<ReturnSite> returns;
    std::vector<ImportTailCall> importTailCalls;
    std::vector<uint64_t> indirectJumps;  // other indirect jumps: targets unknown, not followed
    std::vector<std::string> problems;    // anything that makes the scan incomplete
};

// Address of each import slot -> "dll!function", for naming import tail calls.
using ImportSlots = std::map<uint64_t, std::string>;
ImportSlots ImportSlotsOf(const PeFile& image, const std::vector<ImportedDll>& imports);

// Walks every path from entry. A path ends at a return, at an instruction that
// never continues (ud2, hlt, int3), at an indirect jump, or where straight-line
// code would run into another function (a label or one of barriers), which
// happens only after a call that does not return.
ReturnScan ScanReturns(const Disassembly& code, uint64_t entry, const std::set<uint64_t>& barriers,
                       const ImportSlots& imports);

// Checks that every way out of a scanned function pops argBytes: each return
// is "ret $argBytes" (or a plain ret for 0), encoded as such in image (at
// rva = address - imageBase), and each import tail call goes to a Windows
// function known to pop the same. Adds a message per fault to failures.
void CheckStdcallExits(const ReturnScan& scan, const PeFile& image, uint32_t argBytes,
                       std::vector<std::string>* failures);

}  // namespace kvpe
