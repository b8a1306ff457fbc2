#include "watch_view.h"

#include <curses.h>

#include <algorithm>
#include <cstdio>

namespace kesmzn::tool {
namespace {

constexpr int kCellWidth = 9;  // "[001:255]"
constexpr int kGridTop = 3;

enum ColourPair : short { kStateOne = 1, kStateTwo = 2, kStateOther = 3, kStateUnknown = 4, kHeading = 5 };

short PairFor(const std::optional<int>& value) {
    if (!value) return kStateUnknown;
    if (*value == 1) return kStateOne;
    if (*value == 2) return kStateTwo;
    return kStateOther;
}

void PutLine(int row, const std::string& text) {
    if (row >= LINES) return;
    mvaddnstr(row, 0, text.c_str(), COLS);
}

void DrawLegend(int row) {
    if (row >= LINES) return;
    move(row, 0);
    addstr("arrows select  1/2 set the zone  q quits   states: ");
    const struct {
        short pair;
        const char* text;
    } items[] = {{kStateOne, " 1 "}, {kStateTwo, " 2 "}, {kStateOther, " other "}, {kStateUnknown, " -- not read "}};
    for (const auto& item : items) {
        attron(COLOR_PAIR(item.pair));
        addstr(item.text);
        attroff(COLOR_PAIR(item.pair));
        addstr(" ");
    }
}

}  // namespace

bool StartScreen() {
    if (newterm(nullptr, stdout, stdin) == nullptr) return false;
    raw();  // Ctrl-C arrives as a key: the view ends in order, like q
    noecho();
    keypad(stdscr, TRUE);
    curs_set(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
        init_pair(kStateOne, COLOR_GREEN, -1);
        init_pair(kStateTwo, COLOR_RED, -1);
        init_pair(kStateOther, COLOR_YELLOW, -1);
        init_pair(kStateUnknown, COLOR_BLUE, -1);
        init_pair(kHeading, COLOR_CYAN, -1);
    }
    return true;
}

void EndScreen() {
    if (!isendwin()) endwin();
}

int GridColumns() { return std::max(1, COLS / kCellWidth); }

void DrawScreen(const WatchScreen& screen) {
    erase();
    attron(A_BOLD | COLOR_PAIR(kHeading));
    PutLine(0, screen.heading);
    attroff(A_BOLD | COLOR_PAIR(kHeading));
    DrawLegend(1);

    const int columns = GridColumns();
    const int zones = static_cast<int>(screen.values.size());
    int row = kGridTop;
    for (int zone = 0; zone < zones; ++zone) {
        row = kGridTop + zone / columns;
        if (row >= LINES) break;
        const auto& value = screen.values[static_cast<std::size_t>(zone)];
        char cell[32];
        std::snprintf(cell, sizeof cell, "%03d:%s", zone + 1, value ? std::to_string(*value).c_str() : "--");
        const bool selected = zone == screen.selected;
        move(row, (zone % columns) * kCellWidth);
        addch(selected ? '[' : ' ');
        const attr_t look = COLOR_PAIR(PairFor(value)) | (selected ? A_REVERSE | A_BOLD : A_NORMAL);
        attron(look);
        addstr(cell);
        attroff(look);
        addch(selected ? ']' : ' ');
    }
    row = (zones == 0 ? kGridTop : row + 1) + 1;
    PutLine(row++, screen.status);
    ++row;
    attron(A_BOLD);
    PutLine(row++, "panel events and failures (driver log):");
    attroff(A_BOLD);
    const int room = std::max(0, LINES - row);
    const std::size_t shown = std::min(screen.events.size(), static_cast<std::size_t>(room));
    for (std::size_t i = screen.events.size() - shown; i < screen.events.size(); ++i) PutLine(row++, screen.events[i]);
    refresh();
}

int NextKey(int timeoutMs) {
    timeout(std::max(0, timeoutMs));
    const int key = getch();
    return key == ERR ? -1 : key;
}

}  // namespace kesmzn::tool
