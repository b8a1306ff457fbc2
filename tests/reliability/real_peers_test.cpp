// Across programs nobody here wrote: the driver opens a socat pseudo-terminal, socat carries the bytes
// to a TCP port on loopback, ser2net (version 4, YAML configuration) carries them from that port to
// the pseudo-terminal of the simulated panel. Reads, writes and event acknowledgements must work
// across the chain as on a direct line.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "panel_host.h"

namespace kesmzn::testing {
namespace {

// A loopback port free at the moment of asking.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

// Whether something listens on the loopback port, from the kernel's table: asking by connecting would
// make ser2net open the panel's line.
bool Listening(int port) {
    std::ifstream table("/proc/net/tcp");
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, ":%04X", static_cast<unsigned>(port));
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "0A" && local.size() > 5 && local.substr(local.size() - 5) == wanted) return true;
    }
    return false;
}

template <typename Ready>
bool WaitUntil(Ready ready, ChildProcess& process, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = Clock::now() + timeout;
    while (!ready()) {
        if (Clock::now() > deadline || !process.Running()) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

TEST(RealPeers, ReadsWritesAndEventAcknowledgementsThroughSocatAndSer2net) {
    const std::string socat = FindProgram("socat");
    const std::string ser2net = FindProgram("ser2net");
    if (socat.empty() || ser2net.empty()) GTEST_SKIP() << "socat or ser2net is not installed (scripts/test.sh installs both)";

    sim::PanelConfig config = DefaultPanel();
    config.eventIntervalSeconds = 0.5;
    config.maxPendingEvents = 4;
    PanelHost host(config);
    const auto folder = host.host.folder();
    const int port = FreePort();
    ASSERT_NE(port, 0);

    // ser2net: from the TCP port to the panel's line, without modem control or UUCP lock files.
    const std::string portText = std::to_string(port);
    ChildProcess relay({ser2net, "-n", "-u", "-P", (folder / "ser2net.pid").string(),
                        "-Y", "connection: &panel",
                        "-Y", "  accepter: tcp,127.0.0.1," + portText,
                        "-Y", "  connector: serialdev," + host.panel->devicePath() + ",4800n81,local"},
                       folder / "ser2net.log");
    ASSERT_TRUE(relay.Started());
    ASSERT_TRUE(WaitUntil([&] { return Listening(port); }, relay)) << relay.Log();

    // socat: a pseudo-terminal under the driver's port name COM2, to that TCP port.
    const auto link = folder / "devices" / "COM2";
    ChildProcess bridge({socat, "-d", "pty,link=" + link.string() + ",raw,echo=0", "tcp:127.0.0.1:" + portText},
                        folder / "socat.log");
    ASSERT_TRUE(bridge.Started());
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(link); }, bridge)) << bridge.Log();

    ASSERT_EQ(host.ColdStart("COM2"), 0);
    ZubSetTickMs(200);
    EXPECT_TRUE(host.ReadsAreRight());
    std::uint16_t value = 0;
    EXPECT_EQ(host.ReadMode(3, value).result, 0);
    EXPECT_EQ(value, 0x21);
    EXPECT_EQ(host.WriteZone(5, 2).result, 0);
    EXPECT_EQ(host.panel->zoneState(5), 2);
    EXPECT_EQ(host.WriteMode(3, 7).result, 0);
    EXPECT_EQ(host.panel->mode(3), 7);

    // Events go on during all this and for a moment longer; every one is acknowledged in the end.
    std::this_thread::sleep_for(3s);
    host.panel->setEventGeneration(false);
    const bool allAcknowledged = host.panel->waitFor(
        [](const sim::Stats& s) { return s.eventsEmitted > 0 && s.eventsAcknowledged == s.eventsEmitted; }, 30s);
    const auto stats = host.panel->stats();
    std::cout << "[reliability] socat and ser2net: events emitted " << stats.eventsEmitted << ", acknowledged "
              << stats.eventsAcknowledged << "\n";
    EXPECT_TRUE(allAcknowledged) << stats.eventsAcknowledged << " of " << stats.eventsEmitted;
    EXPECT_TRUE(relay.Running()) << relay.Log();
    EXPECT_TRUE(bridge.Running()) << bridge.Log();

    HostFixture::StopListener(*host.instance);
    host.PortRequest(KES_REQUEST_CLOSE_PORT);
    bridge.Stop();
    relay.Stop();
}

}  // namespace
}  // namespace kesmzn::testing
