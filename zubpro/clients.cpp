// The message-client facility: named clients with a one-byte id, each woken by ticks of a common
// period or by posts, until it is told to stop. No ticker thread: a waiter sleeps until its own next
// tick on the steady clock, and every change wakes all waiters to look again.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

#include "environment.h"
#include "zubpro.h"

namespace zubpro {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kDefaultTickMs = 500;

struct Client {
    bool used = false;
    bool pending = false;  // one message at most: posts and ticks merge
    bool stopped = false;
    // Changes with every registration, so a waiter notices that its client went away even when the id
    // has been handed out again meanwhile.
    std::uint64_t serial = 0;
    Clock::time_point nextTick{};
    std::string name;
};

struct Clients {
    std::mutex lock;
    std::condition_variable changed;
    std::array<Client, 256> slots{};  // indexed by id; 0 is never handed out
    std::uint64_t serials = 0;
    std::uint32_t tickMs = kDefaultTickMs;
    // Ids go round rather than lowest-free, so a removed id is not handed out again at once.
    std::uint8_t lastId = 0;
};

// Never destroyed: a driver's listener may still be waiting while the process runs its exit handlers.
Clients& State() {
    static Clients& state = *[] {
        auto* fresh = new Clients;
        if (const auto ms = EnvironmentNumber("ZUBPRO_TICK_MS")) fresh->tickMs = *ms;
        return fresh;
    }();
    return state;
}

Client* Find(Clients& clients, std::uint8_t id) {
    Client& client = clients.slots[id];
    return id != 0 && client.used ? &client : nullptr;
}

Clock::time_point FirstTick(std::uint32_t tickMs, Clock::time_point now) {
    return now + std::chrono::milliseconds(tickMs);
}

// Keeps the cadence; ticks missed while the client was busy merge into the one just delivered.
void AdvanceTick(Client& client, std::uint32_t tickMs, Clock::time_point now) {
    client.nextTick += std::chrono::milliseconds(tickMs);
    if (client.nextTick <= now) client.nextTick = FirstTick(tickMs, now);
}

// Ready: 1 message delivered, 0 the client is to stop; -1: keep waiting.
int TakeMessage(Clients& clients, std::uint8_t id, std::uint64_t serial, Clock::time_point now) {
    Client& client = clients.slots[id];
    if (!client.used || client.serial != serial || client.stopped) return 0;
    const bool tickDue = clients.tickMs != 0 && now >= client.nextTick;
    if (!client.pending && !tickDue) return -1;
    client.pending = false;
    if (tickDue) AdvanceTick(client, clients.tickMs, now);
    return 1;
}

// Sets one flag of a client and wakes its waiter: 0, or 1 for an unknown client.
int MarkClient(std::uint8_t id, bool Client::*flag) {
    try {
        Clients& clients = State();
        {
            const std::lock_guard guard(clients.lock);
            Client* client = Find(clients, id);
            if (client == nullptr) return 1;
            client->*flag = true;
        }
        clients.changed.notify_all();
        return 0;
    } catch (...) {
        return 1;
    }
}

}  // namespace
}  // namespace zubpro

extern "C" {

int16_t ZubMkClient(const char* name, int kind, int flags, uint8_t* id) {
    using namespace zubpro;
    // The kind and flags the driver passes (1 and 0) select nothing here: there is one kind of client.
    static_cast<void>(kind);
    static_cast<void>(flags);
    try {
        if (name == nullptr || id == nullptr) return 1;
        const std::size_t length = strnlen(name, ZUB_CLIENT_NAME_MAX + 1);
        if (length == 0 || length > ZUB_CLIENT_NAME_MAX) return 1;
        Clients& clients = State();
        const std::lock_guard guard(clients.lock);
        for (const Client& client : clients.slots)
            if (client.used && client.name == name) return 2;
        std::uint8_t candidate = clients.lastId;
        for (int tried = 0; tried < 255; ++tried) {
            candidate = static_cast<std::uint8_t>(candidate % 255 + 1);
            Client& client = clients.slots[candidate];
            if (client.used) continue;
            client.name.assign(name, length);
            client.used = true;
            client.pending = false;
            client.stopped = false;
            client.serial = ++clients.serials;
            client.nextTick = FirstTick(clients.tickMs, Clock::now());
            clients.lastId = candidate;
            *id = candidate;
            return 0;
        }
        return 3;
    } catch (...) {
        return 4;
    }
}

int16_t ZubWaitMsg(uint8_t id, void* area, int kind) {
    using namespace zubpro;
    static_cast<void>(kind);
    try {
        Clients& clients = State();
        std::unique_lock guard(clients.lock);
        const Client* client = Find(clients, id);
        if (client == nullptr) return 0;
        const std::uint64_t serial = client->serial;
        int ready = -1;
        // Every wake-up looks again: the period, the deadline or the client may have changed meanwhile.
        while ((ready = TakeMessage(clients, id, serial, Clock::now())) < 0) {
            if (clients.tickMs == 0)
                clients.changed.wait(guard);
            else
                clients.changed.wait_until(guard, clients.slots[id].nextTick);
        }
        guard.unlock();
        if (ready != 0 && area != nullptr) std::memset(area, 0, ZUB_MESSAGE_SIZE);
        return static_cast<int16_t>(ready);
    } catch (...) {
        return 0;
    }
}

void ZubRmClient(uint8_t id) {
    using namespace zubpro;
    try {
        Clients& clients = State();
        {
            const std::lock_guard guard(clients.lock);
            Client* client = Find(clients, id);
            if (client == nullptr) return;
            client->used = false;
            client->name.clear();
        }
        clients.changed.notify_all();
    } catch (...) {
    }
}

void ZubSetTickMs(uint32_t ms) {
    using namespace zubpro;
    try {
        Clients& clients = State();
        {
            const std::lock_guard guard(clients.lock);
            clients.tickMs = ms;
            const auto now = Clock::now();
            for (Client& client : clients.slots) client.nextTick = FirstTick(ms, now);
        }
        clients.changed.notify_all();
    } catch (...) {
    }
}

int ZubPostMsg(uint8_t id) { return zubpro::MarkClient(id, &zubpro::Client::pending); }

int ZubStopClient(uint8_t id) { return zubpro::MarkClient(id, &zubpro::Client::stopped); }

int ZubFindClient(const char* name, uint8_t* id) {
    using namespace zubpro;
    try {
        if (name == nullptr || id == nullptr) return 1;
        Clients& clients = State();
        const std::lock_guard guard(clients.lock);
        for (std::size_t slot = 1; slot < clients.slots.size(); ++slot) {
            const Client& client = clients.slots[slot];
            if (!client.used || client.name != name) continue;
            *id = static_cast<std::uint8_t>(slot);
            return 0;
        }
        return 1;
    } catch (...) {
        return 1;
    }
}

}  // extern "C"
