#include "loamer/retrieval/record_fetch.h"

#include <cstdio>

#include "loamer/link/comm_port.h"
#include "loamer/link/meter_commands.h"

namespace loamer {

namespace {

constexpr int kRecordTries = 3;

}  // namespace

ErrorCode RequestRecord(unsigned number, char& kind) {
    char request[16];
    std::snprintf(request, sizeof request, "%c%05u\r\n", kRecordFetch.letter, number);
    for (int tries = 0;;) {
        if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
        if (ErrorCode rc = WriteCommPort(request, kRecordFetch.request); rc != ERR_NONE) return rc;
        unsigned char prefix[kRecordFetch.reply];
        const ErrorCode rc = ReadCommPort(prefix, sizeof prefix);
        if (rc == ERR_TIMEOUT && ++tries < kRecordTries) continue;
        if (rc != ERR_NONE) return rc;
        if (prefix[2] != '\r' || prefix[3] != '\n') return ERR_BAD_FRAME;
        if (prefix[0] != kRecordFetch.replyLetter) return ERR_BAD_REPLY;
        kind = static_cast<char>(prefix[1]);
        return ERR_NONE;
    }
}

ErrorCode ReadRecordBody(char kind, const DataSetLayout& layout, RecordBody& body) {
    std::size_t length = 0;
    if (kind == kKindProfileHeader) {
        length = profile_header::kSize;
    } else if (kind == kKindSensorHeader) {
        length = sensor_header::kSize;
    } else if (ReadingSlots(kind) != 0 && kind == layout.expectedKind && layout.bodyLength <= kMaxRecordBody) {
        length = layout.bodyLength;
    } else {
        return ERR_BAD_REPLY;
    }
    body = RecordBody{};
    if (ErrorCode rc = ReadCommPort(body.bytes, length); rc != ERR_NONE) return rc;
    body.size = length;
    return ERR_NONE;
}

}  // namespace loamer
