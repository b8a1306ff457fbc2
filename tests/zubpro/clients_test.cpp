// The message-client facility: registration, delivery by post and tick, stop and removal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "zubpro.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Long enough that a waiter that should block has surely not returned by then; the test only fails
// when it has returned, so a slow machine cannot make it fail.
constexpr auto kStillBlocked = 200ms;
// Generous bound for something that should happen at once.
constexpr auto kPromptly = 10s;

std::string UniqueName(const char* what) {
    static std::atomic<int> counter{0};
    return std::string("zubpro-test ") + what + " " + std::to_string(counter++);
}

// A client removed when the test ends, whatever happened.
struct ScopedClient {
    explicit ScopedClient(const char* what) : name(UniqueName(what)) {
        created = ZubMkClient(name.c_str(), 1, 0, &id) == 0;
    }
    ~ScopedClient() {
        if (created) ZubRmClient(id);
    }
    ScopedClient(const ScopedClient&) = delete;
    ScopedClient& operator=(const ScopedClient&) = delete;

    std::string name;
    std::uint8_t id = 0;
    bool created = false;
};

std::future<std::int16_t> WaitInThread(std::uint8_t id) {
    return std::async(std::launch::async, [id] { return ZubWaitMsg(id, nullptr, 1); });
}

// The tick period is process-wide: each test starts without ticks and sets what it needs.
class Clients : public ::testing::Test {
protected:
    void SetUp() override { ZubSetTickMs(0); }
    void TearDown() override { ZubSetTickMs(0); }
};

TEST_F(Clients, PostWakesTheWaiter) {
    ScopedClient client("post");
    ASSERT_TRUE(client.created);
    auto waiter = WaitInThread(client.id);
    EXPECT_EQ(waiter.wait_for(kStillBlocked), std::future_status::timeout) << "returned without a message";
    EXPECT_EQ(ZubPostMsg(client.id), 0);
    ASSERT_EQ(waiter.wait_for(kPromptly), std::future_status::ready);
    EXPECT_NE(waiter.get(), 0);
}

TEST_F(Clients, MessagePostedBeforeTheWaitIsKeptAndFillsTheArea) {
    ScopedClient client("early post");
    ASSERT_TRUE(client.created);
    ASSERT_EQ(ZubPostMsg(client.id), 0);
    unsigned char area[ZUB_MESSAGE_SIZE + 1];
    std::memset(area, 0xAA, sizeof area);
    EXPECT_NE(ZubWaitMsg(client.id, area, 1), 0);
    for (int i = 0; i < ZUB_MESSAGE_SIZE; ++i) EXPECT_EQ(area[i], 0) << "byte " << i;
    EXPECT_EQ(area[ZUB_MESSAGE_SIZE], 0xAA) << "written past the message area";
}

TEST_F(Clients, PendingMessagesDoNotPileUp) {
    ScopedClient client("merge");
    ASSERT_TRUE(client.created);
    ASSERT_EQ(ZubPostMsg(client.id), 0);
    ASSERT_EQ(ZubPostMsg(client.id), 0);
    EXPECT_NE(ZubWaitMsg(client.id, nullptr, 1), 0);
    auto second = WaitInThread(client.id);
    EXPECT_EQ(second.wait_for(kStillBlocked), std::future_status::timeout) << "the second post was kept apart";
    ZubPostMsg(client.id);
    ASSERT_EQ(second.wait_for(kPromptly), std::future_status::ready);
    EXPECT_NE(second.get(), 0);
}

TEST_F(Clients, StopEndsTheWaitForGoodButKeepsTheClientRegistered) {
    ScopedClient client("stop");
    ASSERT_TRUE(client.created);
    auto waiter = WaitInThread(client.id);
    EXPECT_EQ(waiter.wait_for(kStillBlocked), std::future_status::timeout);
    EXPECT_EQ(ZubStopClient(client.id), 0);
    ASSERT_EQ(waiter.wait_for(kPromptly), std::future_status::ready);
    EXPECT_EQ(waiter.get(), 0);

    EXPECT_EQ(ZubPostMsg(client.id), 0) << "a stopped client still exists";
    EXPECT_EQ(ZubWaitMsg(client.id, nullptr, 1), 0) << "stop outranks a pending message";
    std::uint8_t found = 0;
    EXPECT_EQ(ZubFindClient(client.name.c_str(), &found), 0);
    EXPECT_EQ(found, client.id);
}

