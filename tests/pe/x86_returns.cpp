#include "x86_returns.h"

#include "pe_file.h"

#include <cctype>
#include <cstdio>
#include <sstream>
#include <vector>

namespace kvpe {

namespace {

constexpr size_t kMaxVisited = 100000;

std::string Trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool ParseHex(const std::string& s, uint64_t* out)
{
    if (s.empty()) return false;
    uint64_t v = 0;
    for (char c : s) {
        int d = 0;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * 16 + static_cast<uint64_t>(d);
    }
    *out = v;
    return true;
}

// Drops prefixes such as "repz" or "bnd" that objdump prints before the mnemonic.
void SplitInstruction(const std::string& text, std::string* mnemonic, std::string* operands)
{
    std::istringstream in(text);
    std::string word;
    std::vector<std::string> words;
    while (in >> word) words.push_back(word);
    size_t i = 0;
    while (i + 1 < words.size() &&
           (words[i] == "repz" || words[i] == "rep" || words[i] == "repnz" || words[i] == "bnd" ||
            words[i] == "notrack" || words[i] == "data16" || words[i] == "lock")) {
        ++i;
    }
    *mnemonic = i < words.size() ? words[i] : "";
    std::string rest;
    for (size_t j = i + 1; j < words.size(); ++j) {
        if (!rest.empty()) rest += ' ';
        rest += words[j];
    }
    const size_t comment = rest.find('#');
    *operands = Trim(comment == std::string::npos ? rest : rest.substr(0, comment));
}

bool IsReturn(const std::string& m)
{
    return m == "ret" || m == "retl" || m == "retq" || m == "retw" || m == "retn";
}

bool IsJump(const std::string& m)
{
    return m == "jmp" || m == "jmpl" || m == "jmpq" || m == "jmpw";
}

bool IsConditionalJump(const std::string& m)
{
    return (m.size() > 1 && m[0] == 'j' && !IsJump(m)) || m.rfind("loop", 0) == 0;
}

bool NeverContinues(const std::string& m)
{
    return m == "ud2" || m == "hlt" || m == "int3";
}

}  // namespace

bool Disassembly::Load(const std::string& objdump, const std::string& file, std::string* error)
{
    instructions_.clear();
    labels_.clear();
    const std::string command = "'" + objdump + "' -d -w --no-show-raw-insn '" + file + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *error = "cannot run " + objdump;
        return false;
    }
    std::string all;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) all.append(buffer, got);
    const int status = pclose(pipe);
    if (status != 0) {
        *error = objdump + " failed on " + file + ": " + all.substr(0, 400);
        return false;
    }

    std::istringstream lines(all);
    std::string line;
    Instruction* previous = nullptr;
    while (std::getline(lines, line)) {
        if (line.empty()) {
            continue;
        }
        if (line.rfind("Disassembly of section", 0) == 0) {
            previous = nullptr;  // no fall-through across sections
            continue;
        }
        // "00401000 <_name@4>:"
        const size_t angle = line.find(" <");
        if (line[0] != ' ' && angle != std::string::npos && line.back() == ':') {
            uint64_t address = 0;
            if (ParseHex(line.substr(0, angle), &address)) {
                labels_[address] = line.substr(angle + 2, line.size() - angle - 4);
            }
            continue;
        }
        // "  401000:\tret    $0x4"
        const size_t colon = line.find(':');
        if (colon == std::string::npos || line.find('\t') == std::string::npos) continue;
        uint64_t address = 0;
        if (!ParseHex(Trim(line.substr(0, colon)), &address)) continue;
        Instruction ins;
        ins.address = address;
        SplitInstruction(line.substr(colon + 1), &ins.mnemonic, &ins.operands);
        if (ins.mnemonic.empty()) continue;
        if (previous != nullptr) previous->next = address;
        previous = &(instructions_[address] = ins);
    }
    if (instructions_.empty()) {
        *error = objdump + " printed no instructions for " + file;
        return false;
    }
    return true;
}

const Instruction* Disassembly::At(uint64_t address) const
{
    auto it = instructions_.find(address);
    return it == instructions_.end() ? nullptr : &it->second;
}

std::string Disassembly::LabelAt(uint64_t address) const
{
    auto it = labels_.find(address);
    return it == labels_.end() ? "" : it->second;
}

