#include "host/driver_info.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "host/instance.h"
#include "host/requests.h"

namespace kesmzn::host {

const NameRecord kNameRecord = {"MZN - MINTZ ", "MINTZ - EAGEL system"};

namespace {

// Code page 437 box characters, as the bytes the host's console shows.
constexpr char kDoubleDownRight = '\xC9';
constexpr char kDoubleHorizontal = '\xCD';
constexpr char kDoubleDownLeft = '\xBB';
constexpr char kDoubleVertical = '\xBA';
constexpr char kDoubleUpRight = '\xC8';
constexpr char kDoubleUpLeft = '\xBC';
constexpr char kFullBlock = '\xDB';
constexpr char kDarkShade = '\xB2';
constexpr char kMediumShade = '\xB1';
constexpr char kLightShade = '\xB0';

constexpr std::size_t kInnerColumns = 59;
constexpr std::size_t kLineLength = 1 + 1 + kInnerColumns + 1 + 1;  // blank, side, inner, side, LF
constexpr std::size_t kBannerLength = 1 + 5 * kLineLength;          // leading LF, five lines

constexpr std::string_view kVersionText = "Version " KESMZN_VERSION_TEXT;
static_assert(kVersionText.size() <= kInnerColumns);

struct BannerWriter {
    std::array<char, kBannerLength + 1> text{};
    std::size_t at = 0;

    constexpr void Put(char c, std::size_t times = 1) {
        for (std::size_t i = 0; i < times; ++i) text[at++] = c;
    }
    constexpr void Put(std::string_view s) {
        for (char c : s) text[at++] = c;
    }
    constexpr void Edge(char left, char right) {
        Put(' ');
        Put(left);
        Put(kDoubleHorizontal, kInnerColumns);
        Put(right);
        Put('\n');
    }
    constexpr void Row(std::size_t leftBlanks, std::string_view middle) {
        Put(' ');
        Put(kDoubleVertical);
        Put(' ', leftBlanks);
        Put(middle);
        Put(' ', kInnerColumns - leftBlanks - middle.size());
        Put(kDoubleVertical);
        Put('\n');
    }
};

constexpr std::array<char, kBannerLength + 1> MakeBanner() {
    BannerWriter w;
    w.Put('\n');
    w.Edge(kDoubleDownRight, kDoubleDownLeft);

    w.Put(' ');
    w.Put(kDoubleVertical);
    w.Put(' ');
    w.Put(kFullBlock, 5);
    w.Put(kDarkShade, 6);
    w.Put(kMediumShade, 6);
    w.Put(kLightShade, 6);
    w.Put(" K E S M Z ");
    w.Put(kLightShade, 6);
    w.Put(kMediumShade, 6);
    w.Put(kDarkShade, 6);
    w.Put(kFullBlock, 5);
    w.Put(' ');
    w.Put(kDoubleVertical);
    w.Put('\n');

    w.Row(11, "MINTZ - EAGEL system, driver Installed.");
    w.Row((kInnerColumns - kVersionText.size()) / 2, kVersionText);
    w.Edge(kDoubleUpRight, kDoubleUpLeft);
    w.text[w.at] = '\0';
    return w.text;
}

constexpr auto kBannerText = MakeBanner();
static_assert(kBannerText[kBannerLength] == '\0' && kBannerText[kBannerLength - 1] == '\n');

}  // namespace

const char* const kBanner = kBannerText.data();

int DriverInfo(RequestBlock* request) {
    auto* info = static_cast<DriverInfoData*>(request->data);
    if (info == nullptr) return KES_FAILED;
    info->fixed70 = 70;
    info->names = &kNameRecord;
    info->banner = kBanner;
    info->instanceSize = kInstanceSize;
    info->fixed4 = 4;
    info->baud = 4800;
    info->dataBits = 8;
    info->stopBits = 0;
    info->parity = 0;
    info->fixed1 = 1;
    return KES_OK;
}

}  // namespace kesmzn::host
