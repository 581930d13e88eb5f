// --verbose: every request's command block, and its SCSI status and sense, on
// standard error, through the device object's observer.
#pragma once

#include "TransferRecord.h"
#include "environment.h"

#include <string>

namespace kvcli {

struct TraceTarget {
    Environment* env = nullptr;
    std::string where;
};

// The line for one request. The password bytes of log-in and set-password
// blocks are shown as "**": standard error often ends up in logs.
std::string formatTrace(const TransferTrace& trace);

// The observer function; context is a TraceTarget.
void traceRequest(void* context, const TransferTrace& trace);

}  // namespace kvcli
