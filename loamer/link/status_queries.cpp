#include "loamer/link/status_queries.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "loamer/link/comm_port.h"
#include "loamer/link/meter_commands.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/link/ui.h"

namespace loamer {

namespace {

constexpr char kStatusRequest[] = "I\r\n";
constexpr char kClockRequest[] = "F\r\n";
// Slot ids a meter may report in a table header.
constexpr char kReportedSlotIds[] = "01234569CDEGF";

// Wakes the meter and reads the 28-byte status reply, checked up to its 'N'.
ErrorCode ReadStatusReply(unsigned char (&reply)[kStatusReplySize]) {
    std::memset(reply, 0, sizeof reply);
    WaitCursorScope cursor;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return rc;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    if (ErrorCode rc = WriteCommPort(kStatusRequest, kStatus.request); rc != ERR_NONE) return rc;
    if (ErrorCode rc = ReadCommPort(reply, sizeof reply); rc != ERR_NONE) return rc;
    return CheckStatusFrame(reply);
}

// The reply as zero-terminated text, so that the scans run on it in place (each field's width
// is what separates it from the next) without reading past its end.
struct ReplyText {
    char text[kStatusReplySize + 1];
    explicit ReplyText(const unsigned char (&reply)[kStatusReplySize]) {
        std::memcpy(text, reply, kStatusReplySize);
        text[kStatusReplySize] = '\0';
    }
};

bool ScanUnsigned(const char* at, const char* format, int maxWidth, unsigned& value) {
    int consumed = 0;
    if (std::sscanf(at, format, &value, &consumed) != 1) return false;
    return consumed >= 1 && consumed <= maxWidth;
}

std::size_t PartOffset(int part, int slot) {
    switch (part) {
    case 1: return kTablePart1Offset + 18u * static_cast<std::size_t>(slot);
    case 2: return kTablePart2Offset + 125u * static_cast<std::size_t>(slot);
    default: return kTablePart3Offset + 125u * static_cast<std::size_t>(slot);
    }
}

bool IsPointChar(unsigned char c) {
    return std::ispunct(c) || std::isdigit(c) || std::isspace(c);
}

bool PointsValid(const unsigned char* points, int n) {
    for (int i = 0; i < n * 12; ++i) {
        if (!IsPointChar(points[i])) return false;
    }
    return true;
}

}  // namespace

ErrorCode CheckStatusFrame(const unsigned char (&reply)[kStatusReplySize]) {
    if (reply[26] != '\r' || reply[27] != '\n') return ERR_BAD_FRAME;
    if (reply[0] != kStatus.replyLetter) return ERR_BAD_REPLY;
    return ERR_NONE;
}

ErrorCode DecodeBattery(const unsigned char (&reply)[kStatusReplySize], float& level) {
    char field[4];
    std::memcpy(field, reply + 7, 3);
    field[3] = '\0';
    int consumed = 0;
    if (std::sscanf(field, "%f%n", &level, &consumed) != 1) return ERR_BAD_FRAME;
    return ERR_NONE;
}

ErrorCode DecodeVersion(const unsigned char (&reply)[kStatusReplySize], char (&text)[7]) {
    std::memcpy(text, reply + 1, 6);
    text[6] = '\0';
    for (int i = 0; i < 5; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 128) return ERR_BAD_FRAME;
    }
    return ERR_NONE;
}

ErrorCode DecodeMemory(const unsigned char (&reply)[kStatusReplySize], MeterMemoryStatus& status) {
    const ReplyText r(reply);
    unsigned value = 0;
    if (!ScanUnsigned(r.text + 10, "%5u%n", 5, value) || value > kMaxMemoryUnits) return ERR_BAD_FRAME;
    status.freeUnits = value;
    if (!ScanUnsigned(r.text + 15, "%5u%n", 5, value) || value > kMaxMemoryUnits) return ERR_BAD_FRAME;
    status.usedUnits = value;
    if (!ScanUnsigned(r.text + 20, "%6u%n", 6, value)) return ERR_BAD_FRAME;
    status.readingsStored = value;
    return ERR_NONE;
}

ErrorCode CheckClockReply(const unsigned char (&reply)[kClockRecordSize]) {
    if (reply[16] != '\r' || reply[17] != '\n') return ERR_BAD_FRAME;
    if (reply[0] != kClockRead.replyLetter) return ERR_BAD_REPLY;
    return ERR_NONE;
}

ErrorCode GetMeterBattery(float& level) {
    unsigned char reply[kStatusReplySize];
    if (ErrorCode rc = ReadStatusReply(reply); rc != ERR_NONE) return rc;
    return DecodeBattery(reply, level);
}

ErrorCode GetMeterVersion(char (&text)[7]) {
    unsigned char reply[kStatusReplySize];
    if (ErrorCode rc = ReadStatusReply(reply); rc != ERR_NONE) return rc;
    return DecodeVersion(reply, text);
}

ErrorCode GetMeterMemory(MeterMemoryStatus& status) {
    unsigned char reply[kStatusReplySize];
    if (ErrorCode rc = ReadStatusReply(reply); rc != ERR_NONE) return rc;
    return DecodeMemory(reply, status);
}

