#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/rtl/Masks.h"

namespace {

TEST(Masks, WildcardsSetsAndCase) {
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    } cases[] = {
        {"NOTA.TXT", "*.txt", true},   {"nota.txt", "NOTA.*", true},    {"nota", "*.*", false},
        {"abc", "a?c", true},          {"ac", "a?c", false},            {"abc", "*", true},
        {"", "*", true},               {"", "?", false},                {"abc", "", false},
        {"", "", true},                {"b1", "[a-c]1", true},          {"d1", "[a-c]1", false},
        {"B1", "[a-c]1", true},        {"x", "[!x]", false},            {"y", "[!x]", true},
        {"aXb", "a[xyz]b", true},      {"a-b", "a[-]b", true},          {"abcabc", "*abc", true},
        {"ação.pdf", "a??o.*", true},  {"AÇÃO", "ação", true},          {"ç", "?", true},
        {"é", "[à-ú]", true},          {"nfe123.xml", "nfe*[0-9].xml", true},
        {"mississippi", "m*iss*ppi", true}, {"mississippi", "m*iss*ppx", false},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
}

TEST(Masks, InvalidMasksRaise) {
    for (const char* bad : {"[abc", "a[", "[]", "[!]", "[a-]"}) {
        try {
            MatchesMask("a", bad);
            FAIL() << bad;
        } catch (const EMaskException& e) {
            EXPECT_EQ(e.Message().rfind("Invalid mask", 0), 0u) << e.Message();
        }
    }
}

TEST(Masks, PathologicalMaskEndsQuickly) {
    std::string name(4000, 'a');
    std::string mask;
    for (int i = 0; i < 200; ++i) mask += "*a";
    mask += "b";
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MatchesMask(name, mask));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
