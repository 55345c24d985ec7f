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

bool ScanUnsigned(const char* at, const char* format, std::size_t maxWidth, unsigned& value) {
    int consumed = 0;
    if (std::sscanf(at, format, &value, &consumed) != 1) return false;
    return consumed >= 1 && static_cast<std::size_t>(consumed) <= maxWidth;
}

std::size_t PartOffset(int part, int slot) { return TablePartOffset(part, static_cast<std::size_t>(slot)); }

// The field copied out of the reply with a zero behind it, so that a scan sees nothing else.
template <std::size_t N>
void CopyField(const unsigned char* record, RecordField field, char (&out)[N]) {
    static_assert(N > 0);
    const std::size_t n = field.width < N - 1 ? field.width : N - 1;
    std::memcpy(out, record + field.offset, n);
    out[n] = '\0';
}

bool IsPointChar(unsigned char c) {
    return std::ispunct(c) || std::isdigit(c) || std::isspace(c);
}

bool PointsValid(const unsigned char* points, int n) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(n) * table_reply::kPointWidth; ++i) {
        if (!IsPointChar(points[i])) return false;
    }
    return true;
}

}  // namespace

ErrorCode CheckStatusFrame(const unsigned char (&reply)[kStatusReplySize]) {
    if (reply[status_reply::kLineEnd] != '\r' || reply[status_reply::kLineEnd + 1] != '\n') return ERR_BAD_FRAME;
    if (reply[0] != kStatus.replyLetter) return ERR_BAD_REPLY;
    return ERR_NONE;
}

ErrorCode DecodeBattery(const unsigned char (&reply)[kStatusReplySize], float& level) {
    char field[status_reply::kBattery.width + 1];
    CopyField(reply, status_reply::kBattery, field);
    int consumed = 0;
    if (std::sscanf(field, "%f%n", &level, &consumed) != 1) return ERR_BAD_FRAME;
    return ERR_NONE;
}

ErrorCode DecodeVersion(const unsigned char (&reply)[kStatusReplySize], MeterVersion& text) {
    CopyField(reply, status_reply::kVersion, text);
    // The last character may be a degree sign or the like; the others must be plain ASCII.
    for (std::size_t i = 0; i + 1 < status_reply::kVersion.width; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 128) return ERR_BAD_FRAME;
    }
    return ERR_NONE;
}

ErrorCode DecodeMemory(const unsigned char (&reply)[kStatusReplySize], MeterMemoryStatus& status) {
    const ReplyText r(reply);
    unsigned value = 0;
    using namespace status_reply;
    if (!ScanUnsigned(r.text + kFreeUnits.offset, "%5u%n", kFreeUnits.width, value) || value > kMaxMemoryUnits)
        return ERR_BAD_FRAME;
    status.freeUnits = value;
    if (!ScanUnsigned(r.text + kUsedUnits.offset, "%5u%n", kUsedUnits.width, value) || value > kMaxMemoryUnits)
        return ERR_BAD_FRAME;
    status.usedUnits = value;
    if (!ScanUnsigned(r.text + kReadings.offset, "%6u%n", kReadings.width, value)) return ERR_BAD_FRAME;
    status.readingsStored = value;
    return ERR_NONE;
}

ErrorCode CheckClockReply(const unsigned char (&reply)[kClockRecordSize]) {
    if (reply[clock_record::kLineEnd] != '\r' || reply[clock_record::kLineEnd + 1] != '\n') return ERR_BAD_FRAME;
    if (reply[0] != kClockRead.replyLetter) return ERR_BAD_REPLY;
    return ERR_NONE;
}

ErrorCode GetMeterBattery(float& level) {
    unsigned char reply[kStatusReplySize];
    if (ErrorCode rc = ReadStatusReply(reply); rc != ERR_NONE) return rc;
    return DecodeBattery(reply, level);
}

ErrorCode GetMeterVersion(MeterVersion& text) {
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
    const unsigned char state = part1[table_reply::kState];
    const unsigned char id = part1[table_reply::kSlotId];
    if (state != '0' && state != '1' && state != '2') return ERR_BAD_REPLY;
    if (id == '\0' || std::strchr(kReportedSlotIds, static_cast<char>(id)) == nullptr)
        return ERR_BAD_REPLY;
    return ERR_NONE;
}

ErrorCode ReadMeterTables(MeterTablesImage& image) {
    image.bytes[kTablesImageLineEnd] = '\r';
    image.bytes[kTablesImageLineEnd + 1] = '\n';
    WaitCursorScope cursor;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return rc;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;

    for (int slot = 0; slot < static_cast<int>(table_reply::kSlots); ++slot) {
        for (int part = 1; part <= static_cast<int>(table_reply::kParts); ++part) {
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
    using namespace table_reply;
    for (int slot = 0; slot < static_cast<int>(kSlots); ++slot) {
        const unsigned char* part1 = image.bytes + PartOffset(1, slot);
        const unsigned char* part2 = image.bytes + PartOffset(2, slot);
        const unsigned char* part3 = image.bytes + PartOffset(3, slot);
        if (part1[0] == '!') continue;

        CopyField(part1, kName, status.names[slot]);

        // The count field with the line end behind it, as the scan sees it in the reply.
        char countField[kCount.width + 3];
        CopyField(part1, {kCount.offset, kCount.width + 2}, countField);
        unsigned count = 0;
        int consumed = 0;
        const int stored = std::sscanf(countField, "%2u%n", &count, &consumed);
        status.pointCounts[slot] = static_cast<std::int32_t>(count);
        if (stored != 1 || consumed < 1 || consumed > 2 || count < 2 || count > kMaxPoints)
            return ERR_BAD_FRAME;

        if (result == ERR_NONE) {
            const char* word = nullptr;
            switch (part1[kState]) {
            case '0': word = "Empty"; break;
            case '1': word = "Faulty"; break;
            case '2': word = "Ready "; break;
            default: return ERR_BAD_REPLY;
            }
            std::snprintf(status.statusWords[slot], sizeof status.statusWords[slot], "%s", word);

            const int inPart2 = static_cast<int>(count < kPointsPerPart ? count : kPointsPerPart);
            const int inPart3 = static_cast<int>(count) - inPart2;
            if (!PointsValid(part2 + kPointsStart, inPart2) || !PointsValid(part3 + kPointsStart, inPart3))
                result = ERR_BAD_FRAME;
        }

        for (std::size_t i = 0; i < kPointsPerPart; ++i) {
            const RecordField point{kPointsStart + kPointWidth * i, kPointWidth};
            CopyField(part2, point, status.points[slot][i]);
            CopyField(part3, point, status.points[slot][kPointsPerPart + i]);
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
