// What a terminal gets of meter bytes: nothing that can drive it.
#include <gtest/gtest.h>

#include "loamer/cli/term_ui.h"

namespace {

TEST(TerminalSafeText, ControlsBecomeQuestionMarksAndTextStays) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"KR5 Loam\tReady\r\n", "KR5 Loam\tReady\r\n"},  // tab and line ends stay
        {"\x1b[2J\x07\x08", "?[2J??"},                   // C0 controls
        {std::string("a\0b", 3), "a?b"},
        {"\x7f", "?"},                                   // DEL
        {"\x9b" "2J", "?2J"},                            // a lone C1 byte (CSI)
        {"\xc2\x9b" "2J", "?2J"},                        // C1 as UTF-8: one mark
        {"Sch\xc3\xa4tzung \xe2\x82\xac", "Sch\xc3\xa4tzung \xe2\x82\xac"},  // UTF-8 text
        {"caf\xe9 \xa0", "caf\xe9 \xa0"},                // Latin-1 text above the C1 range
        {"\xe2\x82", "\xe2?"},                           // a cut sequence leaves a lone C1 byte
    };
    for (const auto& c : cases) EXPECT_EQ(loamer::TerminalSafeText(c.in), c.out) << c.in;
}

}  // namespace
