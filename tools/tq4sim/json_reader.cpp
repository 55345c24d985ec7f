#include "tools/tq4sim/json_reader.h"

#include <cstdint>

namespace tq4sim {

namespace {

// Nesting deeper than any memory file needs is refused rather than risking the stack.
constexpr int kMaxDepth = 64;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool JsonValue::AsUnsigned(unsigned long long* out) const {
    if (kind_ != Kind::Number || text_.empty()) return false;
    unsigned long long value = 0;
    for (char c : text_) {
        if (!IsDigit(c)) return false;
        unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    *out = value;
    return true;
}

const JsonValue* JsonValue::Find(std::string_view key) const {
    for (const auto& [name, value] : members_) {
        if (name == key) return &value;
    }
    return nullptr;
}

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    bool Parse(JsonValue* out, std::string* error) {
        SkipSpace();
        if (!ParseValue(out, 0)) {
            *error = error_;
            return false;
        }
        SkipSpace();
        if (pos_ != text_.size()) {
            Fail("unexpected text after the document");
            *error = error_;
            return false;
        }
        return true;
    }

private:
    bool Fail(const std::string& what) {
        if (error_.empty()) {
            error_ = "line " + std::to_string(line_) + ", column " + std::to_string(column_) + ": " + what;
        }
        return false;
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

    void Advance() {
        if (text_[pos_] == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        ++pos_;
    }

    void SkipSpace() {
        while (!AtEnd()) {
            char c = text_[pos_];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
            Advance();
        }
    }

    bool Expect(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return Fail("unexpected character");
        for (std::size_t i = 0; i < word.size(); ++i) Advance();
        return true;
    }

    bool ParseValue(JsonValue* out, int depth) {
        if (depth > kMaxDepth) return Fail("nesting too deep");
        out->line_ = line_;
        out->column_ = column_;
        char c = Peek();
        if (c == '{') return ParseObject(out, depth);
        if (c == '[') return ParseArray(out, depth);
        if (c == '"') {
            out->kind_ = JsonValue::Kind::String;
            return ParseString(&out->text_);
        }
        if (c == 't' || c == 'f') {
            out->kind_ = JsonValue::Kind::Bool;
            out->flag_ = c == 't';
            return Expect(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            out->kind_ = JsonValue::Kind::Null;
            return Expect("null");
        }
        if (c == '-' || IsDigit(c)) return ParseNumber(out);
        if (AtEnd()) return Fail("unexpected end of text");
        return Fail("unexpected character");
    }

    bool ParseNumber(JsonValue* out) {
        std::size_t start = pos_;
        if (Peek() == '-') Advance();
        if (!IsDigit(Peek())) return Fail("malformed number");
        if (Peek() == '0') {
            Advance();
        } else {
            while (IsDigit(Peek())) Advance();
        }
        if (Peek() == '.') {
            Advance();
            if (!IsDigit(Peek())) return Fail("malformed number");
            while (IsDigit(Peek())) Advance();
        }
        if (Peek() == 'e' || Peek() == 'E') {
            Advance();
            if (Peek() == '+' || Peek() == '-') Advance();
            if (!IsDigit(Peek())) return Fail("malformed number");
            while (IsDigit(Peek())) Advance();
        }
        out->kind_ = JsonValue::Kind::Number;
        out->text_ = std::string(text_.substr(start, pos_ - start));
        return true;
    }

    bool ParseString(std::string* out) {
        Advance();  // the opening quote
        out->clear();
        while (true) {
            if (AtEnd()) return Fail("unterminated string");
            char c = Peek();
            if (c == '"') {
                Advance();
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in string");
            if (c != '\\') {
                out->push_back(c);
                Advance();
                continue;
            }
            Advance();
            if (AtEnd()) return Fail("unterminated string");
            char e = Peek();
            switch (e) {
            case '"': out->push_back('"'); break;
            case '\\': out->push_back('\\'); break;
            case '/': out->push_back('/'); break;
            case 'b': out->push_back('\b'); break;
            case 'f': out->push_back('\f'); break;
            case 'n': out->push_back('\n'); break;
            case 'r': out->push_back('\r'); break;
            case 't': out->push_back('\t'); break;
            case 'u': {
                unsigned code = 0;
                for (int i = 0; i < 4; ++i) {
                    Advance();
                    int h = HexValue(Peek());
                    if (h < 0) return Fail("malformed \\u escape");
                    code = code * 16 + static_cast<unsigned>(h);
                }
                if (code > 0xFF) return Fail("\\u escape above \\u00ff: the meter's characters are single bytes");
                out->push_back(static_cast<char>(code));
                break;
            }
            default: return Fail("unknown escape");
            }
            Advance();
        }
    }

    bool ParseArray(JsonValue* out, int depth) {
        out->kind_ = JsonValue::Kind::Array;
        Advance();
        SkipSpace();
        if (Peek() == ']') {
            Advance();
            return true;
        }
        while (true) {
            SkipSpace();
            JsonValue item;
            if (!ParseValue(&item, depth + 1)) return false;
            out->items_.push_back(std::move(item));
            SkipSpace();
            if (Peek() == ',') {
                Advance();
                continue;
            }
            if (Peek() == ']') {
                Advance();
                return true;
            }
            return Fail("expected ',' or ']'");
        }
    }

    bool ParseObject(JsonValue* out, int depth) {
        out->kind_ = JsonValue::Kind::Object;
        Advance();
        SkipSpace();
        if (Peek() == '}') {
            Advance();
            return true;
        }
        while (true) {
            SkipSpace();
            if (Peek() != '"') return Fail("expected a member name");
            std::string key;
            if (!ParseString(&key)) return false;
            if (out->Find(key) != nullptr) return Fail("duplicate member \"" + key + "\"");
            SkipSpace();
            if (Peek() != ':') return Fail("expected ':'");
            Advance();
            SkipSpace();
            JsonValue value;
            if (!ParseValue(&value, depth + 1)) return false;
            out->members_.emplace_back(std::move(key), std::move(value));
            SkipSpace();
            if (Peek() == ',') {
                Advance();
                continue;
            }
            if (Peek() == '}') {
                Advance();
                return true;
            }
            return Fail("expected ',' or '}'");
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
    std::size_t column_ = 1;
    std::string error_;
};

bool ParseJson(std::string_view text, JsonValue* out, std::string* error) {
    JsonParser parser(text);
    *out = JsonValue();
    return parser.Parse(out, error);
}

}  // namespace tq4sim
