#include "tags/tag_io.h"

#include "host/instance.h"
#include "protocol/block_query.h"
#include "protocol/exchange.h"
#include "tags/address.h"
#include "zubpro.h"

namespace kesmzn::tags {

namespace {

const char* TagName(const TagIoData& tag) { return tag.name != nullptr ? tag.name : ""; }

}  // namespace

int SingleRead(RequestBlock* request) {
    auto* tag = static_cast<TagIoData*>(request->data);
    if (tag == nullptr || tag->values == nullptr) return KES_FAILED;
    host::InstanceData& instance = host::InstanceOf(*request);

    int rc = KES_FAILED;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (tag->kind == kModeOfTag || tag->kind == kNumberedMode) {
            rc = protocol::GetMode(instance, tag->number, &tag->values[1]);
        } else if (tag->kind == kZone) {
            rc = protocol::GetPoint(instance, tag->number, &tag->values[1]);
        }
        if (rc == 0) return KES_OK;
    }
    err(32, "KesMZN: SingleRead() failed. Tag '%s'. rc = %d", TagName(*tag), rc);
    return rc;
}

int BlockRead(RequestBlock* request) {
    auto* tag = static_cast<TagIoData*>(request->data);
    if (tag == nullptr || tag->values == nullptr) return KES_FAILED;
    if (tag->kind == kModeOfTag || tag->kind == kNumberedMode) return KES_FAILED;

    int rc = KES_FAILED;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        rc = protocol::GetBlock(request, tag->values);
        if (rc == 0) return KES_OK;
    }
    err(32, "KesMZN: BlockRead() failed. Tag '%s'. rc = %d", TagName(*tag), rc);
    return rc;
}

int SingleWrite(RequestBlock* request) {
    auto* tag = static_cast<TagIoData*>(request->data);
    if (tag == nullptr || tag->values == nullptr) return KES_FAILED;
    host::InstanceData& instance = host::InstanceOf(*request);
    const int value = tag->values[1];

    int rc = KES_FAILED;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (tag->kind == kModeOfTag || tag->kind == kNumberedMode) {
            rc = protocol::SetMode(instance, tag->number, value);
        } else if (tag->kind == kZone) {
            rc = protocol::SetZone(instance, tag->number, value);
        }
        if (rc == 0) return KES_OK;
    }
    return rc;
}

}  // namespace kesmzn::tags
