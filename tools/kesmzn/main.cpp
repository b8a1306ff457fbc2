// kesmzn: a host at the terminal for the driver of the "MINTZ - EAGEL system" panel. It loads
// libkesmzn.so from its own folder with dlopen() and talks to the panel through KesMain, as the
// supervisory host does, to commission, check and try a panel without that host.
#include <cstdio>

#include "commands.h"
#include "exit_status.h"
#include "signals.h"

#ifndef KESMZN_TOOL_VERSION
#define KESMZN_TOOL_VERSION "unknown"
#endif

namespace {

using namespace kesmzn::tool;

// Every command's help ends with the exit statuses.
void AddFooters(CLI::App& app) {
    app.footer(kExitStatusHelp);
    for (CLI::App* command : app.get_subcommands({})) command->footer(kExitStatusHelp);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"kesmzn: commission, check and try the \"MINTZ - EAGEL system\" panel through its driver "
                 "(libkesmzn.so), loaded as a host loads it."};
    app.set_version_flag("--version", "kesmzn " KESMZN_TOOL_VERSION);
    app.require_subcommand(1);

    InfoOptions info;
    CheckOptions check;
    ReadOptions read;
    WriteOptions write;
    PollOptions poll;
    WatchOptions watch;
    DoctorOptions doctor;
    DemoOptions demo;
    SimOptions sim;
    CLI::App* infoCommand = AddInfoCommand(app, info);
    CLI::App* checkCommand = AddCheckCommand(app, check);
    CLI::App* readCommand = AddReadCommand(app, read);
    CLI::App* writeCommand = AddWriteCommand(app, write);
    CLI::App* pollCommand = AddPollCommand(app, poll);
    CLI::App* watchCommand = AddWatchCommand(app, watch);
    CLI::App* simCommand = AddSimCommand(app, sim);
    CLI::App* portsCommand = AddPortsCommand(app);
    CLI::App* doctorCommand = AddDoctorCommand(app, doctor);
    CLI::App* demoCommand = AddDemoCommand(app, demo);
    AddFooters(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? kExitOk : kExitUsage;
    }

    // Before any thread starts: the long-running commands end in order on a signal, the others at once.
    const bool longRunning = pollCommand->parsed() || watchCommand->parsed() || simCommand->parsed();
    if (longRunning) CollectSignals();
    else EndAtOnceOnSignals();

    if (infoCommand->parsed()) return RunInfo(info);
    if (checkCommand->parsed()) return RunCheck(check);
    if (readCommand->parsed()) return RunRead(read);
    if (writeCommand->parsed()) return RunWrite(write);
    if (pollCommand->parsed()) return RunPoll(poll);
    if (watchCommand->parsed()) return RunWatch(watch);
    if (simCommand->parsed()) return RunSim(sim);
    if (portsCommand->parsed()) return RunPorts();
    if (doctorCommand->parsed()) return RunDoctor(doctor);
    if (demoCommand->parsed()) return RunDemo(demo);
    return kExitUsage;
}