TEST_F(Clients, StopOutranksAMessageAlreadyPending) {
    ScopedClient client("stop after post");
    ASSERT_TRUE(client.created);
    ASSERT_EQ(ZubPostMsg(client.id), 0);
    ASSERT_EQ(ZubStopClient(client.id), 0);
    EXPECT_EQ(ZubWaitMsg(client.id, nullptr, 1), 0);
}

TEST_F(Clients, UnknownIdsAreRefusedAtOnce) {
    ScopedClient removed("removed");
    ASSERT_TRUE(removed.created);
    ZubRmClient(removed.id);
    removed.created = false;
    for (const std::uint8_t id : {std::uint8_t{0}, removed.id}) {
        SCOPED_TRACE(static_cast<int>(id));
        EXPECT_EQ(ZubWaitMsg(id, nullptr, 1), 0);
        EXPECT_NE(ZubPostMsg(id), 0);
        EXPECT_NE(ZubStopClient(id), 0);
        ZubRmClient(id);  // harmless
    }
}

TEST_F(Clients, RemoveWakesTheWaiterAndFreesTheName) {
    ScopedClient client("remove");
    ASSERT_TRUE(client.created);
    auto waiter = WaitInThread(client.id);
    EXPECT_EQ(waiter.wait_for(kStillBlocked), std::future_status::timeout);
    ZubRmClient(client.id);
    client.created = false;
    ASSERT_EQ(waiter.wait_for(kPromptly), std::future_status::ready);
    EXPECT_EQ(waiter.get(), 0);

    std::uint8_t id = 0;
    EXPECT_NE(ZubFindClient(client.name.c_str(), &id), 0);
    ASSERT_EQ(ZubMkClient(client.name.c_str(), 1, 0, &id), 0) << "the name is free again";
    ZubRmClient(id);
}

TEST_F(Clients, ClientsAreIndependent) {
    ScopedClient first("first");
    ScopedClient second("second");
    ASSERT_TRUE(first.created && second.created);
    EXPECT_NE(first.id, second.id);
    auto waiter = WaitInThread(second.id);
    ZubPostMsg(first.id);
    ZubStopClient(first.id);
    EXPECT_EQ(waiter.wait_for(kStillBlocked), std::future_status::timeout) << "woken by another client's message";
    ZubPostMsg(second.id);
    ASSERT_EQ(waiter.wait_for(kPromptly), std::future_status::ready);
    EXPECT_NE(waiter.get(), 0);
}

TEST_F(Clients, DuplicateNameIsRefused) {
    ScopedClient client("duplicate");
    ASSERT_TRUE(client.created);
    std::uint8_t other = 0xEE;
    EXPECT_NE(ZubMkClient(client.name.c_str(), 1, 0, &other), 0);
    EXPECT_EQ(other, 0xEE) << "the id is left alone on failure";
    std::uint8_t found = 0;
    EXPECT_EQ(ZubFindClient(client.name.c_str(), &found), 0);
    EXPECT_EQ(found, client.id);
}

TEST_F(Clients, BadArgumentsAreRefused) {
    std::uint8_t id = 0;
    const std::string longest = UniqueName("longest") + std::string(ZUB_CLIENT_NAME_MAX, 'n');
    const std::string fits = longest.substr(0, ZUB_CLIENT_NAME_MAX);
    EXPECT_NE(ZubMkClient(nullptr, 1, 0, &id), 0);
    EXPECT_NE(ZubMkClient(UniqueName("no id").c_str(), 1, 0, nullptr), 0);
    EXPECT_NE(ZubMkClient("", 1, 0, &id), 0);
    EXPECT_NE(ZubMkClient(longest.substr(0, ZUB_CLIENT_NAME_MAX + 1).c_str(), 1, 0, &id), 0);
    EXPECT_NE(ZubFindClient(nullptr, &id), 0);
    EXPECT_NE(ZubFindClient(fits.c_str(), nullptr), 0);

    ASSERT_EQ(ZubMkClient(fits.c_str(), 1, 0, &id), 0) << "a name of the longest length is accepted";
    std::uint8_t found = 0;
    EXPECT_EQ(ZubFindClient(fits.c_str(), &found), 0);
    EXPECT_EQ(found, id);
    ZubRmClient(id);
}

