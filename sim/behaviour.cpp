#include "behaviour.h"

#include "replies.h"

namespace kesmzn::sim {

PanelState initialState(const PanelConfig& config) {
    PanelState state;
    state.zones.assign(config.zones, 1);
    for (std::size_t i = 0; i < config.zoneStates.size() && i < state.zones.size(); ++i) {
        state.zones[i] = config.zoneStates[i];
    }
    state.modes = config.modes;
    state.modes[0] = 0;
    return state;
}

Verdict judge(const PanelState& state, const Command& command,
              const std::optional<std::string>& password) {
    if (password && command.password != *password) return Verdict::WrongPassword;
    switch (command.kind) {
    case CommandKind::ModeQuery:
    case CommandKind::ModeSet:
        return command.number >= 1 && command.number <= kModeCount ? Verdict::Answer : Verdict::OutOfRange;
    case CommandKind::PointQuery:
    case CommandKind::ZoneSet:
        return command.number >= 1 && command.number <= state.zones.size() ? Verdict::Answer
                                                                          : Verdict::OutOfRange;
    case CommandKind::BlockQuery:
        return Verdict::Answer;
    }
    return Verdict::OutOfRange;
}

std::string perform(PanelState& state, const Command& command, bool d5, bool corruptLrc) {
    switch (command.kind) {
    case CommandKind::ModeQuery:
        return modeReply(command, state.modes[command.number], d5, corruptLrc);
    case CommandKind::PointQuery:
        return pointReply(command, state.zones[command.number - 1], d5, corruptLrc);
    case CommandKind::BlockQuery:
        return blockReply(state.zones, d5, corruptLrc);
    case CommandKind::ModeSet:
        state.modes[command.number] = static_cast<std::uint8_t>(command.value);
        return setReply(command, corruptLrc);
    case CommandKind::ZoneSet:
        state.zones[command.number - 1] = static_cast<std::uint8_t>(command.value);
        return setReply(command, corruptLrc);
    }
    return {};
}

}  // namespace kesmzn::sim
