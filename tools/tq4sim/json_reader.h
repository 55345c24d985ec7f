// A small JSON reader for the emulator's meter memory files. It keeps what the memory files
// need and nothing more: objects keep their key order, numbers keep their text so that
// integers are read exactly, and strings are the meter's 8-bit bytes (an escape \u0000 to
// \u00ff gives one byte; higher code points are refused, since the meter has no such
// characters).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tq4sim {

class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Kind kind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsBool() const { return kind_ == Kind::Bool; }
    bool IsNumber() const { return kind_ == Kind::Number; }
    bool IsString() const { return kind_ == Kind::String; }
    bool IsArray() const { return kind_ == Kind::Array; }
    bool IsObject() const { return kind_ == Kind::Object; }

    bool AsBool() const { return flag_; }
    // Number: its text as written; string: its bytes.
    const std::string& Text() const { return text_; }
    // The number as an unsigned integer; false for fractions, signs, exponents or overflow.
    bool AsUnsigned(unsigned long long* out) const;
    const std::vector<JsonValue>& Items() const { return items_; }
    const std::vector<std::pair<std::string, JsonValue>>& Members() const { return members_; }
    // The member named key, or nullptr.
    const JsonValue* Find(std::string_view key) const;

    // Where the value starts in the text, for messages ("line 3, column 7").
    std::size_t line() const { return line_; }
    std::size_t column() const { return column_; }

private:
    friend class JsonParser;
    Kind kind_ = Kind::Null;
    bool flag_ = false;
    std::string text_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
    std::size_t line_ = 0;
    std::size_t column_ = 0;
};

// Parses one JSON document. On failure returns false and sets *error to a message that
// names the line and column.
[[nodiscard]] bool ParseJson(std::string_view text, JsonValue* out, std::string* error);

}  // namespace tq4sim
