#include "loamer/upload/lin_file.h"

#include <cstring>
#include <memory>

namespace loamer {

namespace {

// The open table file: one at a time, released by CloseLinFile.
struct OpenTableFile {
    std::unique_ptr<TableFileSource> source;
    LinTextReader text;
    explicit OpenTableFile(std::unique_ptr<TableFileSource> opened) : source(std::move(opened)), text(*source) {}
};
std::unique_ptr<OpenTableFile> g_tableFile;

// White space and printable characters as the "C" classification has them, on single bytes.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsPrintable(char c) { return c >= ' ' && c <= '~'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Copies a checked field and its terminating zero into a text of the table.
template <std::size_t N>
void StoreText(const LinField& field, char (&out)[N]) {
    static_assert(N > 0);
    const std::size_t n = field.length < N - 1 ? field.length : N - 1;
    std::memcpy(out, field.text, n);
    out[n] = '\0';
}

ErrorCode ReadLine(LinTextReader& text, LinField& field, bool& atEnd) {
    return ReadLinField(text, field, kLinFieldLimit, false, true, atEnd);
}

ErrorCode ReadTitle(LinTextReader& text, LinTable& table) {
    LinField field;
    bool atEnd = false;
    if (ErrorCode rc = ReadLine(text, field, atEnd); rc != ERR_NONE) return rc;
    if (atEnd) return ERR_LIN_UNEXPECTED_EOF;
    TrimField(field);
    if (field.length == 0) return ERR_LIN_NO_TITLE;
    if (field.length > kLinTitleLength) return ERR_LIN_LINE_TOO_LONG;
    for (char c : field.view()) {
        if (!IsPrintable(c)) return ERR_LIN_TITLE_CHARS;
    }
    StoreText(field, table.title);
    return ERR_NONE;
}

ErrorCode ReadCount(LinTextReader& text, std::int32_t& stopLine, LinTable& table) {
    LinField field;
    bool atEnd = false;
    const ErrorCode rc = ReadLine(text, field, atEnd);
    ++stopLine;
    if (rc != ERR_NONE) return rc;
    if (atEnd) return ERR_LIN_UNEXPECTED_EOF;
    TrimField(field);
    if (field.length == 0) return ERR_LIN_MISSING_VALUE;
    if (field.length > kLinCountLength) return ERR_LIN_LINE_TOO_LONG;
    std::int32_t count = 0;
    for (char c : field.view()) {
        if (!IsDigit(c)) return ERR_LIN_BAD_NUMBER;
        count = count * 10 + (c - '0');
    }
    if (count < 1 || count > static_cast<std::int32_t>(kLinMaxRows)) return ERR_LIN_BAD_NUMBER;
    StoreText(field, table.rowCountText);
    table.rowCount = count;
    return ERR_NONE;
}

// One row (index 0 to rowCount - 1); atEnd tells whether the text ended with it.
ErrorCode ReadRow(LinTextReader& text, std::size_t row, LinTable& table, bool& atEnd) {
    LinField field;
    if (ErrorCode rc = ReadLinField(text, field, kLinFieldLimit, true, false, atEnd); rc != ERR_NONE) return rc;
    TrimField(field);
    if (field.length == 0) return ERR_LIN_MISSING_MV;
    if (field.length > kLinMilliVoltLength) return ERR_LIN_LINE_TOO_LONG;
    double milliVolts = 0.0;
    if (ErrorCode rc = ParseFixedPoint(field.view(), milliVolts, 4, 0); rc != ERR_NONE) return rc;
    if (milliVolts < 0.0 || milliVolts > kLinMaxMilliVolts) return ERR_LIN_BAD_MV;
    StoreText(field, table.milliVoltTexts[row]);
    table.milliVolts[row] = milliVolts;

    if (ErrorCode rc = ReadLine(text, field, atEnd); rc != ERR_NONE) return rc;
    if (atEnd && row + 1 < static_cast<std::size_t>(table.rowCount)) return ERR_LIN_UNEXPECTED_EOF;
    TrimField(field);
    if (field.length == 0) return ERR_LIN_MISSING_VALUE;
    if (field.length > kLinValueLength) return ERR_LIN_LINE_TOO_LONG;
    double value = 0.0;
    if (ErrorCode rc = ParseFixedPoint(field.view(), value, 3, 3); rc != ERR_NONE) return rc;
    if (value < 0.0 || value > kLinMaxValue) return ERR_LIN_BAD_VALUE;
    StoreText(field, table.valueTexts[row]);
    table.values[row] = value;
    return ERR_NONE;
}

}  // namespace

ErrorCode ReadLinField(LinTextReader& text, LinField& field, std::size_t limit, bool commaEnds, bool lineEndAllowed,
                       bool& atEnd) {
    atEnd = false;
    if (limit > kLinFieldLimit) limit = kLinFieldLimit;
    field.length = 0;
    field.text[0] = '\0';
    for (int c = text.Get(); c != LinTextReader::kEnd; c = text.Get()) {
        if (c == '\n') {
            if (!lineEndAllowed) return ERR_LIN_UNEXPECTED_EOL;
            return commaEnds ? ERR_LIN_MISSING_COMMA : ERR_NONE;
        }
        if (c == ',') {
            if (!commaEnds) return ERR_LIN_UNEXPECTED_COMMA;
            return ERR_NONE;
        }
        if (field.length == limit) return ERR_LIN_LINE_TOO_LONG;
        field.text[field.length++] = static_cast<char>(c);
        field.text[field.length] = '\0';
    }
    if (text.Failed()) return ERR_LIN_READ;
    atEnd = true;
    return commaEnds ? ERR_LIN_MISSING_COMMA : ERR_NONE;
}

void TrimField(LinField& field) {
    std::size_t first = 0;
    while (first < field.length && IsBlank(field.text[first])) ++first;
    std::size_t end = field.length;
    while (end > first && IsBlank(field.text[end - 1])) --end;
    field.length = end - first;
    std::memmove(field.text, field.text + first, field.length);
    field.text[field.length] = '\0';
}

ErrorCode ParseFixedPoint(std::string_view text, double& value, int integerDigits, int fractionDigits) {
    double result = 0.0;
    std::size_t at = 0;
    for (; at < text.size() && text[at] != '.'; ++at) {
        if (!IsDigit(text[at])) return ERR_LIN_BAD_FLOAT;
        result = result * 10.0 + (text[at] - '0');
    }
    if (at != static_cast<std::size_t>(integerDigits)) return ERR_LIN_FLOAT_FORMAT;
    if (fractionDigits > 0) {
        if (at == text.size()) return ERR_LIN_FLOAT_FORMAT;  // no point
        double scale = 1.0;
        int digits = 0;
        for (++at; at < text.size(); ++at, ++digits) {
            if (!IsDigit(text[at])) return ERR_LIN_BAD_FLOAT;
            scale /= 10.0;
            result += (text[at] - '0') * scale;
        }
        if (digits != fractionDigits) return ERR_LIN_FLOAT_FORMAT;
    }
    value = result;
    return ERR_NONE;
}

ErrorCode SkipTrailingBlanks(LinTextReader& text, std::int32_t& stopLine) {
    for (int c = text.Get(); c != LinTextReader::kEnd; c = text.Get()) {
        if (c == '\n') ++stopLine;
        else if (c != ' ' && c != '\t') return ERR_LIN_BAD_CHAR;
    }
    // A read error here would otherwise pass for a clean end of the file.
    return text.Failed() ? ERR_LIN_READ : ERR_NONE;
}

ErrorCode CheckLinTableOrder(const LinTable& table) {
    const std::size_t n = table.rowCount < 0 ? 0
                          : static_cast<std::size_t>(table.rowCount) > kLinMaxRows
                              ? kLinMaxRows
                              : static_cast<std::size_t>(table.rowCount);
    const double* mv = table.milliVolts;
    const double* v = table.values;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (mv[i + 1] <= mv[i] && mv[i + 1] != 0.0) return ERR_LIN_MV_ORDER;
    }
    if (n >= 2 && v[0] == v[1]) return ERR_LIN_VALUE_ORDER;
    if (n >= 3) {
        const bool descending = v[0] > v[1];
        for (std::size_t i = 1; i + 1 < n; ++i) {
            if (v[i + 1] == 0.0) continue;
            if (descending ? v[i + 1] > v[i] : v[i + 1] < v[i]) return ERR_LIN_VALUE_ORDER;
        }
    }
    return ERR_NONE;
}

