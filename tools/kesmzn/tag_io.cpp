#include "tag_io.h"

#include <cstdio>

#include "address_text.h"
#include "exit_status.h"
#include "json.h"
#include "port_name.h"

namespace kesmzn::tool {
namespace {

constexpr std::size_t kZonesPerRow = 10;

}  // namespace

int MakeTag(const Driver& driver, const std::string& address, std::optional<int> blockCount, std::optional<int> mode,
            Tag& tag) {
    const AddressCheck check = CheckAddress(driver, address, blockCount);
    if (!check.valid) {
        std::string reason = ExplainRejection(address, blockCount);
        if (reason.empty()) reason = "the driver refuses it";
        PrintError("invalid address " + address + (blockCount ? " --block " + std::to_string(*blockCount) : "") + ": " + reason);
        return kExitInvalidAddress;
    }
    tag.address = address;
    tag.kind = check.kind;
    tag.number = check.number;
    tag.blockSize = blockCount.value_or(0);
    if (check.kind == kKindModeOfTag) {
        if (!mode) {
            PrintError("address " + address + " is the mode the host keeps for the tag: give its number with --mode N");
            return kExitUsage;
        }
        tag.number = *mode;
    } else if (mode) {
        PrintError("--mode is for the address S alone; " + address + " names its " + KindName(check.kind) + " itself");
        return kExitUsage;
    }
    return kExitOk;
}

ReadOutcome ReadTag(Connection& connection, const Tag& tag) {
    DrainLog(connection.log);  // what came before belongs to no request
    ReadOutcome outcome;
    if (tag.blockSize > 0) {
        if (auto values = ReadBlock(connection.instance, tag)) {
            outcome.ok = true;
            outcome.values = std::move(*values);
        }
    } else {
        outcome.value = ReadSingle(connection.instance, tag);
        outcome.ok = outcome.value.has_value();
    }
    const auto lines = DrainLog(connection.log);
    if (!outcome.ok) outcome.clues = FindClues(lines);
    return outcome;
}

bool WriteTag(Connection& connection, const Tag& tag, int value, FailureClues& clues) {
    DrainLog(connection.log);
    const bool written = WriteSingle(connection.instance, tag, value);
    const auto lines = DrainLog(connection.log);
    if (!written) clues = FindClues(lines);
    return written;
}

std::string DescribeFailure(const Connection& connection, const Tag& tag, const FailureClues& clues, const char* what) {
    std::string text = std::string(what) + " " + TagLabel(tag) + " on port " + PortLabel(connection) + ": ";
    if (clues.panelZones && *clues.panelZones == tag.blockSize) {
        // The driver compares only the low 8 bits of the block size, so 256 zones never match.
        return text + "the panel has " + std::to_string(*clues.panelZones) +
               " zones, but the driver compares the block size modulo 256: read the zones one by one";
    }
    if (clues.panelZones) {
        return text + "the panel has " + std::to_string(*clues.panelZones) + " zones: give --block " +
               std::to_string(*clues.panelZones);
    }
    const auto resolved = ResolvePortName(connection.portName);
    if (resolved && resolved->rule == PortRule::kNullDevice) {
        return text + "the panel did not answer after ten attempts: NUL is the null device, no panel is behind it";
    }
    return text + "the panel did not answer after ten attempts: " + DescribeClues(clues, connection.instance.station);
}

int FailureStatus(const FailureClues& clues) { return clues.panelZones ? kExitInvalidAddress : kExitNoAnswer; }

std::string ValueText(const Tag& tag, std::optional<int> value) {
    return TagLabel(tag) + " = " + (value ? std::to_string(*value) : std::string("--"));
}

std::string BlockTable(const BlockValues& values) {
    std::string table;
    char cell[32];
    table += "zone   ";
    for (std::size_t column = 0; column < kZonesPerRow; ++column) {
        std::snprintf(cell, sizeof cell, "%4s", ("+" + std::to_string(column)).c_str());
        table += cell;
    }
    table += "\n";
    for (std::size_t row = 0; row < values.size(); row += kZonesPerRow) {
        std::snprintf(cell, sizeof cell, "%03zu    ", row + 1);
        table += cell;
        for (std::size_t i = row; i < values.size() && i < row + kZonesPerRow; ++i) {
            std::snprintf(cell, sizeof cell, "%4s", values[i] ? std::to_string(*values[i]).c_str() : "--");
            table += cell;
        }
        table += "\n";
    }
    return table;
}

std::string ReadJson(const Connection& connection, const Tag& tag, const ReadOutcome& outcome) {
    JsonObject object;
    object.Add("port", connection.portName);
    const auto resolved = ResolvePortName(connection.portName);
    object.Add("device", resolved ? DeviceText(*resolved) : std::string());
    object.Add("address", tag.address).Add("kind", tag.kind).Add("kindName", KindName(tag.kind)).Add("number", tag.number);
    if (tag.blockSize > 0) {
        object.Add("block", tag.blockSize).Add("values", outcome.values);
    } else if (outcome.value) {
        object.Add("value", *outcome.value);
    } else {
        object.AddNull("value");
    }
    return object.Done();
}

}  // namespace kesmzn::tool
