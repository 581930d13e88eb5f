#include "scenario.h"

#include "../devcmd/VendorCdb.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sim {
namespace {

bool parseInt(const std::string& text, int base, int* out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    if (*end != '\0' || v < 0 || v > 0xFFFFFF)
        return false;
    *out = static_cast<int>(v);
    return true;
}

void appendHex(std::string& s, const uint8_t* p, size_t n)
{
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
}

// Which commands a fault applies to: "any", "inquiry", "probe", or two hex
// digits naming a management sub-operation.
bool parseSelector(const std::string& text, CommandSelector* out)
{
    int sub = 0;
    if (text == "any")
        *out = CommandSelector::any();
    else if (text == "inquiry")
        *out = CommandSelector::inquiry();
    else if (text == "probe")
        *out = CommandSelector::vendorOperation(vendor::kOpProbe);
    else if (text.size() == 2 && parseInt(text, 16, &sub))
        *out = CommandSelector::management(static_cast<uint8_t>(sub));
    else
        return false;
    return true;
}

// short=SEL or short=SEL:N (N bytes delivered, decimal; 0 when left out).
bool parseShort(const std::string& value, CommandSelector* which, int* bytes)
{
    const size_t colon = value.find(':');
    *bytes = 0;
    if (colon != std::string::npos && !parseInt(value.substr(colon + 1), 10, bytes))
        return false;
    return parseSelector(value.substr(0, colon), which);
}

bool parseOffset(const std::string& text, long long* out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < -86400000LL * 366 * 100 || v > 86400000LL * 366 * 100)
        return false;
    *out = v;
    return true;
}

// One recorder a scenario names; unset fields take the scenario's defaults.
struct NamedRecorder {
    char letter = 'G';
    int variant = 0;
    std::string password;
    bool hasOffset = false;
    long long offsetMs = 0;
};

// recorder=L[:VARIANT[:PASSWORD[:OFFSET_MS]]]
bool parseRecorder(const std::string& value, NamedRecorder* out)
{
    std::string fields[4];
    size_t n = 0, start = 0;
    while (n < 4) {
        const size_t colon = value.find(':', start);
        fields[n++] = value.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (colon == std::string::npos)
            break;
        start = colon + 1;
        if (n == 4)
            return false;  // a fifth field
    }
    if (fields[0].size() != 1 || fields[0][0] < 'A' || fields[0][0] > 'Z')
        return false;
    out->letter = fields[0][0];
    int v = 0;
    if (!fields[1].empty()) {
        if (!parseInt(fields[1], 10, &v) || (v != 1 && v != 2))
            return false;
        out->variant = v;
    }
    if (!fields[2].empty()) {
        if (fields[2].size() != 6)
            return false;
        out->password = fields[2];
    }
    if (!fields[3].empty()) {
        if (!parseOffset(fields[3], &out->offsetMs))
            return false;
        out->hasOffset = true;
    }
    return true;
}

}  // namespace

