// The listener: one pass drains and acknowledges what the panel sent on its own; the thread runs a
// pass per host message and ends, removing its client, when the host stops it.
#include "unsolicited/listener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/log_capture.h"
#include "support/open_instance.h"
#include "support/panel_text.h"
#include "support/scripted_panel.h"
#include "zubpro.h"

namespace kesmzn::unsolicited {
namespace {

using Clock = std::chrono::steady_clock;
using testing::PanelLine;

const std::string kEnter = "KesMZN: CheckUnsolicetedMessages() -> Enter to Critical Section ";
const std::string kExit = "KesMZN: CheckUnsolicetedMessages() -> Exit from Critical Section ";

std::string AckOf(const std::string& code) { return ":01" + code + testing::LrcOf(code) + "\r\n"; }

// As the logger writes a line: CR and LF escaped.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    return out;
}

class ListenerTest : public ::testing::Test {
protected:
    testing::ScriptedPanel panel;
    testing::OpenInstance port{panel.path()};
    host::InstanceData& instance = port.instance;
    testing::LogCapture log;

    void SetUp() override { ASSERT_EQ(port.openResult, 0); }
};

TEST_F(ListenerTest, APassAcknowledgesTwoEventsInOrder) {
    const std::string events = PanelLine("A3" "0001") + PanelLine("BE" "0102");
    panel.Send(events);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CheckUnsolicetedMessages(instance);
    ASSERT_TRUE(panel.WaitForLines(2));
    EXPECT_EQ(panel.Received(), (std::vector<std::string>{AckOf("A3"), AckOf("BE")}));
    const auto texts = log.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), kEnter);
    EXPECT_EQ(texts.back(), kExit);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "KesMZN: Unsolisted Msg-> " + Escaped(events)), texts.end());
}

TEST_F(ListenerTest, ASilentPassLogsOnlyTheLockLines) {
    const auto start = Clock::now();
    CheckUnsolicetedMessages(instance);
    const auto took = Clock::now() - start;
    EXPECT_EQ(log.Texts(), (std::vector<std::string>{kEnter, kExit}));
    EXPECT_GE(took, std::chrono::milliseconds(90));
    EXPECT_LT(took, std::chrono::seconds(2));
}

TEST_F(ListenerTest, TwoCharactersOrFewerAreNotAMessage) {
    panel.Send("\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CheckUnsolicetedMessages(instance);
    EXPECT_EQ(log.Texts(), (std::vector<std::string>{kEnter, kExit}));
    EXPECT_TRUE(panel.Received().empty());
}

TEST_F(ListenerTest, APanelThatNeverStopsTalkingCannotOverrunTheBuffer) {
    instance.rxLrc = 0x77;
    instance.clientId = 0x66;
    instance.password = 4321;
    std::atomic<bool> talking{true};
    std::thread talker([&] {
        const std::string noise(64, 'x');
        while (talking) {
            panel.Send(noise);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto start = Clock::now();
    CheckUnsolicetedMessages(instance);
    const auto took = Clock::now() - start;
    talking = false;
    talker.join();
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(std::strlen(instance.rxBuf), host::kRxBufferSize);
    EXPECT_EQ(instance.rxBuf[host::kRxBufferSize], '\0');
    EXPECT_EQ(instance.rxLrc, 0x77);
    EXPECT_EQ(instance.clientId, 0x66);
    EXPECT_EQ(instance.password, 4321);
}

TEST_F(ListenerTest, TheThreadRunsAPassPerMessageAndEndsWhenTheHostStopsIt) {
    ZubSetTickMs(0);
    ASSERT_EQ(ZubMkClient("KesMZN No_91", 1, 0, &instance.clientId), 0);
    ASSERT_TRUE(StartListener(instance));

    panel.Send(PanelLine("A0" "11"));
    // The thread starts with a one-second pause; a message posted meanwhile waits for it.
    ASSERT_EQ(ZubPostMsg(instance.clientId), 0);
    ASSERT_TRUE(panel.WaitForLines(1, std::chrono::seconds(10)));
    EXPECT_EQ(panel.Received(), std::vector<std::string>{AckOf("A0")});

    ASSERT_EQ(ZubStopClient(instance.clientId), 0);
    std::uint8_t id = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (ZubFindClient("KesMZN No_91", &id) == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(ZubFindClient("KesMZN No_91", &id), 0) << "the listener removes its client when it ends";
    // The thread logs its end after removing the client.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto texts = log.Texts();
    EXPECT_EQ(texts.front(), "KesMZN : Start Unsoliceted Thread");
    EXPECT_EQ(texts.back(), "KesMZN : ShutDown - End Unsoliceted Thread");
}

}  // namespace
}  // namespace kesmzn::unsolicited
