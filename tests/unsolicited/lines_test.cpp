// Spontaneous lines: which are acknowledged on the wire, in which order, and which are only logged.
#include "unsolicited/lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/open_instance.h"
#include "support/panel_text.h"
#include "support/scripted_panel.h"

namespace kesmzn::unsolicited {
namespace {

using testing::PanelLine;

// The acknowledgement of a code: ":01", the code, the LRC of that one byte, CR LF.
std::string AckOf(const std::string& code) { return ":01" + code + testing::LrcOf(code) + "\r\n"; }

class LinesTest : public ::testing::Test {
protected:
    testing::ScriptedPanel panel;
    testing::OpenInstance port{panel.path()};
    testing::LogCapture log;

    void SetUp() override { ASSERT_EQ(port.openResult, 0); }

    std::vector<std::string> Unrecognised() const {
        std::vector<std::string> codes;
        const std::string prefix = "KesMZN: CheckCommand(), Unrecognize Command -> ";
        for (const auto& record : log.Records())
            if (record.text.rfind(prefix, 0) == 0) codes.push_back(record.text.substr(prefix.size()));
        return codes;
    }
};

TEST_F(LinesTest, EveryRecognisedCodeIsAcknowledged) {
    for (const char* code : {"D5", "A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8", "27", "AA", "AB", "B4", "BE",
                             "BF", "C0", "C1"}) {
        EXPECT_TRUE(IsAckCode(code)) << code;
    }
    // Whole entries only: pieces of the list text across its commas are not codes.
    for (const char* code : {"5,", ",A", "0,", "A9", "a3", "D", "", "C2", "5F"}) EXPECT_FALSE(IsAckCode(code)) << code;
}

TEST_F(LinesTest, TwoLinesAreAcknowledgedInTheOrderReceived) {
    const std::string text = PanelLine("A3" "0001") + PanelLine("A4" "0203");
    ProcessUnsolicited(port.instance, text.c_str());
    ASSERT_TRUE(panel.WaitForLines(2));
    EXPECT_EQ(panel.Received(), (std::vector<std::string>{AckOf("A3"), AckOf("A4")}));
    EXPECT_EQ(log.Texts(), (std::vector<std::string>{"SendAck() -> " + AckOf("A3").substr(0, 7) + "\\r\\n",
                                                     "SendAck() -> " + AckOf("A4").substr(0, 7) + "\\r\\n"}));
}

TEST_F(LinesTest, UnrecognisedAndIncompleteLinesAreNotAcknowledged) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> unrecognised;
    } cases[] = {
        {"code 5F", PanelLine("5F" "00"), {"5F"}},
        {"lower-case a3", ":03a30001FF\r\n", {"a3"}},
        {"a colon without LF", ":03A3000158", {}},
        {"no colon at all", "A3 0001\r\n", {}},
        {"a line too short for a code", ":0A\n", {""}},
        {"a line with no code at all", ":\r\n", {""}},
        {"a code with a comma", ":015,00\r\n", {"5,"}},
        {"noise then an incomplete line", "\x01\x02:02A4", {}},
    };
    for (const auto& c : cases) {
        testing::LogCapture caseLog;
        ProcessUnsolicited(port.instance, c.text.c_str());
        std::vector<std::string> codes;
        const std::string prefix = "KesMZN: CheckCommand(), Unrecognize Command -> ";
        for (const auto& record : caseLog.Records()) {
            ASSERT_EQ(record.text.rfind(prefix, 0), 0u) << c.name << ": " << record.text;
            EXPECT_EQ(record.level, 32) << c.name;
            codes.push_back(record.text.substr(prefix.size()));
        }
        EXPECT_EQ(codes, c.unrecognised) << c.name;
    }
    EXPECT_TRUE(panel.Received().empty());
}

TEST_F(LinesTest, TheCodeInTheMessageIsTheLinesOwn) {
    ProcessUnsolicited(port.instance, (PanelLine("5F" "00") + ":03a30001FF\r\n").c_str());
    EXPECT_EQ(Unrecognised(), (std::vector<std::string>{"5F", "a3"}));
}

TEST_F(LinesTest, RecognisedLinesAmongOthersAreAllHandled) {
    const std::string text = "noise" + PanelLine("5F" "00") + PanelLine("C1") + ":0" + "\n" + PanelLine("27" "99") + ":02A0";
    ProcessUnsolicited(port.instance, text.c_str());
    ASSERT_TRUE(panel.WaitForLines(2));
    EXPECT_EQ(panel.Received(), (std::vector<std::string>{AckOf("C1"), AckOf("27")}));
}

TEST_F(LinesTest, AFailedSendIsLogged) {
    serial::CloseComm(port.instance.port);
    SendAck(port.instance, "A0");
    port.instance.port = serial::kNoPort;
    const auto texts = log.Texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "SendAck() -> Fail to send Ack"), texts.end());
}

}  // namespace
}  // namespace kesmzn::unsolicited
