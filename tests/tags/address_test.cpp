#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kesmzn.h"

namespace {

constexpr int kUntouched = -77;

struct Outcome {
    int result;
    int kind;
    int number;
};

// Runs request 3 or 4 through KesMain with every out field primed, so an untouched field shows.
Outcome Check(const char* text, std::uint32_t code = KES_REQUEST_CHECK_ADDRESS, int count = 1,
              AddressCheckData* seen = nullptr) {
    AddressCheckData data;
    std::memset(&data, 0x5A, sizeof data);
    data.text = text;
    data.count = count;
    data.kind = kUntouched;
    data.number = kUntouched;
    RequestBlock request{};
    request.code = code;
    request.data = &data;
    const int result = KesMain(&request);
    if (seen != nullptr) *seen = data;
    return {result, data.kind, data.number};
}

struct AddressCase {
    const char* text;
    Outcome expected;
};

TEST(CheckAddress, AcceptsTheThreeFormsAndNothingElse) {
    const AddressCase cases[] = {
        {"S", {0, 0, kUntouched}},
        {"s", {0, 0, kUntouched}},
        {"S 5", {0, 0, kUntouched}},  // a blank in the middle: the mode of the tag
        {"S1", {0, 1, 1}},
        {"s1", {0, 1, 1}},
        {"S07", {0, 1, 7}},
        {"S19", {0, 1, 19}},
        {"S1      ", {0, 1, 1}},  // trailing blanks up to the form's width
        {"S0", {1, 1, 0}},        // numbered modes run from 1 to 19: kind is set, the check fails
        {"S00", {1, 1, 0}},
        {"S20", {1, kUntouched, kUntouched}},  // the second character may only be 0, 1 or a blank
        {"S5", {1, kUntouched, kUntouched}},
        {"S191", {1, kUntouched, kUntouched}},
        {"007", {0, 2, 7}},
        {"001", {0, 2, 1}},
        {"000", {0, 2, 0}},
        {"999", {0, 2, 999}},
        {"7", {1, kUntouched, kUntouched}},  // a zone needs exactly three digits
        {"07", {1, kUntouched, kUntouched}},
        {"0071", {1, kUntouched, kUntouched}},
        {"00A", {1, kUntouched, kUntouched}},
        {" 007", {1, kUntouched, kUntouched}},
        {"", {1, kUntouched, kUntouched}},
        {"X1", {1, kUntouched, kUntouched}},
        {"007     ", {0, 2, 7}},               // eight characters: still fits
        {"007      ", {1, kUntouched, kUntouched}},  // nine: longer than the form, refused
        {"S1xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", {1, kUntouched, kUntouched}},
    };
    for (const auto& c : cases) {
        const Outcome got = Check(c.text);
        EXPECT_EQ(got.result, c.expected.result) << '"' << c.text << '"';
        EXPECT_EQ(got.kind, c.expected.kind) << '"' << c.text << '"';
        EXPECT_EQ(got.number, c.expected.number) << '"' << c.text << '"';
    }
}

TEST(CheckAddress, SetsTheFixedOutFieldsForEveryAddress) {
    for (const char* text : {"S1", "007", "bad address", "0071", ""}) {
        AddressCheckData seen;
        Check(text, KES_REQUEST_CHECK_ADDRESS, 1, &seen);
        EXPECT_EQ(seen.outZero, 0) << text;
        EXPECT_EQ(seen.outMaxValue, 255) << text;
        EXPECT_EQ(seen.outSlotBits, 16) << text;
    }
}

TEST(CheckAddress, RefusesMissingRecordsWithoutCrashing) {
    RequestBlock request{};
    request.code = KES_REQUEST_CHECK_ADDRESS;
    EXPECT_EQ(KesMain(&request), 1);
    AddressCheckData data{};
    data.text = nullptr;
    request.data = &data;
    EXPECT_EQ(KesMain(&request), 1);
}

TEST(CheckBlockAddress, OnlyZoneOneWithOneTo256Values) {
    struct Case {
        const char* text;
        int count;
        int result;
    } cases[] = {
        {"001", 16, 0}, {"001", 1, 0},  {"001", 256, 0}, {"001", 257, 1}, {"001", 0, 1},
        {"001", -1, 1}, {"002", 16, 1}, {"S1", 16, 1},   {"S", 16, 1},    {"0071", 16, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check(c.text, KES_REQUEST_CHECK_BLOCK_ADDRESS, c.count).result, c.result)
            << c.text << " count " << c.count;
    }
}

TEST(CheckBlockAddress, ReportsKindAndNumberLikeTheSingleCheck) {
    const Outcome got = Check("001", KES_REQUEST_CHECK_BLOCK_ADDRESS, 16);
    EXPECT_EQ(got.kind, 2);
    EXPECT_EQ(got.number, 1);
}

}  // namespace
