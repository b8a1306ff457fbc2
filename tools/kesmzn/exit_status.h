// The exit statuses of the kesmzn command: one per cause, so scripts can tell them apart.
#pragma once

namespace kesmzn::tool {

enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,           // the driver could not be loaded, the simulator could not start
    kExitUsage = 2,             // the command line is wrong
    kExitPortNotOpened = 3,     // the port could not be opened (or was lost and never came back)
    kExitNoAnswer = 4,          // the panel did not answer after ten attempts
    kExitInvalidAddress = 5,    // the driver refused the address, or the value does not fit it
    kExitInterrupted = 130,     // ended by a signal before the command could finish
};

// The footer of every --help.
inline constexpr const char* kExitStatusHelp =
    "Exit status:\n"
    "  0  success\n"
    "  1  other failure (the driver could not be loaded, the simulator could not start)\n"
    "  2  usage: the command line is wrong\n"
    "  3  port not opened\n"
    "  4  panel not answering after ten attempts\n"
    "  5  invalid address (or a value, block size or mode the address cannot take)\n"
    "  130  interrupted\n"
    "Without --port the commands run against a simulated panel started in-process.";

}  // namespace kesmzn::tool
