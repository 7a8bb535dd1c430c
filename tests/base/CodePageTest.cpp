#include "base/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int c = 1; c < 256; ++c) {
        all += static_cast<char>(c);
    }
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(CodePage, KnownCharacters) {
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(Cp1252ToUtf8("\xE9"), "\xC3\xA9");     // e acute
    EXPECT_EQ(Utf8ToCp1252("Stra\xC3\x9F"
                           "e"),
              "Stra\xDF"
              "e");
    EXPECT_EQ(Utf8ToCp1252("\xE2\x80\x9Cq\xE2\x80\x9D"), "\x93q\x94");
}

TEST(CodePage, WhatTheCodePageCannotHoldBecomesAQuestionMark) {
    EXPECT_EQ(Utf8ToCp1252("\xE6\x97\xA5"), "?");       // a CJK character
    EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x94\xA7x"), "?x"); // outside the basic plane
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?");             // cut-off sequence
    EXPECT_EQ(Utf8ToCp1252("\xFF\x80z"), "??z");        // not UTF-8 at all
}

} // namespace
