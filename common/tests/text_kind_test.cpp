// The kind rule and the cutting of quoted outside data in log lines.
#include <gtest/gtest.h>

#include "log_text.h"
#include "media_kind.h"

using vistamo::lens::MediaKind;
using vistamo::lens::mediaKindOf;
using vistamo::text::forLog;

TEST(MediaKindRule, TwoLensOneLensAndEverythingElse) {
    EXPECT_EQ(mediaKindOf("6_952_960_960"), MediaKind::Twins);
    EXPECT_EQ(mediaKindOf("5_700_720"), MediaKind::Sphere);
    // Older two-lens layouts are stitched by the engine but not chosen for the view.
    EXPECT_EQ(mediaKindOf("2_952_960"), MediaKind::Standard);
    EXPECT_EQ(mediaKindOf("6"), MediaKind::Standard);
    EXPECT_EQ(mediaKindOf(" 6_1"), MediaKind::Standard);
    EXPECT_EQ(mediaKindOf(""), MediaKind::Standard);
}

TEST(LogQuotes, LongTextsAreCutWithTheirSizeAndNeverMidCharacter) {
    EXPECT_EQ(forLog("6_952_960"), "6_952_960");
    const std::string big(60000, '7');
    const std::string cut = forLog(big);
    EXPECT_EQ(cut, std::string(200, '7') + "\u2026 (60000 bytes)");
    // "é" is two bytes: a cut at 3 would split the second one.
    EXPECT_EQ(forLog("aéé", 4), "aé\u2026 (5 bytes)");
    EXPECT_EQ(forLog("line\nforged\r\x1b[2J"), "line?forged??[2J");
}