ReturnScan ScanReturns(const Disassembly& code, uint64_t entry, const std::set<uint64_t>& barriers,
                       const ImportSlots& imports)
{
    ReturnScan scan;
    std::set<uint64_t> visited;
    std::vector<uint64_t> pending{entry};
    auto hex = [](uint64_t v) {
        std::ostringstream s;
        s << "0x" << std::hex << v;
        return s.str();
    };
    while (!pending.empty()) {
        uint64_t at = pending.back();
        pending.pop_back();
        // Straight-line walk of one path.
        for (bool first = true;; first = false) {
            if (!first && (code.IsLabel(at) || barriers.count(at) != 0)) break;
            if (!visited.insert(at).second) break;
            if (visited.size() > kMaxVisited) {
                scan.problems.push_back("too many instructions reachable from " + hex(entry));
                return scan;
            }
            const Instruction* ins = code.At(at);
            if (ins == nullptr) {
                scan.problems.push_back("no instruction at " + hex(at));
                break;
            }
            const std::string& m = ins->mnemonic;
            if (IsReturn(m)) {
                ReturnSite site;
                site.address = at;
                uint64_t n = 0;
                if (!ins->operands.empty()) {
                    if (ins->operands.rfind("$0x", 0) != 0 || !ParseHex(ins->operands.substr(3), &n)) {
                        scan.problems.push_back("unreadable return at " + hex(at) + ": " + ins->operands);
                        break;
                    }
                }
                site.popBytes = static_cast<uint32_t>(n);
                scan.returns.push_back(site);
                break;
            }
            if (m == "(bad)" || m == "lret" || m == "iret" || m == "iretl") {
                scan.problems.push_back("unexpected " + m + " at " + hex(at));
                break;
            }
            if (NeverContinues(m)) break;
            if (IsJump(m) || IsConditionalJump(m)) {
                if (!ins->operands.empty() && ins->operands[0] == '*') {
                    uint64_t slot = 0;
                    const bool absolute = ins->operands.rfind("*0x", 0) == 0 && ParseHex(ins->operands.substr(3), &slot);
                    auto import = absolute ? imports.find(slot) : imports.end();
                    if (IsJump(m) && import != imports.end()) {
                        scan.importTailCalls.push_back({at, import->second});
                    } else {
                        scan.indirectJumps.push_back(at);
                    }
                    if (IsJump(m)) break;
                } else {
                    uint64_t target = 0;
                    const std::string operand = ins->operands.substr(0, ins->operands.find(' '));
                    if (!ParseHex(operand, &target)) {
                        scan.problems.push_back("unreadable jump at " + hex(at) + ": " + ins->operands);
                        break;
                    }
                    pending.push_back(target);
                    if (IsJump(m)) break;
                }
            }
            if (ins->next == 0) {
                scan.problems.push_back("code runs off its section at " + hex(at));
                break;
            }
            at = ins->next;
        }
    }
    return scan;
}

}  // namespace kvpe

namespace kvpe {

namespace {

// Bytes of arguments that Windows functions a stdcall export may tail-call pop.
struct KnownImport {
    const char* name;
    uint32_t argBytes;
};
const KnownImport kKnownImports[] = {
    {"kernel32.dll!CloseHandle", 4},      {"kernel32.dll!CreateFileA", 28}, {"kernel32.dll!DeviceIoControl", 32},
    {"kernel32.dll!GetCurrentProcessId", 0}, {"kernel32.dll!GetLastError", 0}, {"kernel32.dll!GetTickCount", 0},
    {"kernel32.dll!SetLastError", 4},
};

std::string HexOf(uint64_t v)
{
    std::ostringstream s;
    s << "0x" << std::hex << v;
    return s.str();
}

}  // namespace

ImportSlots ImportSlotsOf(const PeFile& image, const std::vector<ImportedDll>& imports)
{
    ImportSlots slots;
    for (const ImportedDll& dll : imports) {
        std::string name;
        for (char c : dll.name) name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        for (size_t i = 0; i < dll.slots.size() && i < dll.functions.size(); ++i) {
            slots[image.imageBase() + dll.slots[i]] = name + "!" + dll.functions[i];
        }
    }
    return slots;
}

void CheckStdcallExits(const ReturnScan& scan, const PeFile& image, uint32_t argBytes,
                       std::vector<std::string>* failures)
{
    for (const std::string& problem : scan.problems) failures->push_back(problem);
    if (scan.returns.empty() && scan.importTailCalls.empty()) {
        failures->push_back("no way out of the function was found");
    }
    for (const ReturnSite& ret : scan.returns) {
        const std::string where = "return at " + HexOf(ret.address);
        if (ret.popBytes != argBytes) {
            failures->push_back(where + " pops " + std::to_string(ret.popBytes) + " bytes");
            continue;
        }
        const ByteView bytes = image.At(static_cast<uint32_t>(ret.address - image.imageBase()), 3);
        const uint8_t* b = bytes.data();
        const bool encoded = bytes.size() == 3 &&
                             (argBytes == 0 ? (b[0] == 0xC3 || (b[0] == 0xF3 && b[1] == 0xC3))
                                            : (b[0] == 0xC2 && (b[1] | (b[2] << 8)) == static_cast<int>(argBytes)));
        if (!encoded) failures->push_back(where + " is not encoded as the ret it was read as");
    }
    for (const ImportTailCall& call : scan.importTailCalls) {
        const KnownImport* known = nullptr;
        for (const KnownImport& k : kKnownImports) {
            if (call.function.size() == std::string(k.name).size()) {
                bool same = true;
                for (size_t i = 0; i < call.function.size(); ++i) {
                    same = same && std::tolower(static_cast<unsigned char>(call.function[i])) ==
                                       std::tolower(static_cast<unsigned char>(k.name[i]));
                }
                if (same) known = &k;
            }
        }
        const std::string where = "tail call to " + call.function + " at " + HexOf(call.address);
        if (known == nullptr) {
            failures->push_back(where + ": its stack clean-up is not known here");
        } else if (known->argBytes != argBytes) {
            failures->push_back(where + " pops " + std::to_string(known->argBytes) + " bytes");
        }
    }
}

}  // namespace kvpe
