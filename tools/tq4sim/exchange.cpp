#include "tools/tq4sim/exchange.h"

#include <charconv>
#include <cstdio>

#include "tools/tq4sim/command_table.h"
#include "tools/tq4sim/session.h"

namespace tq4sim {

namespace {

constexpr std::size_t kTextOffset = 1;
constexpr std::size_t kTextSize = 133;
constexpr std::size_t kZeroByte = 134;
constexpr std::size_t kFirstOffset = 135;
constexpr std::size_t kCodeByte = 147;
constexpr std::size_t kSecondOffset = 148;
constexpr std::size_t kParameterSize = 12;
constexpr std::size_t kPointAt = 5;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Quoted(std::string_view bytes) { return "\"" + EscapeBytes(bytes) + "\""; }

// The text as it came, its run of trailing zero bytes (the usual padding) counted, not shown.
std::string DescribeText(std::string_view text) {
    std::size_t end = text.find_last_not_of('\0');
    end = end == std::string_view::npos ? 0 : end + 1;
    std::string note = "X text " + Quoted(text.substr(0, end));
    if (end < text.size()) note += " and " + std::to_string(text.size() - end) + " zero bytes";
    return note;
}

std::string Refuse(std::vector<std::string>& notes, std::string why) {
    notes.push_back("X refused: " + std::move(why));
    return std::string(kRefused);
}

}  // namespace

bool ParseExchangeParameter(std::string_view field, double* value) {
    if (field.size() != kParameterSize || field[kPointAt] != '.') return false;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (i != kPointAt && !IsDigit(field[i]) && !(i == 0 && field[i] == '-')) return false;
    }
    auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), *value);
    return error == std::errc() && end == field.data() + field.size();
}

std::string ExchangeResultField(double value) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "%+08.2f", value);
    if (std::string_view(text) == "-0000.00") return "+0000.00";
    if (length != static_cast<int>(kExchangeFieldSize)) std::snprintf(text, sizeof text, "%+.1e", value);
    return text;
}

std::string ExchangeReply(std::string_view request, std::vector<std::string>& notes) {
    const std::string_view first = request.substr(kFirstOffset, kParameterSize);
    const std::string_view second = request.substr(kSecondOffset, kParameterSize);
    const auto code = static_cast<unsigned char>(request[kCodeByte]);
    double a = 0.0;
    double b = 0.0;
    if (request[kZeroByte] != '\0') {
        return Refuse(notes, "byte 134 is " + Quoted(request.substr(kZeroByte, 1)) + ", not a zero byte");
    }
    if (!ParseExchangeParameter(first, &a)) {
        return Refuse(notes, "first parameter " + Quoted(first) + " is not a number of the form 00006.000000");
    }
    if (!ParseExchangeParameter(second, &b)) {
        return Refuse(notes, "second parameter " + Quoted(second) + " is not a number of the form 00006.000000");
    }
    notes.push_back("X exchange, code byte " + std::to_string(code) + " (" + EscapeBytes(request.substr(kCodeByte, 1)) +
                    "): first parameter " + std::string(first) + ", second " + std::string(second));
    notes.push_back(DescribeText(request.substr(kTextOffset, kTextSize)));

    const double results[kExchangeResults] = {a + b, a - b, a * b, static_cast<double>(code)};
    static constexpr const char* kFormulas[kExchangeResults] = {"a + b", "a - b", "a * b", "c"};
    std::string reply(1, kExchangeReplyLetter);
    std::string note = "X results:";
    for (std::size_t i = 0; i < kExchangeResults; ++i) {
        std::string field = ExchangeResultField(results[i]);
        note += std::string(i == 0 ? " " : ", ") + kFormulas[i] + " = " + field;
        reply += field;
    }
    notes.push_back(std::move(note));
    return reply + "\r\n";
}

void BreakExchangeReply(ExchangeBreak how, std::string* reply) {
    if (reply->size() != kExchangeReplySize || (*reply)[0] != kExchangeReplyLetter) return;
    switch (how) {
    case ExchangeBreak::Letter: (*reply)[0] = 'X'; break;
    case ExchangeBreak::Number: reply->replace(1 + 2 * kExchangeFieldSize, kExchangeFieldSize, "********"); break;
    case ExchangeBreak::LineEnd: reply->replace(kExchangeReplySize - 2, 2, "\n\r"); break;
    }
}

}  // namespace tq4sim
