#include "loamer/link/error_codes.h"

#include <cstdio>

#include "loamer/link/ui.h"

namespace loamer {

namespace {

struct ErrorEntry {
    ErrorCode code;
    const char* name;
    ReportGroup group;
    const char* body;
};

constexpr char kBodyBadReply[] =
    "\n\n"
    "The TQ4 sent the wrong or an invalid reply.\n\n"
    "Are you running the correct version of this\n"
    "software for the TQ4 you are using?\n\n"
    "If the problem persists contact Norvane.";
constexpr char kBodyLinOpenRead[] =
    "\n\n"
    "An error occurred while trying to open and read\n"
    "the Linearisation Table file in your PC.\n"
    "\tCheck that you have permission.\n"
    "\tCheck that the disk/file is still available.\n\n"
    " The Table was not sent to your TQ4.";
constexpr char kBodyUnrecognised[] = "LOAMER Error Report\n\nAn unrecognised error occurred ";

constexpr ErrorEntry kErrors[] = {
    {0, "ERR_NONE", ReportGroup::None,
     ""},
    {1, "ERR_CONNECT", ReportGroup::Communications,
     "\n\n"
     "An error occurred trying to connect to the TQ4.\n\n"
     "Check the connection:\n"
     "\tIs the RS232 cable plugged in correctly at both ends?\n"
     "\tIs the RS232 cable plugged in to the right serial port\n"
     "\t\tof your computer?\n"
     "\tHave you selected the correct COM Port setting?\n\n"
     "Check the TQ4\n"
     "\tIs the TQ4 responding to its keypad?\n"
     "\tIs the TQ4 set up in the remote communications mode?\n"
     "\tIs the TQ4 battery OK?\n"},
    {2, "ERR_PORT_OPEN", ReportGroup::Communications,
     "\n\n"
     "An error occurred trying to open the PC's COM port.\n"
     "\tHave you selected the correct COM Port setting?\n\n"
     "\tIs another application trying to use the COM Port?\n\n"},
    {3, "ERR_PORT_CLOSE", ReportGroup::Communications,
     "\n\n"
     "An error occurred trying to close the PC's COM port."},
    {4, "ERR_SEND", ReportGroup::Communications,
     "\n\n"
     "An Error occurred sending data to the TQ4"},
    {5, "ERR_RECEIVE", ReportGroup::Communications,
     "\n\n"
     "An Error occurred reading data from the TQ4"},
    {6, "ERR_BAD_REPLY", ReportGroup::Communications,
     kBodyBadReply},
    {7, "ERR_BAD_FRAME", ReportGroup::Communications,
     kBodyBadReply},
    {8, "ERR_METER_BUSY", ReportGroup::Communications,
     "\n\n"
     "The TQ4 appears to be busy."},
    {9, "ERR_METER_REFUSED", ReportGroup::Communications,
     kBodyBadReply},
    {10, "ERR_BAD_REPLY_10", ReportGroup::Communications,
     kBodyBadReply},
    {11, "ERR_FILE_NAME", ReportGroup::File,
     "\n\n"
     "A file name error occurred in the PC."},
    {12, "ERR_FILE_OPEN", ReportGroup::File,
     "\n\n"
     "An Error occurred opening the PC's file.\n"
     "\tCheck that there is enough disk space.\n"
     "\tCheck that you have permission.\n"
     "\tCheck that the disk/file is still available."},
    {21, "ERR_FILE_WRITE", ReportGroup::File,
     "\n\n"
     "An Error occurred writing to file on the PC\n"
     "\tCheck that there is enough disk space.\n"
     "\tCheck that you have permission.\n"
     "\tCheck that the disk/file is still available."},
    {22, "ERR_BAD_REPLY_22", ReportGroup::Communications,
     kBodyBadReply},
    {24, "ERR_BAD_REPLY_24", ReportGroup::Communications,
     kBodyBadReply},
    {26, "ERR_TIMEOUT", ReportGroup::Communications,
     "\n\n"
     "A Timeout error occurred trying to connect to the TQ4.\n\n"
     "Check the connection:\n"
     "\tIs the RS232 cable plugged in correctly at both ends?\n"
     "\tIs the RS232 cable plugged in to the right serial port\n"
     "\t\tof your computer?\n"
     "\tHave you selected the correct COM Port setting?\n\n"
     "Check the TQ4\n"
     "\tIs the TQ4 responding to its keypad?\n"
     "\tIs the TQ4 set up in the remote communications mode?\n"
     "\tIs the TQ4 battery OK?\n"},
    {27, "ERR_ABORTED", ReportGroup::Aborted,
     "\n\n"
     "The instruction was aborted\n"},
    {28, "ERR_MEMORY_CORRUPT", ReportGroup::Communications,
     "\n\n"
     "The memory in the TQ4 has become corrupted.\n\n"
     "Valid readings before the corruption have been collected."},
    {29, "ERR_LIN_NO_TITLE", ReportGroup::LinTable,
     "\n\n"
     "The Linearisation Table file is missing a Title.\n\n"
     " The Table was not sent to your TQ4."},
    {30, "ERR_LIN_OPEN", ReportGroup::LinTable,
     kBodyLinOpenRead},
    {31, "ERR_LIN_READ", ReportGroup::LinTable,
     kBodyLinOpenRead},
    {32, "ERR_LIN_CLOSE", ReportGroup::LinTable,
     "\n\n"
     "An error occurred while trying to close the \n"
     "Linearisation Table file in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {33, "ERR_LIN_UNEXPECTED_EOL", ReportGroup::LinTable,
     "\n\n"
     "An unexpected end of line was encountered while trying \n"
     "to read the Linearisation Table file in your PC.\n"
     "\tCheck the format of the file is correct.\n"
     "\tThe software found an end of line when a value,\n"
     "\tstring or comma was expected.\n\n"
     " The Table was not sent to your TQ4."},
    {34, "ERR_LIN_UNEXPECTED_COMMA", ReportGroup::LinTable,
     "\n\n"
     "An unexpected comma was encountered while trying \n"
     "to read the Linearisation Table file in your PC.\n"
     "\tCheck the format of the file is correct.\n"
     "\tThe software found a comma when a value,\n"
     "\tstring or end of line was expected.\n\n"
     " The Table was not sent to your TQ4."},
    {35, "ERR_LIN_LINE_TOO_LONG", ReportGroup::LinTable,
     "\n\n"
     "While trying to read the Linearisation Table file \n"
     "in your PC one of the lines was encountered which\n"
     "is longer than permitted.\n\n"
     " The Table was not sent to your TQ4."},
    {36, "ERR_LIN_UNEXPECTED_EOF", ReportGroup::LinTable,
     "\n\n"
     "An unexpected end of file was encountered while trying \n"
     "to read the Linearisation Table file in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {37, "ERR_LIN_TITLE_CHARS", ReportGroup::LinTable,
     "\n\n"
     "Invalid characters were found in the table title\n"
     "when reading the Linearisation Table file in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {38, "ERR_LIN_MISSING_COMMA", ReportGroup::LinTable,
     "\n\n"
     "One or more commas was found to be missing \n"
     "when reading the Linearisation Table file in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {39, "ERR_LIN_BAD_NUMBER", ReportGroup::LinTable,
     "\n\n"
     "An invalid number was found when reading the \n"
     "Linearisation Table file in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {40, "ERR_LIN_MISSING_VALUE", ReportGroup::LinTable,
     "\n\n"
     "A value was found to be missing when reading the \n"
     "Linearisation Table file in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {41, "ERR_LIN_MISSING_MV", ReportGroup::LinTable,
     "\n\n"
     "A milliVolt value was missing\n"
     "when reading the Linearisation Table file \n"
     "in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {42, "ERR_LIN_MV_ORDER", ReportGroup::LinTable,
     "\n\n"
     "The  milliVolt values are not correctly ordered\n"
     "into an ascending order \n"
     "in the Linearisation Table file \n"
     "in your PC.\n\n"
     "The Table was not sent to your TQ4."},
    {43, "ERR_LIN_BAD_FLOAT", ReportGroup::LinTable,
     "\n\n"
     "An invalid floating point number was found \n"
     "when reading the Linearisation Table file \n"
     "in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {44, "ERR_LIN_BAD_MV", ReportGroup::LinTable,
     "\n\n"
     "An invalid milliVolt value was found \n"
     "when reading the Linearisation Table file \n"
     "in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {45, "ERR_LIN_BAD_VALUE", ReportGroup::LinTable,
     "\n\n"
     "An invalid value was found \n"
     "when reading the Linearisation Table file \n"
     "in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {46, "ERR_LIN_FLOAT_FORMAT", ReportGroup::LinTable,
     "\n\n"
     "An invalid format to a floating point number\n"
     "was found when reading the Linearisation \n"
     "Table file in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {47, "ERR_LIN_VALUE_ORDER", ReportGroup::LinTable,
     "\n\n"
     "An invalid order of values was found \n"
     "when reading the Linearisation Table file \n"
     "in your PC.\n"
     "The table values must either all ascend or\n"
     "all descend in the table.\n\n"
     " The Table was not sent to your TQ4."},
    {48, "ERR_LIN_BAD_CHAR", ReportGroup::LinTable,
     "\n\n"
     "An unexpected character was found \n"
     "when reading the Linearisation Table file \n"
     "in your PC.\n\n"
     " The Table was not sent to your TQ4."},
    {49, "ERR_BAD_REPLY_49", ReportGroup::Communications,
     kBodyBadReply},
    {50, "ERR_READINGS_STORED", ReportGroup::LinTable,
     "\n\n"
     "The command was aborted\n"
     " because readings are stored in the Moisture Meter.\n\n"
     "If you have not already done so\n"
     "upload your readings to your PC.\n\n"
     "Then delete stored readings in the Moisture Meter.\n\n"
     "The Table was not sent to your TQ4."},
};

const ErrorEntry* FindEntry(ErrorCode code) {
    for (const ErrorEntry& e : kErrors) {
        if (e.code == code) return &e;
    }
    return nullptr;
}

const char* HeadingFormat(ReportGroup group) {
    switch (group) {
    case ReportGroup::None: return "";
    case ReportGroup::Communications: return "Communications Error\n\n Code: %d";
    case ReportGroup::File: return "File Error\n\n Code: %d";
    case ReportGroup::LinTable: return "Linearisation Table Error\n\n Code: %d";
    case ReportGroup::Unrecognised:
    case ReportGroup::Aborted: return "Code: %d ";
    }
    return "";
}

}  // namespace

const char* ErrorName(ErrorCode code) {
    const ErrorEntry* e = FindEntry(code);
    return e ? e->name : nullptr;
}

ReportGroup ErrorGroup(ErrorCode code) {
    const ErrorEntry* e = FindEntry(code);
    return e ? e->group : ReportGroup::Unrecognised;
}

const char* ErrorBody(ErrorCode code) {
    const ErrorEntry* e = FindEntry(code);
    return e ? e->body : kBodyUnrecognised;
}

std::string FormatErrorReport(ErrorCode code) {
    const ReportGroup group = ErrorGroup(code);
    if (group == ReportGroup::None) return {};
    // The heading prints the code as a signed number, as the report always has.
    char heading[50];
    std::snprintf(heading, sizeof heading, HeadingFormat(group), static_cast<int>(code));
    return std::string(heading) + ErrorBody(code);
}

void ShowErrorReport(ErrorCode code) {
    if (code == ERR_NONE) return;
    Ui().MessageBox(FormatErrorReport(code), BoxStyle::Exclamation);
}

}  // namespace loamer
