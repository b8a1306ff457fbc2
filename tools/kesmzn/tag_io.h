// Reads and writes of one tag on an open connection, with what the driver logged about a failure, and
// how results are shown.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "connection.h"
#include "driver_log.h"

namespace kesmzn::tool {

using BlockValues = std::vector<std::optional<int>>;

// Checks the address with the driver and fills the tag. mode: the number for S alone. 0, or the exit
// status after a message.
int MakeTag(const Driver& driver, const std::string& address, std::optional<int> blockCount, std::optional<int> mode,
            Tag& tag);

struct ReadOutcome {
    bool ok = false;
    std::optional<int> value;  // single reads
    BlockValues values;        // block reads
    FailureClues clues;        // what the driver logged when it failed
};

ReadOutcome ReadTag(Connection& connection, const Tag& tag);

// True when written; clues say why not.
bool WriteTag(Connection& connection, const Tag& tag, int value, FailureClues& clues);

// The one-line message and the exit status for a request that failed ten times. what: "read", "write".
std::string DescribeFailure(const Connection& connection, const Tag& tag, const FailureClues& clues, const char* what);
int FailureStatus(const FailureClues& clues);

// "007 = 1", "S7 = 7", "S (mode 3) = 3"
std::string ValueText(const Tag& tag, std::optional<int> value);

// The zones as rows of ten: "001-010   1   1   2 ...", with a heading line.
std::string BlockTable(const BlockValues& values);

// The read as one JSON object.
std::string ReadJson(const Connection& connection, const Tag& tag, const ReadOutcome& outcome);

}  // namespace kesmzn::tool
