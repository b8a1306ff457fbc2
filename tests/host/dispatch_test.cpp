#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <vector>

#include "host/instance.h"
#include "kesmzn.h"

namespace kesmzn::host {
namespace {

// An instance block and a data record filled with a pattern, to show that a request left them alone.
struct Untouchable {
    alignas(16) unsigned char block[kInstanceSize];
    unsigned char data[256];

    Untouchable() {
        std::memset(block, 0xA5, sizeof block);
        std::memset(data, 0x5A, sizeof data);
    }
    bool Untouched() const {
        for (unsigned char b : block)
            if (b != 0xA5) return false;
        for (unsigned char b : data)
            if (b != 0x5A) return false;
        return true;
    }
};

TEST(Dispatch, CodesWithoutHandlerAreNotAvailableAndTouchNothing) {
    for (std::uint32_t code : {0u, 8u, 9u, 16u, 17u, 255u, 0xFFFFFFFFu}) {
        Untouchable target;
        RequestBlock request{};
        request.instance = target.block;
        request.code = code;
        request.data = target.data;
        EXPECT_EQ(KesMain(&request), KES_NOT_AVAILABLE) << "code " << code;
        EXPECT_TRUE(target.Untouched()) << "code " << code;
    }
}

TEST(Dispatch, ANullRequestOrInstanceIsRefused) {
    EXPECT_EQ(KesMain(nullptr), KES_NOT_AVAILABLE);
    for (std::uint32_t code : {1u, 2u, 5u, 6u, 7u, 10u, 12u, 13u, 15u}) {
        RequestBlock request{};
        request.code = code;
        EXPECT_EQ(KesMain(&request), KES_NOT_AVAILABLE) << "code " << code;
    }
}

TEST(Dispatch, UnsupportedIoFailsAndRunsUnderTheInstanceLock) {
    alignas(16) unsigned char block[kInstanceSize] = {};
    auto& instance = *reinterpret_cast<InstanceData*>(block);
    InitLock(instance.lock);
    RequestBlock request{};
    request.instance = block;
    request.code = KES_REQUEST_UNSUPPORTED_IO;

    EnterLock(instance.lock);  // as a listener pass would
    auto result = std::async(std::launch::async, [&] { return KesMain(&request); });
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "request 10 ran while the instance lock was held";
    LeaveLock(instance.lock);
    EXPECT_EQ(result.get(), KES_FAILED);
}

TEST(Dispatch, TheInstanceLockIsFreeAfterEveryLockedRequest) {
    alignas(16) unsigned char block[kInstanceSize] = {};
    auto& instance = *reinterpret_cast<InstanceData*>(block);
    InitLock(instance.lock);
    RequestBlock request{};
    request.instance = block;
    for (std::uint32_t code : {2u, 10u, 12u}) {
        request.code = code;
        KesMain(&request);
        auto relock = std::async(std::launch::async, [&] {
            EnterLock(instance.lock);
            LeaveLock(instance.lock);
        });
        EXPECT_EQ(relock.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "code " << code;
    }
}

}  // namespace
}  // namespace kesmzn::host
