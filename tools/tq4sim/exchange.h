// The X exchange: "X", a 133-byte text, a zero byte, the first parameter, a code byte, the
// second parameter, "\r\n" (162 bytes); answered "x" and four results of 8 characters, "\r\n"
// (35 bytes). What the exchange means to a real meter is its own business: this meter answers
// with results anyone can work out from the request, so that a test can predict them.
//
// With a and b the two parameters and c the code byte's value (0 to 255), the results are
//   a + b,  a - b,  a * b,  c
// each printed "%+08.2f" (+0008.00, -0015.70) when that takes 8 characters, else "%+.1e"
// (+1.0e+05); zero is printed +0000.00. Every field starts with its sign, so the program's
// scans, which run on through the reply, stop at the next field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tq4sim {

inline constexpr std::size_t kExchangeRequestSize = 162;
inline constexpr std::size_t kExchangeReplySize = 35;
inline constexpr char kExchangeReplyLetter = 'x';
inline constexpr std::size_t kExchangeResults = 4;
inline constexpr std::size_t kExchangeFieldSize = 8;

// How a broken reply is broken (--x-broken).
enum class ExchangeBreak {
    Letter,  // "X" first in place of "x"
    Number,  // the third result "********", as the meter prints a number it cannot show
    LineEnd, // "\n\r" at the end
};

// A parameter in the message's form: 12 characters as "%012.6f" prints a number (00006.000000,
// -0012.500000). False for anything else.
bool ParseExchangeParameter(std::string_view field, double* value);

// One result as the reply carries it: 8 characters (see above).
std::string ExchangeResultField(double value);

// The reply to an X message of the right length and line end, with notes for the transcript:
// the code byte and the parameters, the text, and the results with their formulas. A byte 134
// other than zero, or a parameter not in the message's form, is refused with a note that says
// why.
std::string ExchangeReply(std::string_view request, std::vector<std::string>& notes);

// The reply broken as `how` says; other than a 35-byte reply is left as it is.
void BreakExchangeReply(ExchangeBreak how, std::string* reply);

}  // namespace tq4sim
