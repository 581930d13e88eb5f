// Request builders shared by discovery and the transport (internal).
#pragma once

#include "PassThrough.h"

// Clears the record and fills it as the standard INQUIRY of discovery:
// command length 6, 36 bytes data-in, time-out 2 seconds.
void fillInquiryRequest(PassThroughRequest& request);
