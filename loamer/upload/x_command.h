// The X exchange: a 133-byte text, two numbers and a code byte go to the meter in one 162-byte
// 'X' message; the meter answers 'x' with four numbers of 8 characters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loamer/link/error_codes.h"
#include "loamer/link/meter_commands.h"

namespace loamer {

namespace x_message {
inline constexpr RecordField kText{1, 133};
inline constexpr std::size_t kZero = 134;
inline constexpr RecordField kFirst{135, 12};
inline constexpr std::size_t kCode = 147;
inline constexpr RecordField kSecond{148, 12};
inline constexpr std::size_t kLineEnd = 160;
static_assert(kLineEnd + 2 == kExchange.request);
}  // namespace x_message

namespace x_reply {
inline constexpr std::size_t kResults = 4;
inline constexpr std::size_t kFirstField = 1;
inline constexpr std::size_t kFieldWidth = 8;
inline constexpr std::size_t kLineEnd = kFirstField + kResults * kFieldWidth;
static_assert(kLineEnd + 2 == kExchange.reply);
}  // namespace x_reply

inline constexpr std::size_t kXTextSize = x_message::kText.width;

// A parameter as "%0*lf" with width 12 (00006.000000). False, with field untouched, for an
// infinity, a NaN or a number whose text is longer than 12 characters.
[[nodiscard]] bool FormatXParameter(double value, char (&field)[x_message::kFirst.width]);

// 'X', the text, a zero byte, the first parameter, the code byte, the second parameter, "\r\n".
// False, with message untouched, when a parameter does not fit its field.
[[nodiscard]] bool BuildXMessage(const char (&text)[kXTextSize], double first, double second, std::uint8_t code,
                                 char (&message)[kExchange.request]);

// Reads the four results of a reply: 'x' first, then each result scanned with "%lf" from the
// first byte of its field on through the rest of the reply (a number runs into the next field
// unless that field starts with a character that cannot continue it), then "\r\n" at the end.
// 0, or ERR_BAD_FRAME at the first check that fails; results scanned before it are written.
[[nodiscard]] ErrorCode ScanXReply(const unsigned char (&reply)[kExchange.reply], double (&results)[x_reply::kResults]);

// Wakes the meter, sends the X message and reads the four results. A parameter that does not fit
// its field gives ERR_BAD_FRAME before the meter is contacted. Shows no message. results are
// written as ScanXReply writes them.
[[nodiscard]] ErrorCode RunXCommand(const char (&text)[kXTextSize], double first, double second, std::uint8_t code,
                                    double (&results)[x_reply::kResults]);

}  // namespace loamer