ErrorCode GetMeterClock(unsigned char (&reply)[kClockRecordSize]) {
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    const ErrorCode written = WriteCommPort(kClockRequest, kClockRead.request);
    WaitCursorScope cursor;
    if (written != ERR_NONE) return written;
    if (ErrorCode rc = ReadCommPort(reply, sizeof reply); rc != ERR_NONE) return rc;
    return CheckClockReply(reply);
}

ErrorCode JudgeTableSlot(const MeterTablesImage& image, int slot) {
    const unsigned char* part1 = image.bytes + PartOffset(1, slot);
    const unsigned char first[3] = {part1[0], image.bytes[PartOffset(2, slot)],
                                    image.bytes[PartOffset(3, slot)]};
    if (first[0] == '!' && first[1] == '!' && first[2] == '!') return ERR_NONE;
    if (first[0] != 'B' || first[1] != 'B' || first[2] != 'B') return ERR_BAD_REPLY;
    if (part1[3] != '0' && part1[3] != '1' && part1[3] != '2') return ERR_BAD_REPLY;
    if (part1[2] == '\0' || std::strchr(kReportedSlotIds, static_cast<char>(part1[2])) == nullptr)
        return ERR_BAD_REPLY;
    return ERR_NONE;
}

ErrorCode ReadMeterTables(MeterTablesImage& image) {
    image.bytes[2680] = '\r';
    image.bytes[2681] = '\n';
    WaitCursorScope cursor;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return rc;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;

    for (int slot = 0; slot < 10; ++slot) {
        for (int part = 1; part <= 3; ++part) {
            Ui().RestoreWaitCursor();
            const char request[5] = {kTableRead.letter, static_cast<char>('0' + part),
                                     kTableSlotIds[slot], '\r', '\n'};
            if (ErrorCode rc = WriteCommPort(request, kTableRead.request); rc != ERR_NONE) return rc;
            unsigned char* answer = image.bytes + PartOffset(part, slot);
            const std::size_t length = part == 1 ? kTableRead.reply : kTablePointsReply;
            if (ErrorCode rc = ReadCommPort(answer, length); rc != ERR_NONE) return rc;
            if (answer[0] == '!') {
                if (answer[1] != '\r' || answer[2] != '\n') return ERR_BAD_FRAME;
            } else if (answer[length - 2] != '\r' || answer[length - 1] != '\n') {
                return ERR_BAD_FRAME;
            }
        }
        if (ErrorCode rc = JudgeTableSlot(image, slot); rc != ERR_NONE) return rc;
    }
    return ERR_NONE;
}

ErrorCode ParseTablesStatus(TablesStatus& status, const MeterTablesImage& image) {
    ErrorCode result = ERR_NONE;
    for (int slot = 0; slot < 10; ++slot) {
        const unsigned char* part1 = image.bytes + PartOffset(1, slot);
        const unsigned char* part2 = image.bytes + PartOffset(2, slot);
        const unsigned char* part3 = image.bytes + PartOffset(3, slot);
        if (part1[0] == '!') continue;

        std::memcpy(status.names[slot], part1 + 4, 10);
        status.names[slot][10] = '\0';

        // The count field with the line end behind it, as the scan sees it in the reply.
        char countField[5];
        std::memcpy(countField, part1 + 14, 4);
        countField[4] = '\0';
        unsigned count = 0;
        int consumed = 0;
        const int stored = std::sscanf(countField, "%2u%n", &count, &consumed);
        status.pointCounts[slot] = static_cast<std::int32_t>(count);
        if (stored != 1 || consumed < 1 || consumed > 2 || count < 2 || count > 20)
            return ERR_BAD_FRAME;

        if (result == ERR_NONE) {
            const char* word = nullptr;
            switch (part1[3]) {
            case '0': word = "Empty"; break;
            case '1': word = "Faulty"; break;
            case '2': word = "Ready "; break;
            default: return ERR_BAD_REPLY;
            }
            std::snprintf(status.statusWords[slot], sizeof status.statusWords[slot], "%s", word);

            const int inPart2 = count < 10 ? static_cast<int>(count) : 10;
            const int inPart3 = static_cast<int>(count) - inPart2;
            if (!PointsValid(part2 + 3, inPart2) || !PointsValid(part3 + 3, inPart3))
                result = ERR_BAD_FRAME;
        }

        for (int i = 0; i < 10; ++i) {
            std::memcpy(status.points[slot][i], part2 + 3 + 12 * i, 12);
            status.points[slot][i][12] = '\0';
            std::memcpy(status.points[slot][10 + i], part3 + 3 + 12 * i, 12);
            status.points[slot][10 + i][12] = '\0';
        }
    }
    return result;
}

ErrorCode CheckNoReadingsStored() {
    MeterMemoryStatus status{};
    if (ErrorCode rc = GetMeterMemory(status); rc != ERR_NONE) return rc;
    return status.readingsStored > 0 ? ERR_READINGS_STORED : ERR_NONE;
}

}  // namespace loamer