ErrorCode ReadLinText(LinTextReader& text, std::int32_t& stopLine, LinTable& table) {
    table = LinTable{};
    stopLine = 1;
    if (ErrorCode rc = ReadTitle(text, table); rc != ERR_NONE) return rc;
    if (ErrorCode rc = ReadCount(text, stopLine, table); rc != ERR_NONE) return rc;
    bool atEnd = false;
    for (std::size_t row = 0; row < static_cast<std::size_t>(table.rowCount); ++row) {
        ++stopLine;
        if (ErrorCode rc = ReadRow(text, row, table, atEnd); rc != ERR_NONE) return rc;
    }
    if (!atEnd) {
        if (ErrorCode rc = SkipTrailingBlanks(text, stopLine); rc != ERR_NONE) return rc;
    }
    stopLine = 0;
    return CheckLinTableOrder(table);
}

ErrorCode ParseLinText(std::string_view text, std::int32_t& stopLine, LinTable& table) {
    std::unique_ptr<TableFileSource> source = MemoryTableFile(std::string(text));
    LinTextReader reader(*source);
    return ReadLinText(reader, stopLine, table);
}

ErrorCode OpenLinFile(const std::string& path) {
    (void)CloseLinFile();
    NoteTableFileSystemError(0);
    std::unique_ptr<TableFileSource> source = TableFiles().OpenForReading(path);
    if (!source) return ERR_LIN_OPEN;
    g_tableFile = std::make_unique<OpenTableFile>(std::move(source));
    return ERR_NONE;
}

ErrorCode ReadLinTable(std::int32_t& stopLine, LinTable& table) {
    if (!g_tableFile) {
        table = LinTable{};
        stopLine = 1;
        return ERR_LIN_READ;
    }
    return ReadLinText(g_tableFile->text, stopLine, table);
}

ErrorCode CloseLinFile() {
    if (!g_tableFile) return ERR_NONE;
    const bool closed = g_tableFile->source->Close();
    g_tableFile.reset();
    return closed ? ERR_NONE : ERR_LIN_CLOSE;
}

}  // namespace loamer
