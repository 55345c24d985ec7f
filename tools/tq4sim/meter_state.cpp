#include "tools/tq4sim/meter_state.h"

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

namespace tq4sim {

int SlotIndex(char id) {
    for (std::size_t i = 0; i < kSlotIds.size(); ++i) {
        if (kSlotIds[i] == id) return static_cast<int>(i);
    }
    return -1;
}

namespace {

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (the usual era-based conversion).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

bool IsValidCivil(const CivilTime& t) {
    return t.year >= 0 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
           t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

std::int64_t CivilToSeconds(const CivilTime& t) {
    return DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
           t.hour * 3600 + t.minute * 60 + t.second;
}

CivilTime SecondsToCivil(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    CivilTime t;
    t.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

void MeterClock::Set(char order, const CivilTime& time, SteadyTime at) {
    order_ = order;
    base_ = CivilToSeconds(time);
    setAt_ = at;
}

CivilTime MeterClock::Read(SteadyTime now) const {
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - setAt_).count();
    if (elapsed < 0) elapsed = 0;
    // Four digits of year: after 9999 the clock starts again at year 0, keeping its replies
    // their length. The calendar repeats every 400 years, so every date stays a true one.
    static const std::int64_t kFirst = CivilToSeconds(CivilTime{0, 1, 1, 0, 0, 0});
    static const std::int64_t kSpan = CivilToSeconds(CivilTime{10000, 1, 1, 0, 0, 0}) - kFirst;
    return SecondsToCivil(kFirst + (base_ - kFirst + elapsed) % kSpan);
}

MeterState DefaultMeterState(const CivilTime& start, SteadyTime now) {
    MeterState state;
    state.clock.Set('1', start, now);
    return state;
}

namespace {

// Member order is kept, so that of several faults the first in the file is reported.
using Json = nlohmann::ordered_json;

// Where each value of a memory file starts in its text (a byte offset), by JSON pointer: ""
// for the document, "/tables/1/points/0" for a point.
using Places = std::map<std::string, std::size_t>;

// Nesting deeper than any memory file needs is refused.
constexpr std::size_t kMaxDepth = 64;

std::string ChildPath(const std::string& parent, std::string_view key) {
    std::string path = parent + "/";
    for (char c : key) {
        if (c == '~') {
            path += "~0";
        } else if (c == '/') {
            path += "~1";
        } else {
            path += c;
        }
    }
    return path;
}

std::string ChildPath(const std::string& parent, std::size_t index) { return parent + "/" + std::to_string(index); }

// "line L, column C" of a byte offset; a tab or a carriage return counts as one column.
std::string Place(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

// The meter's characters are single bytes: the parser's UTF-8 back to one byte for each of
// U+0000 to U+00FF. False for a character above.
bool ToMeterBytes(const std::string& utf8, std::string* bytes) {
    bytes->clear();
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            bytes->push_back(static_cast<char>(lead));
        } else if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[++i]);
            bytes->push_back(static_cast<char>(((lead & 0x1Fu) << 6) | (next & 0x3Fu)));
        } else {
            return false;
        }
    }
    return true;
}

// Hands the text to the parser one byte at a time and keeps, in *reached, how far it has read.
class TrackingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackingIterator(const char* at, const char** reached) : at_(at), reached_(reached) {}
    reference operator*() const { return *at_; }
    TrackingIterator& operator++() {
        *reached_ = ++at_;
        return *this;
    }
    TrackingIterator operator++(int) {
        TrackingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const TrackingIterator& other) const { return at_ == other.at_; }

private:
    const char* at_;
    const char** reached_;
};

// Builds the document from the parser's events, and notes where each value starts. The parser
// reports no places of its own, so the start of a value is found from how far it had read at
// the event before: past the white space, commas and colons that follow that event's token.
// Refuses what the memory files do not allow: repeated members, characters above U+00FF,
// deep nesting.
class DocumentBuilder final : public nlohmann::json_sax<Json> {
public:
    DocumentBuilder(std::string_view text, Json* root, Places* places, std::string* error)
        : text_(text), reached_(text.data()), root_(root), places_(places), error_(error) {
        // A byte order mark is read past before the first event.
        if (text_.starts_with("\xEF\xBB\xBF")) lastEnd_ = 3;
    }

