// What the panel holds and how it answers a command.
#pragma once

#include "kesmzn_sim/frame.h"
#include "kesmzn_sim/panel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kesmzn::sim {

struct PanelState {
    std::vector<std::uint8_t> zones;                   // zone n at index n - 1
    std::array<std::uint8_t, kModeCount + 1> modes{};  // mode n at index n
};

PanelState initialState(const PanelConfig& config);

enum class Verdict : std::uint8_t { Answer, WrongPassword, OutOfRange };

// password: the four characters the panel accepts; nullopt accepts any.
Verdict judge(const PanelState& state, const Command& command,
              const std::optional<std::string>& password);

// Carries out a command that judge() let through and returns its reply line.
std::string perform(PanelState& state, const Command& command, bool d5, bool corruptLrc);

}  // namespace kesmzn::sim
