#include "sim_log.h"

#include "text.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace e2e {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string fromHex(const std::string& text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) break;
        out += char(hi * 16 + lo);
    }
    return out;
}

std::string field(const std::string& line, const std::string& name) {
    const std::string key = " " + name + "=";
    const size_t at = line.find(key);
    if (at == std::string::npos) return {};
    const size_t start = at + key.size();
    return line.substr(start, line.find(' ', start) - start);
}

SimCall parse(const std::string& line) {
    SimCall call;
    call.line = line;
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon < 2) return call;
    const std::string verb = line.substr(0, colon - 2);
    call.letter = line[colon - 1];
    if (verb == "create") {
        call.kind = SimCall::Kind::Create;
        call.succeeded = line.compare(colon + 1, 3, " ok") == 0;
    } else if (verb == "ioctl") {
        call.kind = SimCall::Kind::Ioctl;
        call.cdb = fromHex(field(line, "cdb"));
        call.succeeded = field(line, "result") == "1";
        const std::string status = field(line, "scsi"), got = field(line, "got");
        if (!status.empty()) call.scsiStatus = int(std::strtol(status.c_str(), nullptr, 16));
        if (!got.empty()) call.delivered = int(std::strtol(got.c_str(), nullptr, 10));
    } else if (verb == "close") {
        call.kind = SimCall::Kind::Close;
        call.succeeded = field(line, "result") == "1";
    }
    return call;
}

}  // namespace

bool SimLog::read(const std::wstring& path) {
    m_calls.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(file);
    std::istringstream lines(content);
    std::string line;
    // A line still being written has no newline yet; it is left for the next read.
    const bool lastComplete = !content.empty() && content.back() == '\n';
    size_t total = 0;
    for (char c : content) total += c == '\n';
    for (size_t n = 0; std::getline(lines, line); ++n) {
        if (n == total && !lastComplete) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        m_calls.push_back(parse(line));
    }
    return true;
}

size_t SimLog::ioctlCount() const {
    size_t n = 0;
    for (const auto& call : m_calls) n += call.kind == SimCall::Kind::Ioctl;
    return n;
}

std::vector<ManagementCommand> SimLog::management(size_t from) const {
    std::vector<ManagementCommand> out;
    for (size_t i = from; i < m_calls.size(); ++i) {
        const SimCall& call = m_calls[i];
        if (call.kind != SimCall::Kind::Ioctl || call.cdb.size() < 16) continue;
        if (static_cast<unsigned char>(call.cdb[3]) != 0xFE) continue;
        ManagementCommand command;
        command.subOperation = static_cast<unsigned char>(call.cdb[4]);
        command.arguments = call.cdb.substr(5, 7);
        command.completed = call.succeeded;
        command.scsiStatus = call.scsiStatus;
        command.delivered = call.delivered;
        out.push_back(command);
    }
    return out;
}

std::string SimLog::openHandles() const {
    std::string open;
    for (const auto& call : m_calls) {
        if (call.kind == SimCall::Kind::Create && call.succeeded) {
            open += call.letter;
        } else if (call.kind == SimCall::Kind::Close && call.succeeded) {
            const size_t at = open.find(call.letter);
            if (at != std::string::npos) open.erase(at, 1);
        }
    }
    return open;
}

std::string describe(const std::vector<ManagementCommand>& commands) {
    std::string out;
    for (const auto& command : commands) {
        char head[16];
        std::snprintf(head, sizeof head, "%02X:", command.subOperation);
        out += head + hex(command.arguments) + (command.completed ? "" : "(failed)") + " ";
    }
    return out.empty() ? std::string("(none)") : out;
}

}  // namespace e2e