    bool Parse() {
        TrackingIterator first(text_.data(), &reached_);
        TrackingIterator last(text_.data() + text_.size(), &reached_);
        return Json::sax_parse(first, last, this);
    }

    bool null() override { return Add(nullptr) != nullptr; }
    bool boolean(bool value) override { return Add(value) != nullptr; }
    bool number_integer(number_integer_t value) override { return Add(value) != nullptr; }
    bool number_unsigned(number_unsigned_t value) override { return Add(value) != nullptr; }
    bool number_float(number_float_t value, const string_t&) override { return Add(value) != nullptr; }
    bool binary(binary_t&) override { return false; }  // not in JSON text

    bool string(string_t& value) override {
        std::string bytes;
        if (!ToMeterBytes(value, &bytes)) return TooWide(NextStart());
        return Add(std::move(bytes)) != nullptr;
    }

    bool key(string_t& value) override {
        std::size_t at = NextStart();
        if (!ToMeterBytes(value, &key_)) return TooWide(at);
        if (open_.back()->contains(key_)) return Fail(at, "duplicate member \"" + key_ + "\"");
        return true;
    }

    bool start_object(std::size_t) override { return Open(Json::object()); }
    bool start_array(std::size_t) override { return Open(Json::array()); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& ex) override {
        // `position` counts the bytes read, the end of the text included; the fault is at the
        // last one read.
        std::size_t at = position > text_.size() ? text_.size() : position - std::min<std::size_t>(position, 1);
        // The parser's text starts "[json.exception.parse_error.101] parse error at line 3,
        // column 14: "; the place is given here the same way as for every other fault.
        std::string what = ex.what();
        if (std::size_t tag = what.find("] "); tag != std::string::npos) what.erase(0, tag + 2);
        if (what.starts_with("parse error")) {
            if (std::size_t colon = what.find(": "); colon != std::string::npos) what.erase(0, colon + 2);
        }
        // Its "last read" runs back over earlier tokens; the place says more.
        if (std::size_t read = what.find("; last read: '"); read != std::string::npos) {
            std::size_t end = what.find("'; expected ", read);
            what.erase(read, end == std::string::npos ? std::string::npos : end + 1 - read);
        }
        return Fail(at, what);
    }

private:
    // Where the token of the current event starts; moves past it.
    std::size_t NextStart() {
        std::size_t at = lastEnd_;
        while (at < text_.size() && std::string_view(" \t\r\n,:").find(text_[at]) != std::string_view::npos) ++at;
        Advance();
        return at;
    }
    void Advance() { lastEnd_ = static_cast<std::size_t>(reached_ - text_.data()); }

    // Puts a value in the container being read (or makes it the document) and notes its place.
    Json* Add(Json value) {
        std::size_t at = NextStart();
        std::string path;
        Json* slot = root_;
        if (!open_.empty()) {
            Json& parent = *open_.back();
            if (parent.is_object()) {
                path = ChildPath(paths_.back(), key_);
                slot = &parent[key_];
            } else {
                path = ChildPath(paths_.back(), parent.size());
                parent.push_back(nullptr);
                slot = &parent.back();
            }
        }
        *slot = std::move(value);
        (*places_)[path] = at;
        lastPath_ = std::move(path);
        return slot;
    }

    bool Open(Json container) {
        if (open_.size() >= kMaxDepth) return Fail(NextStart(), "nesting too deep");
        // A container's address holds while it is open: its parent gets nothing new meanwhile.
        open_.push_back(Add(std::move(container)));
        paths_.push_back(lastPath_);
        return true;
    }

    bool Close() {
        Advance();
        open_.pop_back();
        paths_.pop_back();
        return true;
    }

    bool TooWide(std::size_t at) {
        return Fail(at, "a character above \\u00ff: the meter's characters are single bytes");
    }

    bool Fail(std::size_t at, const std::string& what) {
        *error_ = Place(text_, at) + ": " + what;
        return false;
    }

    std::string_view text_;
    const char* reached_;
    std::size_t lastEnd_ = 0;
    Json* root_;
    Places* places_;
    std::string* error_;
    std::vector<Json*> open_;
    std::vector<std::string> paths_;
    std::string key_;
    std::string lastPath_;
};

