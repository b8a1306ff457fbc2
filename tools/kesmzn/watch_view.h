// The live view of `kesmzn watch`, drawn with ncurses: a heading, the zones as a grid with each state
// in its own colour, the selected zone, and the latest panel events and failures under it.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kesmzn::tool {

struct WatchScreen {
    std::string heading;
    std::vector<std::optional<int>> values;  // one per zone; empty: not read yet
    int selected = 0;                        // index into values
    std::string status;                      // the state of the last refresh or key
    std::deque<std::string> events;          // newest last
};

// Sets the terminal up (colours, keys, no echo). False when there is no usable terminal.
bool StartScreen();
void EndScreen();

// Draws the whole screen.
void DrawScreen(const WatchScreen& screen);

// The grid's columns at the terminal's width, for moving up and down.
int GridColumns();

// The next key within timeoutMs, or -1.
int NextKey(int timeoutMs);

}  // namespace kesmzn::tool
