#include "trace.h"

#include "VendorCdb.h"
#include "report.h"

#include <cstdio>

namespace kvcli {
namespace {

std::string hex(const uint8_t* p, size_t n, bool spaced)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        if (spaced && i > 0)
            s += ' ';
        s += b;
    }
    return s;
}

bool carriesPassword(const uint8_t* cdb, uint8_t length)
{
    return length >= 11 && cdb[0] == vendor::kSignature[0] && cdb[1] == vendor::kSignature[1] &&
           cdb[2] == vendor::kSignature[2] && cdb[3] == vendor::kOpManagement &&
           (cdb[4] == vendor::kSubLogin || cdb[4] == vendor::kSubSetPassword);
}

}  // namespace

std::string formatTrace(const TransferTrace& t)
{
    std::string cdb;
    if (t.cdb != nullptr) {
        const bool masked = carriesPassword(t.cdb, t.cdbLength);
        for (uint8_t i = 0; i < t.cdbLength; ++i)
            cdb += masked && i >= 5 && i <= 10 ? std::string("**") : hex(t.cdb + i, 1, false);
    }
    char head[64];
    std::snprintf(head, sizeof head, " %s %u", t.dataIn ? "in" : "out", static_cast<unsigned>(t.length));
    std::string line = "cdb " + cdb + head + " -> ";
    if (!t.systemCallOk) {
        line += "system call failed, error " + std::to_string(t.osError);
    } else {
        char b[64];
        std::snprintf(b, sizeof b, "status %02x", t.scsiStatus);
        line += b;
        line += " sense " + (t.senseLength > 0 && t.sense ? hex(t.sense, t.senseLength, true) : std::string("-"));
        if (t.dataIn)
            line += " delivered " + std::to_string(t.delivered);
        line += t.succeeded ? " ok" : " failed";
    }
    if (t.retried)
        line += " (resent after UNIT ATTENTION)";
    return line;
}

void traceRequest(void* context, const TransferTrace& trace)
{
    TraceTarget* target = static_cast<TraceTarget*>(context);
    target->env->err(locationPrefix(target->where) + formatTrace(trace) + "\n");
}

}  // namespace kvcli
