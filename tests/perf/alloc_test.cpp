// The driver's own code allocates nothing from the heap, at start (ColdStart: the initialization file,
// the port's open, the listener's start) or in any exchange, the listener's pass included; and the
// counter that says so does catch an allocation where there is one.
//
// The driver is loaded from build/libkesmzn.so with dlopen(), as a host loads it, and watched by the
// allocation counter (alloc_counter.h); the simulated panel runs in this process, its allocations are
// its own. Every log level is on, so each of the driver's messages goes through the host services
// (which allocate, and must not count).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <new>
#include <string>
#include <thread>

#include "alloc_counter.h"
#include "alloc_probe.h"
#include "kesmzn.h"
#include "kesmzn_sim/frame.h"
#include "kesmzn_sim/panel.h"
#include "zubpro.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr unsigned kPassword = 1234;
constexpr unsigned kZones = 16;

using EntryPoint = int (*)(RequestBlock*);

std::string Sites() {
    char text[2048];
    AllocCounterSites(text, sizeof text);
    return text;
}

std::string ClientName(int station) {
    char name[32];
    std::snprintf(name, sizeof name, "KesMZN No_%.2d", station);
    return name;
}

// A host around one instance of the loaded driver, on a simulated panel behind a port name of its own.
// Each test has its own station, folder and port, so the whole program can run in one process too.
class LoadedDriver : public ::testing::Test {
protected:
    void SetUp() override {
        station_ = nextStation_++;
        portName_ = "COM" + std::to_string(station_);
        folder_ = fs::temp_directory_path() / ("kesmzn-perf-" + std::to_string(getpid()) + "-" + std::to_string(station_));
        fs::create_directories(folder_ / "devices");
        previous_ = fs::current_path();
        fs::current_path(folder_);
        setenv("KESMZN_DEVICES", (folder_ / "devices").c_str(), 1);
        char initFile[32];
        std::snprintf(initFile, sizeof initFile, "KESMZN%02d.int", station_);
        std::ofstream(folder_ / initFile) << "PASSWORD=" << kPassword << "\nCRC=ON\n";
        ZubSetTickMs(0);
        ZubSetLogFile((folder_ / "driver.log").c_str());
        ZubSetLogMask(0xFFFFFFFFu);

        library_ = dlopen(KESMZN_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        kesMain_ = reinterpret_cast<EntryPoint>(dlsym(library_, "KesMain"));
        ASSERT_NE(kesMain_, nullptr);
        AllocCounterWatch(reinterpret_cast<const void*>(kesMain_));

        kesmzn::sim::PanelConfig config;
        config.zones = kZones;
        config.password = kPassword;
        panel_ = kesmzn::sim::startOnPty(config, (folder_ / "devices" / portName_).string());
    }

    void TearDown() override {
        if (std::uint8_t id = 0; ZubFindClient(ClientName(station_).c_str(), &id) == 0) ZubStopClient(id);
        if (panel_) panel_->stop();
        ZubSetLogFile(nullptr);
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    int Request(std::uint32_t code, void* data) {
        RequestBlock request{};
        request.instance = block_;
        request.code = code;
        request.station = station_;
        request.data = data;
        return kesMain_(&request);
    }

    int ColdStart() {
        ColdStartData data{};
        std::memcpy(data.name, portName_.c_str(), portName_.size());
        data.enabled = 1;
        data.timeout = 100;
        data.baud = 4800;
        data.dataBits = 8;
        return Request(KES_REQUEST_COLD_START, &data);
    }

    static inline int nextStation_ = 7;
    int station_ = 0;
    std::string portName_;
    fs::path folder_;
    fs::path previous_;
    void* library_ = nullptr;  // left loaded: the listener thread runs its code to the process's end
    EntryPoint kesMain_ = nullptr;
    std::unique_ptr<kesmzn::sim::Panel> panel_;
    // Kept to the process's end: a stopped listener still holds its block for a second.
    unsigned char* block_ = new (std::align_val_t{16}) unsigned char[720]();
};

TEST_F(LoadedDriver, StartAllocatesNothing) {
    AllocCounterArm();
    const int result = ColdStart();
    // The listener logs its start, waits a second, then waits for the host: all of it counted.
    std::this_thread::sleep_for(1300ms);
    const AllocCounts counts = AllocCounterDisarm();
    ASSERT_EQ(result, KES_OK);
    EXPECT_EQ(counts.watched, 0u) << "allocations by the driver's code at:\n" << Sites();
    // The host services allocated for the log lines and the client: seen, and not put down to the driver.
    EXPECT_GT(counts.other, 0u);
    RecordProperty("threadCreationAllocations", static_cast<int>(counts.threadCreation));
}

struct ExchangeCase {
    const char* name;
    std::uint32_t code;
    std::int32_t kind;  // 1 numbered mode, 2 zone
    std::uint16_t number;
    std::uint16_t value;
    std::int32_t blockSize;
    int expected;
    bool eventBeforeAck;
};

void PrintTo(const ExchangeCase& c, std::ostream* out) { *out << c.name; }

class ExchangeAllocations : public LoadedDriver, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(ExchangeAllocations, ExchangeAllocatesNothing) {
    const ExchangeCase& c = GetParam();
    ASSERT_EQ(ColdStart(), KES_OK);
    if (c.eventBeforeAck) panel_->setFault(kesmzn::sim::Fault::UnsolicitedBeforeAck, {0.0, 1});
    std::uint16_t values[kZones + 1] = {};
    values[1] = c.value;
    TagIoData tag{};
    tag.name = c.name;
    tag.kind = c.kind;
    tag.number = c.number;
    tag.blockSize = c.blockSize;
    tag.values = values;

    AllocCounterArm();
    const int result = Request(c.code, &tag);
    const AllocCounts counts = AllocCounterDisarm();
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(counts.watched, 0u) << "allocations by the driver's code at:\n" << Sites();
}

INSTANTIATE_TEST_SUITE_P(
    EveryExchange, ExchangeAllocations,
    ::testing::Values(ExchangeCase{"ModeRead", KES_REQUEST_SINGLE_READ, 1, 3, 0, 0, KES_OK, false},
                      ExchangeCase{"ZoneRead", KES_REQUEST_SINGLE_READ, 2, 7, 0, 0, KES_OK, false},
                      ExchangeCase{"ModeWrite", KES_REQUEST_SINGLE_WRITE, 1, 4, 5, 0, KES_OK, false},
                      ExchangeCase{"ZoneWrite", KES_REQUEST_SINGLE_WRITE, 2, 5, 2, 0, KES_OK, false},
                      ExchangeCase{"BlockRead", KES_REQUEST_BLOCK_READ, 2, 1, 0, kZones, KES_OK, false},
                      // Ten failed attempts, each logging the sizes: the failure paths allocate nothing either.
                      ExchangeCase{"BlockReadWrongSize", KES_REQUEST_BLOCK_READ, 2, 1, 0, 12, KES_FAILED, false},
                      // An event line before the acknowledgement: acknowledged inside the exchange.
                      ExchangeCase{"EventBeforeAck", KES_REQUEST_SINGLE_READ, 2, 7, 0, 0, KES_OK, true}),
    [](const ::testing::TestParamInfo<ExchangeCase>& param) { return std::string(param.param.name); });

TEST_F(LoadedDriver, ListenerPassAllocatesNothing) {
    ASSERT_EQ(ColdStart(), KES_OK);
    std::uint8_t client = 0;
    ASSERT_EQ(ZubFindClient(ClientName(station_).c_str(), &client), 0);
    const std::string events = kesmzn::sim::buildFrame("A000010020") + kesmzn::sim::buildFrame("A100020030");

    AllocCounterArm();
    panel_->sendRaw(events);
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(ZubPostMsg(client), 0);
    const bool acknowledged = panel_->waitFor([](const kesmzn::sim::Stats& s) { return s.strayAcks >= 2; }, 5s);
    // The pass holds the instance lock to its end: a request that takes the lock waits for it.
    Request(KES_REQUEST_FLUSH_PORT, nullptr);
    const AllocCounts counts = AllocCounterDisarm();
    EXPECT_TRUE(acknowledged) << "the listener's pass did not acknowledge both events";
    EXPECT_EQ(counts.watched, 0u) << "allocations by the driver's code at:\n" << Sites();
}

// The counter itself: code watched as the driver is, allocating in each way the counter must catch.
struct ProbeCase {
    const char* name;
    void (*probe)();
    bool allocates;  // by its own code, as the counter must see it
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

class CounterControl : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(CounterControl, CountsOnlyTheWatchedCodesOwnAllocations) {
    const ProbeCase& c = GetParam();
    AllocCounterWatch(reinterpret_cast<const void*>(&ProbeNothing));
    ZubSetLogFile("/dev/null");
    ZubSetLogMask(0xFFFFFFFFu);
    AllocCounterArm();
    c.probe();
    const AllocCounts counts = AllocCounterDisarm();
    ZubSetLogFile(nullptr);
    if (c.allocates) {
        EXPECT_GT(counts.watched, 0u);
    } else {
        EXPECT_EQ(counts.watched, 0u) << Sites();
    }
}

INSTANTIATE_TEST_SUITE_P(Probes, CounterControl,
                         ::testing::Values(ProbeCase{"Nothing", ProbeNothing, false}, ProbeCase{"Malloc", ProbeMalloc, true},
                                           ProbeCase{"New", ProbeNew, true}, ProbeCase{"Stdio", ProbeStdio, true},
                                           ProbeCase{"ThreadThatAllocates", ProbeThreadMalloc, true},
                                           ProbeCase{"HostServicesOnly", ProbeHostLog, false},
                                           ProbeCase{"ThreadCreationOnly", ProbeThreadOnly, false}),
                         [](const ::testing::TestParamInfo<ProbeCase>& param) { return std::string(param.param.name); });

}  // namespace