bool applyScenario(StorageStack& stack, const std::string& scenario, std::string* error)
{
    int variant = 1;
    std::string password = "000000";
    long long clockMs = 0;
    std::vector<uint8_t> policeNumber;
    std::vector<NamedRecorder> recorders;
    bool none = false;
    stack.attachDisk('C');
    stack.attachDisk('D');

    size_t start = 0;
    while (start <= scenario.size()) {
        size_t comma = scenario.find(',', start);
        if (comma == std::string::npos)
            comma = scenario.size();
        const std::string token = scenario.substr(start, comma - start);
        start = comma + 1;
        if (token.empty())
            continue;
        const size_t eq = token.find('=');
        const std::string key = token.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : token.substr(eq + 1);
        int n = 0;
        CommandSelector which;
        if (token == "none") {
            none = true;
        } else if (key == "recorder") {
            NamedRecorder r;
            if (!parseRecorder(value, &r)) {
                *error = "bad recorder token (recorder=L[:VARIANT[:PASSWORD[:OFFSET_MS]]]): " + token;
                return false;
            }
            recorders.push_back(r);
        } else if (key == "clock" && parseOffset(value, &clockMs)) {
        } else if (key == "police-number" && value.size() <= 26 && value.size() % 2 == 0 &&
                   value.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
            policeNumber.assign(13, 0);
            for (size_t i = 0; i < value.size(); i += 2)
                policeNumber[i / 2] = static_cast<uint8_t>(std::strtol(value.substr(i, 2).c_str(), nullptr, 16));
        } else if (key == "variant" && parseInt(value, 10, &n) && (n == 1 || n == 2)) {
            variant = n;
        } else if (key == "password" && value.size() == 6) {
            password = value;
        } else if (token == "pull-after-discovery") {
            stack.pullOutAfterDiscovery(true);
        } else if (key == "fail-ioctl" && parseInt(value, 10, &n) && n > 0) {
            stack.failIoctl(n);
        } else if (key == "fail-ioctls-from" && parseInt(value, 10, &n) && n > 0) {
            stack.failIoctlsFrom(n);
        } else if (key == "check" && parseSelector(value, &which)) {
            stack.answerCheckCondition(which, kIllegalRequest);
        } else if (key == "unit-attention" && parseSelector(value, &which)) {
            stack.answerCheckCondition(which, kUnitAttention, 1);
        } else if (key == "unit-attention-always" && parseSelector(value, &which)) {
            stack.answerCheckCondition(which, kUnitAttention);
        } else if (key == "short" && parseShort(value, &which, &n)) {
            stack.answerShort(which, static_cast<uint32_t>(n));
        } else if (token == "sense=descriptor") {
            stack.useDescriptorSense(true);
        } else if (key == "status" && value.size() == 5 && value[2] == ':') {
            int sub = 0, status = 0;
            if (!parseInt(value.substr(0, 2), 16, &sub) || !parseInt(value.substr(3), 16, &status)) {
                *error = "bad status token: " + token;
                return false;
            }
            stack.scriptStatus(static_cast<uint8_t>(sub), static_cast<uint8_t>(status));
        } else {
            *error = "unknown scenario token: " + token;
            return false;
        }
    }
    if (none)
        return true;
    if (recorders.empty())
        recorders.push_back(NamedRecorder());
    for (const NamedRecorder& named : recorders) {
        Recorder& r = stack.attachRecorder(named.letter, named.variant ? named.variant : variant);
        const std::string& p = named.password.empty() ? password : named.password;
        std::memcpy(r.password.data(), p.data(), 6);
        r.setClockOffsetMicros((named.hasOffset ? named.offsetMs : clockMs) * 1000);
        if (!policeNumber.empty())
            std::memcpy(r.policeNumber.data(), policeNumber.data(), 13);
    }
    return true;
}

std::string formatCall(const Call& call)
{
    std::string s;
    char buf[160];
    const char letter = call.letter ? call.letter : '?';
    switch (call.kind) {
    case Call::Kind::CreateFile:
        s = "create " + (call.path.size() > 4 ? call.path.substr(4) : call.path) +
            (call.result ? " ok" : " fail");
        break;
    case Call::Kind::DeviceIoControl: {
        const DecodedRequest& q = call.request;
        std::snprintf(buf, sizeof buf, "ioctl %c: code=%08x in=%u out=%u dir=%s len=%u timeout=%u cdb=",
                      letter, static_cast<unsigned>(call.code), static_cast<unsigned>(call.inSize),
                      static_cast<unsigned>(call.outSize), q.dataIn == 1 ? "in" : "out",
                      static_cast<unsigned>(q.dataTransferLength), static_cast<unsigned>(q.timeOutValue));
        s = buf;
        appendHex(s, q.cdb.data(), q.cdb.size());
        if (!call.dataOut.empty()) {
            s += " data=";
            appendHex(s, call.dataOut.data(), call.dataOut.size());
        }
        s += call.result ? " result=1" : " result=0";
        // What a carried-out request came back with.
        if (call.result || !call.replySense.empty() || call.replyLength > 0) {
            std::snprintf(buf, sizeof buf, " scsi=%02x got=%u", call.replyStatus,
                          static_cast<unsigned>(call.replyLength));
            s += buf;
            if (!call.replySense.empty()) {
                s += " sense=";
                appendHex(s, call.replySense.data(), call.replySense.size());
            }
        }
        break;
    }
    case Call::Kind::CloseHandle:
        std::snprintf(buf, sizeof buf, "close %c: result=%u", letter, static_cast<unsigned>(call.result));
        s = buf;
        break;
    case Call::Kind::GetLastError:
        std::snprintf(buf, sizeof buf, "lasterror %u", static_cast<unsigned>(call.result));
        s = buf;
        break;
    }
    return s;
}

}  // namespace sim
