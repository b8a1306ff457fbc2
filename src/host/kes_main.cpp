#include <cstddef>
#include <cstdint>

#include "host/instance.h"
#include "host/requests.h"
#include "kesmzn.h"
#include "tags/address.h"
#include "tags/tag_io.h"

namespace kesmzn::host {

std::atomic<int> ClosingFlag{0};

namespace {

struct RequestEntry {
    RequestHandler handler;  // null: the code is not available
    bool needsInstance;      // the handler works on the instance block
    bool takesLock;          // held for the whole request
};

// Indexed by request code. The port requests take the instance lock as well as the input/output
// requests: on Linux a descriptor closed under a running listener pass could be handed to the next
// open of an unrelated file, and the pass would then read or write that file.
constexpr RequestEntry kRequestTable[] = {
    /*  0 */ {nullptr, false, false},
    /*  1 */ {ColdStart, true, false},
    /*  2 */ {FlushPort, true, true},
    /*  3 */ {tags::CheckAddress, false, false},
    /*  4 */ {tags::CheckBlockAddress, false, false},
    /*  5 */ {tags::SingleRead, true, true},
    /*  6 */ {tags::BlockRead, true, true},
    /*  7 */ {tags::SingleWrite, true, true},
    /*  8 */ {nullptr, false, false},
    /*  9 */ {nullptr, false, false},
    /* 10 */ {UnsupportedIo, true, true},
    /* 11 */ {ShutDown, true, true},
    /* 12 */ {ClosePort, true, true},
    /* 13 */ {ReopenPort, true, true},
    /* 14 */ {DriverInfo, false, false},
    /* 15 */ {ChangePort, true, true},
    /* 16 */ {nullptr, false, false},
};

constexpr std::size_t kRequestCount = sizeof(kRequestTable) / sizeof(kRequestTable[0]);
static_assert(kRequestCount == 17, "codes 1 to 16");

}  // namespace

int UnsupportedIo(RequestBlock*) { return KES_FAILED; }

}  // namespace kesmzn::host

extern "C" KESMZN_EXPORT int KESMZN_CALL KesMain(RequestBlock* request) {
    using namespace kesmzn::host;
    if (ClosingFlag.load(std::memory_order_acquire) == 1) return KES_OK;
    if (request == nullptr || request->code >= kRequestCount) return KES_NOT_AVAILABLE;
    const RequestEntry& entry = kRequestTable[request->code];
    if (entry.handler == nullptr) return KES_NOT_AVAILABLE;
    // A host that has not allocated the block gets a refusal, not a crash inside its process.
    if (entry.needsInstance && request->instance == nullptr) return KES_NOT_AVAILABLE;

    if (!entry.takesLock) return entry.handler(request);
    InstanceData& instance = InstanceOf(*request);
    EnterLock(instance.lock);
    const int result = entry.handler(request);
    LeaveLock(instance.lock);
    return result;
}