class Loader {
public:
    Loader(std::string_view text, const Places& places, const CivilTime& wallNow, SteadyTime now, MeterState* state,
           std::string* error)
        : text_(text), places_(places), wallNow_(wallNow), now_(now), state_(state), error_(error) {}

    bool Load(const Json& root) {
        if (!root.is_object()) return Fail("", "the memory file must hold one object");
        for (const auto& member : root.items()) {
            const std::string& key = member.key();
            const Json& value = member.value();
            const std::string path = ChildPath("", key);
            bool ok = true;
            if (key == "comment") {
                ok = true;
            } else if (key == "version") {
                ok = Bytes(value, path, key, 6, 6, '\0', &state_->version);
            } else if (key == "battery") {
                ok = Field(value, path, key, 3, "%3llu", 999, &state_->battery);
            } else if (key == "free_units") {
                ok = Field(value, path, key, 5, "%05llu", 99999, &state_->freeUnits);
            } else if (key == "used_units") {
                ok = Field(value, path, key, 5, "%05llu", 99999, &state_->usedUnits);
            } else if (key == "readings") {
                ok = Field(value, path, key, 6, "%06llu", 999999, &state_->readings);
            } else if (key == "clock") {
                ok = Clock(value, path);
            } else if (key == "tables") {
                ok = Tables(value, path);
            } else {
                ok = Fail(path, "unknown member \"" + key + "\"");
            }
            if (!ok) return false;
        }
        return true;
    }

private:
    bool Fail(const std::string& path, const std::string& what) {
        auto place = places_.find(path);
        *error_ = Place(text_, place == places_.end() ? 0 : place->second) + ": " + what;
        return false;
    }

    static const std::string* Text(const Json& v) { return v.is_string() ? &v.get_ref<const std::string&>() : nullptr; }

    // A string of min to max bytes, padded to max with `pad`.
    bool Bytes(const Json& v, const std::string& path, const std::string& name, std::size_t min, std::size_t max,
               char pad, std::string* out) {
        const std::string* text = Text(v);
        if (text == nullptr || text->size() < min || text->size() > max) {
            std::string size = min == max ? std::to_string(max) : std::to_string(min) + " to " + std::to_string(max);
            return Fail(path, "\"" + name + "\" must be a string of " + size + " bytes");
        }
        *out = *text;
        out->resize(max, pad);
        return true;
    }

