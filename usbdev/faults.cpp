#include "faults.h"

#include <cstdlib>
#include <sstream>

namespace usbdev {
namespace {

bool parseNumber(const std::string& text, int base, long max, long* out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    if (*end != '\0' || v < 0 || v > max)
        return false;
    *out = v;
    return true;
}

bool parseSense(const std::string& text, Sense* out)
{
    long k = 0, a = 0, q = 0;
    const size_t s1 = text.find('/');
    const size_t s2 = s1 == std::string::npos ? s1 : text.find('/', s1 + 1);
    if (s2 == std::string::npos)
        return false;
    if (!parseNumber(text.substr(0, s1), 16, 0x0F, &k) ||
        !parseNumber(text.substr(s1 + 1, s2 - s1 - 1), 16, 0xFF, &a) ||
        !parseNumber(text.substr(s2 + 1), 16, 0xFF, &q))
        return false;
    *out = Sense{uint8_t(k), uint8_t(a), uint8_t(q)};
    return true;
}

}  // namespace

bool Fault::matches(const uint8_t* cdb, bool vendor) const
{
    if (!vendor)
        return anyCommand && op < 0 && sub < 0;
    if (op >= 0 && cdb[3] != op)
        return false;
    if (sub >= 0 && cdb[4] != sub)
        return false;
    return true;
}

bool parseFault(const std::string& line, Fault* out, std::string* error)
{
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind)) {
        *error = "empty fault";
        return false;
    }
    Fault f;
    if (kind == "check-condition")
        f.kind = FaultKind::CheckCondition;
    else if (kind == "unit-attention") {
        f.kind = FaultKind::UnitAttention;
        f.sense = kPowerOnReset;
    } else if (kind == "stall")
        f.kind = FaultKind::Stall;
    else if (kind == "delay")
        f.kind = FaultKind::Delay;
    else if (kind == "unplug-after")
        f.kind = FaultKind::UnplugAfter;
    else {
        *error = "unknown fault: " + kind;
        return false;
    }
    std::string word;
    while (words >> word) {
        const size_t eq = word.find('=');
        const std::string key = word.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : word.substr(eq + 1);
        long v = 0;
        bool ok = true;
        if (word == "any")
            f.anyCommand = true;
        else if (key == "op" && (ok = parseNumber(value, 16, 0xFF, &v)))
            f.op = int(v);
        else if (key == "sub" && (ok = parseNumber(value, 16, 0xFF, &v)))
            f.sub = int(v);
        else if (key == "count" && (ok = parseNumber(value, 10, 1000000, &v) && v > 0))
            f.count = int(v);
        else if (key == "ms" && (ok = parseNumber(value, 10, 600000, &v)))
            f.delayMs = uint32_t(v);
        else if (key == "sense" && f.kind == FaultKind::CheckCondition)
            ok = parseSense(value, &f.sense);
        else
            ok = false;
        if (!ok) {
            *error = "bad word in fault: " + word;
            return false;
        }
    }
    *out = f;
    return true;
}

}  // namespace usbdev
