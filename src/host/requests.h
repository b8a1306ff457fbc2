// The request handlers of the host boundary and the process-wide closing flag.
#pragma once

#include <atomic>

#include "kesmzn.h"

namespace kesmzn::host {

// Every request handler has this shape: the host's request record in, the result code out.
using RequestHandler = int (*)(RequestBlock* request);

// Set by ShutDown; from then on every request returns 0 at once. Nothing clears it while the
// library stays loaded.
extern std::atomic<int> ClosingFlag;

int DriverInfo(RequestBlock* request);
int UnsupportedIo(RequestBlock* request);

int ColdStart(RequestBlock* request);
int FlushPort(RequestBlock* request);
int ShutDown(RequestBlock* request);
int ClosePort(RequestBlock* request);
int ReopenPort(RequestBlock* request);
int ChangePort(RequestBlock* request);

}  // namespace kesmzn::host
