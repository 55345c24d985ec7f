#include "loamer/upload/x_command.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "loamer/link/comm_port.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/link/ui.h"

namespace loamer {

bool FormatXParameter(double value, char (&field)[x_message::kFirst.width]) {
    if (!std::isfinite(value)) return false;
    char text[64];
    const int width = static_cast<int>(sizeof field);
    const int length = std::snprintf(text, sizeof text, "%0*lf", width, value);
    if (length != width) return false;
    std::memcpy(field, text, sizeof field);
    return true;
}

bool BuildXMessage(const char (&text)[kXTextSize], double first, double second, std::uint8_t code,
                   char (&message)[kExchange.request]) {
    char firstField[x_message::kFirst.width];
    char secondField[x_message::kSecond.width];
    if (!FormatXParameter(first, firstField) || !FormatXParameter(second, secondField)) return false;
    message[0] = kExchange.letter;
    std::memcpy(message + x_message::kText.offset, text, sizeof text);
    message[x_message::kZero] = '\0';
    std::memcpy(message + x_message::kFirst.offset, firstField, sizeof firstField);
    message[x_message::kCode] = static_cast<char>(code);
    std::memcpy(message + x_message::kSecond.offset, secondField, sizeof secondField);
    message[x_message::kLineEnd] = '\r';
    message[x_message::kLineEnd + 1] = '\n';
    return true;
}

ErrorCode ScanXReply(const unsigned char (&reply)[kExchange.reply], double (&results)[x_reply::kResults]) {
    // The scans read the reply as text, each from its field on: a terminated copy keeps them in it.
    char text[kExchange.reply + 1];
    std::memcpy(text, reply, sizeof reply);
    text[kExchange.reply] = '\0';
    if (reply[0] != kExchange.replyLetter) return ERR_BAD_FRAME;
    for (std::size_t i = 0; i < x_reply::kResults; ++i) {
        double value = 0.0;
        if (std::sscanf(text + x_reply::kFirstField + i * x_reply::kFieldWidth, "%lf", &value) != 1) return ERR_BAD_FRAME;
        results[i] = value;
    }
    if (reply[x_reply::kLineEnd] != '\r' || reply[x_reply::kLineEnd + 1] != '\n') return ERR_BAD_FRAME;
    return ERR_NONE;
}

ErrorCode RunXCommand(const char (&text)[kXTextSize], double first, double second, std::uint8_t code,
                      double (&results)[x_reply::kResults]) {
    char message[kExchange.request];
    if (!BuildXMessage(text, first, second, code, message)) return ERR_BAD_FRAME;
    WaitCursorScope cursor;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return rc;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    if (ErrorCode rc = WriteCommPort(message, sizeof message); rc != ERR_NONE) return rc;
    unsigned char reply[kExchange.reply] = {};
    if (ErrorCode rc = ReadCommPort(reply, sizeof reply); rc != ERR_NONE) return rc;
    return ScanXReply(reply, results);
}

}  // namespace loamer
