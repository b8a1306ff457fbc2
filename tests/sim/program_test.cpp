// The kesmzn-panel program as a script would use it: read the device from its first line, talk to
// it, stop it with a signal, read its summary.
#include "line_client.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace kesmzn::sim {
namespace {

using namespace std::chrono_literals;
using client::LineClient;
using client::Millis;

struct Program {
    pid_t pid = -1;
    int output = -1;  // its standard output

    explicit Program(std::vector<std::string> args) {
        args.insert(args.begin(), KESMZN_PANEL_PROGRAM);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        output = pipeFds[0];
    }

    ~Program() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (output >= 0) close(output);
    }

    std::string readLine(Millis timeout = 5000ms) const { return LineClient::readLineFrom(output, timeout); }

    // Waits for the exit; returns the exit status, or -1.
    int wait() {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) return -1;
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST(PanelProgram, PrintsItsDeviceAnswersAndSummarisesOnSigterm) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("kesmzn-panel-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "link").string();
    const std::string logFile = (dir / "panel.log").string();
    Program program({"--zones", "4", "--password", "1234", "--modes", "5,42", "--link", link, "--log", logFile, "--quiet"});
    ASSERT_GT(program.pid, 0);
    const std::string device = program.readLine();
    ASSERT_FALSE(device.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link).string() + "\n", device);

    {
        LineClient client(link);
        ASSERT_TRUE(client.ok());
        client.send(":05081234680248\r\n");  // mode 2
        EXPECT_EQ(client.readLine(), ":H\r\n");
        EXPECT_EQ(client.readLine().substr(13, 2), "2A");
        client.send(":0508432168022A\r\n");  // wrong password: ignored
        EXPECT_EQ(client.readUntilQuiet(150ms), "");
    }

    kill(program.pid, SIGTERM);
    const std::string summary = program.readLine();
    EXPECT_NE(summary.find("commands received 1, answered 1"), std::string::npos) << summary;
    EXPECT_EQ(program.wait(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    std::ifstream log(logFile);
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find(" RX :05081234680248\\r\\n\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find(" TX :H\\r\\n\n"), std::string::npos) << text.str();
    std::filesystem::remove_all(dir);
}

TEST(PanelProgram, EndsByItselfAfterItsDuration) {
    Program program({"--duration", "0.2", "--quiet", "--events", "0.05", "--drop-ack", "n2", "--bad-lrc", "0.5"});
    ASSERT_GT(program.pid, 0);
    EXPECT_FALSE(program.readLine().empty());
    EXPECT_NE(program.readLine().find("events emitted"), std::string::npos);
    EXPECT_EQ(program.wait(), 0);
}

TEST(PanelProgram, RefusesBadOptions) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--zones", "300"}, {"--zones", "0"}, {"--drop-ack", "2"}, {"--silent", "nx"}, {"--modes", "1,300"},
             {"--password", "70000"}, {"--device", "/nonexistent/tty"}}) {
        Program program(args);
        ASSERT_GT(program.pid, 0);
        EXPECT_NE(program.wait(), 0) << args[0] << " " << args[1];
    }
}

TEST(PanelProgram, HelpNamesTheFaultOptions) {
    Program program({"--help"});
    ASSERT_GT(program.pid, 0);
    std::string help;
    for (std::string line = program.readLine(); !line.empty(); line = program.readLine(1000ms)) help += line;
    EXPECT_EQ(program.wait(), 0);
    for (const char* option : {"--drop-ack", "--bad-lrc", "--silent", "--unsolicited-before-ack", "--pace", "--link"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace kesmzn::sim
