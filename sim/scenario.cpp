#include "scenario.h"

#include "../devcmd/VendorCdb.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

}  // namespace

bool applyScenario(StorageStack& stack, const std::string& scenario, std::string* error)
{
    char letter = 'G';
    int variant = 1;
    std::string password = "000000";
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
        } else if (key == "recorder" && value.size() == 1 && value[0] >= 'A' && value[0] <= 'Z') {
            letter = value[0];
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
    if (!none) {
        Recorder& r = stack.attachRecorder(letter, variant);
        std::memcpy(r.password.data(), password.data(), 6);
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