    // A status field: a whole number printed with `format`, or its exact text.
    bool Field(const Json& v, const std::string& path, const std::string& name, std::size_t width,
               const char* format, unsigned long long limit, std::string* out) {
        if (v.is_string()) return Bytes(v, path, name, width, width, '\0', out);
        // Fractions, signs, exponents and numbers past 64 bits are not unsigned to the parser.
        if (!v.is_number_unsigned() || v.get<std::uint64_t>() > limit) {
            return Fail(path, "\"" + name + "\" must be a whole number up to " + std::to_string(limit) +
                                  " or a string of " + std::to_string(width) + " bytes");
        }
        char text[32];
        std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(v.get<std::uint64_t>()));
        *out = text;
        return true;
    }

    bool Char(const Json& v, const std::string& path, const std::string& name, char* out) {
        const std::string* text = Text(v);
        if (text == nullptr || text->size() != 1) return Fail(path, "\"" + name + "\" must be a string of one byte");
        *out = (*text)[0];
        return true;
    }

    static bool ParseTime(const std::string& text, CivilTime* t) {
        // "YYYY-MM-DD HH:MM:SS"
        if (text.size() != 19) return false;
        static constexpr char kShape[] = "0000-00-00 00:00:00";
        for (std::size_t i = 0; i < text.size(); ++i) {
            bool digit = text[i] >= '0' && text[i] <= '9';
            if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return false;
        }
        auto num = [&](std::size_t at, std::size_t n) {
            int value = 0;
            for (std::size_t i = 0; i < n; ++i) value = value * 10 + (text[at + i] - '0');
            return value;
        };
        *t = CivilTime{num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2)};
        return IsValidCivil(*t);
    }

    bool Clock(const Json& v, const std::string& path) {
        if (!v.is_object()) return Fail(path, "\"clock\" must be an object");
        char order = state_->clock.order();
        CivilTime time = wallNow_;
        for (const auto& member : v.items()) {
            const std::string& key = member.key();
            const std::string memberPath = ChildPath(path, key);
            if (key == "order") {
                if (!Char(member.value(), memberPath, "order", &order)) return false;
                if (order < '0' || order > '2') return Fail(memberPath, "\"order\" must be \"0\", \"1\" or \"2\"");
            } else if (key == "time") {
                const std::string* text = Text(member.value());
                if (text == nullptr || (*text != "now" && !ParseTime(*text, &time))) {
                    return Fail(memberPath, "\"time\" must be \"now\" or a date \"YYYY-MM-DD HH:MM:SS\"");
                }
            } else {
                return Fail(memberPath, "unknown member \"" + key + "\" in \"clock\"");
            }
        }
        state_->clock.Set(order, time, now_);
        return true;
    }

    bool Tables(const Json& v, const std::string& path) {
        if (!v.is_object()) return Fail(path, "\"tables\" must be an object keyed by slot id");
        for (const auto& member : v.items()) {
            const std::string& key = member.key();
            const std::string slotPath = ChildPath(path, key);
            int index = key.size() == 1 ? SlotIndex(key[0]) : -1;
            if (index < 0) return Fail(slotPath, "\"" + key + "\" is not a table slot id (1 2 4 6 9 C D E G F)");
            if (!Slot(member.value(), slotPath, key[0], &state_->tables[static_cast<std::size_t>(index)])) {
                return false;
            }
        }
        return true;
    }

    bool Slot(const Json& v, const std::string& path, char id, TableSlot* slot) {
        if (!v.is_object()) return Fail(path, "a table slot must be an object");
        *slot = TableSlot{};
        slot->present = true;
        slot->reportedId = id;
        slot->status = '2';
        slot->name.assign(10, '\0');
        slot->points.fill(std::string(kEmptyPoint));
        std::size_t pointsGiven = 0;
        bool countGiven = false;
        for (const auto& member : v.items()) {
            const std::string& key = member.key();
            const Json& value = member.value();
            const std::string memberPath = ChildPath(path, key);
            bool ok = true;
            if (key == "status") {
                ok = Char(value, memberPath, key, &slot->status);
            } else if (key == "reported_id") {
                ok = Char(value, memberPath, key, &slot->reportedId);
            } else if (key == "name") {
                // Shorter names are held as an upload leaves them: padded with zero bytes.
                ok = Bytes(value, memberPath, key, 0, 10, '\0', &slot->name);
            } else if (key == "count") {
                countGiven = true;
                ok = value.is_string() ? Bytes(value, memberPath, key, 0, 2, '\0', &slot->count)
                                       : Field(value, memberPath, key, 2, "%02llu", 99, &slot->count);
            } else if (key == "points") {
                if (!value.is_array() || value.size() > slot->points.size()) {
                    return Fail(memberPath, "\"points\" must be an array of at most 20 strings");
                }
                pointsGiven = value.size();
                for (std::size_t i = 0; i < pointsGiven && ok; ++i) {
                    ok = Bytes(value[i], ChildPath(memberPath, i), "points", 12, 12, '\0', &slot->points[i]);
                }
            } else {
                ok = Fail(memberPath, "unknown member \"" + key + "\" in a table slot");
            }
            if (!ok) return false;
        }
        if (!countGiven) {
            char text[8];
            std::snprintf(text, sizeof text, "%02zu", pointsGiven);
            slot->count = text;
        }
        return true;
    }

    std::string_view text_;
    const Places& places_;
    CivilTime wallNow_;
    SteadyTime now_;
    MeterState* state_;
    std::string* error_;
};

}  // namespace

bool LoadMeterState(std::string_view json, const CivilTime& wallNow, SteadyTime now, MeterState* out,
                    std::string* error) {
    Json root;
    Places places;
    DocumentBuilder builder(json, &root, &places, error);
    if (!builder.Parse()) return false;
    MeterState state = DefaultMeterState(wallNow, now);
    Loader loader(json, places, wallNow, now, &state, error);
    if (!loader.Load(root)) return false;
    *out = std::move(state);
    return true;
}

}  // namespace tq4sim
