#include <gtest/gtest.h>

#include <cstring>

#include "loamer/link/error_codes.h"
#include "tests/support/recording_ui.h"

using namespace loamer;

namespace {

const char kTimeoutBody[] =
    "\n\nA Timeout error occurred trying to connect to the TQ4.\n\nCheck the connection:\n"
    "\tIs the RS232 cable plugged in correctly at both ends?\n"
    "\tIs the RS232 cable plugged in to the right serial port\n\t\tof your computer?\n"
    "\tHave you selected the correct COM Port setting?\n\nCheck the TQ4\n"
    "\tIs the TQ4 responding to its keypad?\n"
    "\tIs the TQ4 set up in the remote communications mode?\n\tIs the TQ4 battery OK?\n";

const char kInvalidReplyBody[] =
    "\n\nThe TQ4 sent the wrong or an invalid reply.\n\nAre you running the correct version of "
    "this\nsoftware for the TQ4 you are using?\n\nIf the problem persists contact Norvane.";

TEST(ErrorReport, CompleteMessagesOfEachGroup) {
    EXPECT_EQ(FormatErrorReport(26), std::string("Communications Error\n\n Code: 26") + kTimeoutBody);
    EXPECT_EQ(FormatErrorReport(27), "Code: 27 \n\nThe instruction was aborted\n");
    EXPECT_EQ(FormatErrorReport(99),
              "Code: 99 LOAMER Error Report\n\nAn unrecognised error occurred ");
    EXPECT_EQ(FormatErrorReport(12),
              "File Error\n\n Code: 12\n\nAn Error occurred opening the PC's file.\n"
              "\tCheck that there is enough disk space.\n\tCheck that you have permission.\n"
              "\tCheck that the disk/file is still available.");
    EXPECT_EQ(FormatErrorReport(42),
              "Linearisation Table Error\n\n Code: 42\n\nThe  milliVolt values are not correctly "
              "ordered\ninto an ascending order \nin the Linearisation Table file \nin your PC.\n\n"
              "The Table was not sent to your TQ4.");
    EXPECT_EQ(FormatErrorReport(50),
              "Linearisation Table Error\n\n Code: 50\n\nThe command was aborted\n because readings "
              "are stored in the Moisture Meter.\n\nIf you have not already done so\nupload your "
              "readings to your PC.\n\nThen delete stored readings in the Moisture Meter.\n\n"
              "The Table was not sent to your TQ4.");
    EXPECT_EQ(FormatErrorReport(2),
              "Communications Error\n\n Code: 2\n\nAn error occurred trying to open the PC's COM "
              "port.\n\tHave you selected the correct COM Port setting?\n\n\tIs another "
              "application trying to use the COM Port?\n\n");
    EXPECT_EQ(FormatErrorReport(28),
              "Communications Error\n\n Code: 28\n\nThe memory in the TQ4 has become corrupted.\n\n"
              "Valid readings before the corruption have been collected.");
}

TEST(ErrorReport, SharedBodiesDifferOnlyInTheNumber) {
    for (ErrorCode code : {6u, 7u, 9u, 10u, 22u, 24u, 49u}) {
        EXPECT_EQ(FormatErrorReport(code),
                  "Communications Error\n\n Code: " + std::to_string(code) + kInvalidReplyBody)
            << code;
    }
    EXPECT_STREQ(ErrorBody(30), ErrorBody(31));
    EXPECT_EQ(ErrorGroup(31), ReportGroup::LinTable);
}

TEST(ErrorReport, UnrecognisedCodesUseTheBareHeading) {
    for (ErrorCode code : {13u, 20u, 23u, 25u, 51u, 1000u}) {
        EXPECT_EQ(FormatErrorReport(code), "Code: " + std::to_string(code) +
                                               " LOAMER Error Report\n\nAn unrecognised error occurred ")
            << code;
        EXPECT_EQ(ErrorName(code), nullptr);
    }
    // The heading prints the number as a signed one.
    EXPECT_EQ(FormatErrorReport(0xFFFFFFFFu).rfind("Code: -1 ", 0), 0u);
}

TEST(ErrorReport, GroupsAndNames) {
    EXPECT_EQ(ErrorGroup(0), ReportGroup::None);
    for (ErrorCode c : {1u, 2u, 3u, 4u, 5u, 8u, 26u, 28u}) EXPECT_EQ(ErrorGroup(c), ReportGroup::Communications) << c;
    for (ErrorCode c : {11u, 12u, 21u}) EXPECT_EQ(ErrorGroup(c), ReportGroup::File) << c;
    for (ErrorCode c = 29; c <= 48; ++c) EXPECT_EQ(ErrorGroup(c), ReportGroup::LinTable) << c;
    EXPECT_EQ(ErrorGroup(27), ReportGroup::Aborted);
    EXPECT_STREQ(ErrorName(26), "ERR_TIMEOUT");
    EXPECT_STREQ(ErrorName(50), "ERR_READINGS_STORED");
    EXPECT_STREQ(ErrorName(35), "ERR_LIN_LINE_TOO_LONG");
}

TEST(ErrorReport, TextsFitTheirBuffers) {
    std::size_t longest = 0;
    ErrorCode longestCode = 0;
    for (ErrorCode code = 0; code <= 60; ++code) {
        const std::size_t n = std::strlen(ErrorBody(code));
        EXPECT_LT(n, 500u);
        EXPECT_LT(FormatErrorReport(code).size() - n, 50u);
        if (n > longest) {
            longest = n;
            longestCode = code;
        }
    }
    EXPECT_EQ(longest, 391u);
    EXPECT_EQ(longestCode, 26u);
}

TEST(ErrorReport, ShowsOneExclamationBoxAndNoneForSuccess) {
    RecordingUi ui;
    ScopedUi scope(&ui);
    ShowErrorReport(ERR_NONE);
    EXPECT_TRUE(ui.boxes.empty());
    ShowErrorReport(ERR_METER_BUSY);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].style, BoxStyle::Exclamation);
    EXPECT_EQ(ui.boxes[0].text, "Communications Error\n\n Code: 8\n\nThe TQ4 appears to be busy.");
}

}  // namespace