TEST_F(Clients, TwoHundredFiftyFiveIdsThenRefusal) {
    std::vector<std::uint8_t> ids;
    std::uint8_t id = 0;
    while (ids.size() < 300 && ZubMkClient(UniqueName("many").c_str(), 1, 0, &id) == 0) ids.push_back(id);
    EXPECT_EQ(ids.size(), 255u);
    const std::set<std::uint8_t> distinct(ids.begin(), ids.end());
    EXPECT_EQ(distinct.size(), ids.size());
    EXPECT_EQ(distinct.count(0), 0u) << "0 is never handed out";

    ASSERT_FALSE(ids.empty());
    ZubRmClient(ids.front());
    std::uint8_t again = 0;
    EXPECT_EQ(ZubMkClient(UniqueName("many").c_str(), 1, 0, &again), 0) << "a freed id is handed out again";
    EXPECT_EQ(again, ids.front());
    ids.front() = again;
    for (const std::uint8_t each : ids) ZubRmClient(each);
}

TEST_F(Clients, TickDeliversAtThePeriod) {
    ScopedClient client("tick");
    ASSERT_TRUE(client.created);
    const auto start = Clock::now();
    ZubSetTickMs(100);
    for (int i = 0; i < 3; ++i) EXPECT_NE(ZubWaitMsg(client.id, nullptr, 1), 0);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 300ms) << "ticks came early";
    EXPECT_LT(elapsed, 5s);
}

TEST_F(Clients, NoTicksAtPeriodZero) {
    ScopedClient client("no tick");
    ASSERT_TRUE(client.created);
    ZubSetTickMs(0);
    auto waiter = WaitInThread(client.id);
    EXPECT_EQ(waiter.wait_for(300ms), std::future_status::timeout);
    ZubStopClient(client.id);
    EXPECT_EQ(waiter.get(), 0);
}

// A waiter asleep under the old period must see the new one at once.
TEST_F(Clients, ChangingThePeriodAppliesToWaitersAtOnce) {
    for (const std::uint32_t before : {0u, 600000u}) {
        SCOPED_TRACE(before);
        ScopedClient client("period change");
        ASSERT_TRUE(client.created);
        ZubSetTickMs(before);
        auto waiter = WaitInThread(client.id);
        EXPECT_EQ(waiter.wait_for(kStillBlocked), std::future_status::timeout);
        ZubSetTickMs(20);
        const bool woken = waiter.wait_for(kPromptly) == std::future_status::ready;
        EXPECT_TRUE(woken);
        if (!woken) ZubStopClient(client.id);  // release the thread
        const std::int16_t result = waiter.get();
        if (woken) {
            EXPECT_NE(result, 0);
        }
        ZubSetTickMs(0);
    }
}

TEST_F(Clients, MissedTicksMergeWithAPost) {
    ScopedClient client("missed ticks");
    ASSERT_TRUE(client.created);
    ZubSetTickMs(100);
    std::this_thread::sleep_for(350ms);  // three ticks fall due while nobody waits
    ZubPostMsg(client.id);
    EXPECT_NE(ZubWaitMsg(client.id, nullptr, 1), 0);
    const auto start = Clock::now();
    EXPECT_NE(ZubWaitMsg(client.id, nullptr, 1), 0);
    EXPECT_GE(Clock::now() - start, 40ms) << "missed ticks or the post piled up";
}

TEST_F(Clients, EveryClientGetsTheTicks) {
    constexpr int kClients = 4;
    constexpr int kMessages = 5;
    std::vector<std::unique_ptr<ScopedClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<ScopedClient>("ticked"));
        ASSERT_TRUE(clients.back()->created);
    }
    ZubSetTickMs(20);
    std::vector<std::future<int>> waiters;
    for (const auto& client : clients)
        waiters.push_back(std::async(std::launch::async, [id = client->id] {
            int got = 0;
            while (got < kMessages && ZubWaitMsg(id, nullptr, 1) != 0) ++got;
            return got;
        }));
    for (std::size_t i = 0; i < waiters.size(); ++i) {
        if (waiters[i].wait_for(kPromptly) != std::future_status::ready) ZubStopClient(clients[i]->id);
        EXPECT_EQ(waiters[i].get(), kMessages) << "client " << i;
    }
}

}  // namespace
