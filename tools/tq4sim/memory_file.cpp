// The meter memory file: JSON read with the places of its values kept, so that every fault
// names its line and column, then turned into the meter's fields, tables and stored records.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "tools/tq4sim/meter_state.h"
#include "tools/tq4sim/stored_records.h"

namespace tq4sim {

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
           std::string* error, const ImageReader& readImage)
        : text_(text), places_(places), wallNow_(wallNow), now_(now), state_(state), error_(error),
          readImage_(readImage) {}

    bool Load(const Json& root) {
        bool readingsGiven = false;
        bool imageGiven = false;
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
                readingsGiven = true;
                ok = Field(value, path, key, 6, "%06llu", 999999, &state_->readings);
            } else if (key == "clock") {
                ok = Clock(value, path);
            } else if (key == "tables") {
                ok = Tables(value, path);
            } else if (key == "records") {
                ok = Records(value, path);
            } else if (key == "memory_seed" || key == "memory_image") {
                ok = (!imageGiven || Fail(path, "give either \"memory_seed\" or \"memory_image\", not both")) &&
                     (key == "memory_seed" ? MemorySeed(value, path) : MemoryImage(value, path));
                imageGiven = true;
            } else {
                ok = Fail(path, "unknown member \"" + key + "\"");
            }
            if (!ok) return false;
        }
        if (!readingsGiven) {
            std::size_t count = std::min<std::size_t>(CountReadings(state_->records), 999999);
            char text[16];
            std::snprintf(text, sizeof text, "%06zu", count);
            state_->readings = text;
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

    bool MemorySeed(const Json& v, const std::string& path) {
        if (!v.is_number_unsigned() || v.get<std::uint64_t>() > UINT32_MAX) {
            return Fail(path, "\"memory_seed\" must be a whole number up to 4294967295");
        }
        state_->memory[kExternalMemory] = MemoryPattern(static_cast<std::uint32_t>(v.get<std::uint64_t>()));
        return true;
    }

    // The name of a file that holds the whole external memory, read through readImage_.
    bool MemoryImage(const Json& v, const std::string& path) {
        const std::string* name = Text(v);
        if (name == nullptr || name->empty()) return Fail(path, "\"memory_image\" must be the name of a file");
        if (!readImage_) return Fail(path, "\"memory_image\": no image files can be read here");
        std::string bytes;
        std::string why;
        if (!readImage_(*name, &bytes, &why)) return Fail(path, "\"memory_image\": " + why);
        if (bytes.size() != kMemoryImageSize) {
            return Fail(path, "\"memory_image\": " + *name + " holds " + std::to_string(bytes.size()) +
                                  " bytes, not " + std::to_string(kMemoryImageSize));
        }
        state_->memory[kExternalMemory] = std::move(bytes);
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

    // Stored records. Each entry is an object whose "kind" decides its form: "1" a profile
    // header, "A" a single-sensor header, a reading kind a reading; an entry with a "body",
    // and one of any other kind, is sent as written.

    bool Records(const Json& v, const std::string& path) {
        if (!v.is_array()) return Fail(path, "\"records\" must be an array of records");
        if (v.size() > kLastRecordNumber) return Fail(path, "\"records\" holds at most 99999 records");
        state_->records.clear();
        state_->records.reserve(v.size());
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (!Record(v[i], ChildPath(path, i), static_cast<unsigned>(i + 1))) return false;
        }
        return true;
    }

    bool Record(const Json& v, const std::string& path, unsigned position) {
        if (!v.is_object()) return Fail(path, "a record must be an object with a \"kind\"");
        auto kindMember = v.find("kind");
        if (kindMember == v.end()) return Fail(path, "a record needs a \"kind\"");
        StoredRecord record;
        if (!Char(*kindMember, ChildPath(path, "kind"), "kind", &record.kind)) return false;
        std::string number = RecordNumberText(position);
        bool ok = false;
        if (v.contains("body") || (record.kind != kProfileKind && record.kind != kSensorKind &&
                                   !IsReadingKind(record.kind))) {
            ok = RawRecord(v, path, &record);
        } else if (record.kind == kProfileKind) {
            ProfileHeader header;
            ok = Profile(v, path, &number, &header);
            record.body = ProfileHeaderBody(number, header);
        } else if (record.kind == kSensorKind) {
            SensorHeader header;
            ok = Sensor(v, path, &number, &header);
            record.body = SensorHeaderBody(number, header);
        } else {
            Reading reading;
            reading.kind = record.kind;
            ok = ReadingEntry(v, path, &number, &reading);
            record.body = ReadingBody(number, reading);
        }
        if (ok) state_->records.push_back(std::move(record));
        return ok;
    }

    // Goes through an entry's members: "kind" (read already) and "comment" are passed over,
    // "number" replaces the record number when `number` is given, and the rest go to `member`
    // (key, value, path), which refuses what it does not know with Unknown.
    template <typename Member>
    bool Members(const Json& v, const std::string& path, std::string* number, Member member) {
        for (const auto& item : v.items()) {
            const std::string& key = item.key();
            if (key == "kind" || key == "comment") continue;
            const std::string memberPath = ChildPath(path, key);
            bool ok = number != nullptr && key == "number"
                          ? Field(item.value(), memberPath, key, 5, "%05llu", kLastRecordNumber, number)
                          : member(key, item.value(), memberPath);
            if (!ok) return false;
        }
        return true;
    }

    bool Unknown(const std::string& path, const std::string& key, const char* where) {
        return Fail(path, "unknown member \"" + key + "\" in " + where);
    }

    // A string of exactly `width` bytes.
    bool Exact(const Json& v, const std::string& path, const std::string& name, std::size_t width,
               std::string* out) {
        return Bytes(v, path, name, width, width, '\0', out);
    }

    // A depth in the meter's unit: a number printed "%04u", or its exact 4 bytes.
    bool Depth(const Json& v, const std::string& path, const std::string& name, std::string* out) {
        return Field(v, path, name, 4, "%04llu", 9999, out);
    }

    // An array of at most `max` values; `each` (value, path, index) reads one.
    template <typename Each>
    bool Array(const Json& v, const std::string& path, const std::string& name, std::size_t min, std::size_t max,
               const char* what, Each each) {
        if (!v.is_array() || v.size() < min || v.size() > max) {
            std::string size = min == max ? std::to_string(max) : min == 0 ? "at most " + std::to_string(max)
                                                                           : std::to_string(min) + " or " +
                                                                                 std::to_string(max);
            return Fail(path, "\"" + name + "\" must be an array of " + size + " " + what);
        }
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (!each(v[i], ChildPath(path, i), i)) return false;
        }
        return true;
    }

    bool Profile(const Json& v, const std::string& path, std::string* number, ProfileHeader* h) {
        bool countGiven = false;
        std::size_t depthsGiven = 0;
        bool ok = Members(v, path, number, [&](const std::string& key, const Json& value, const std::string& p) {
            if (key == "device") return Char(value, p, key, &h->device);
            if (key == "depth_count") {
                countGiven = true;
                // A number 1 to 6 as a digit; any byte as a string, for a meter that sends odd ones.
                if (value.is_number_unsigned() && value.get<std::uint64_t>() <= 9) {
                    h->depthCount = static_cast<char>('0' + value.get<std::uint64_t>());
                    return true;
                }
                if (value.is_string()) return Char(value, p, key, &h->depthCount);
                return Fail(p, "\"depth_count\" must be a whole number up to 9 or a string of one byte");
            }
            if (key == "quantities") {
                h->secondQuantity = '0';
                return Array(value, p, key, 1, 2, "quantity codes", [&](const Json& q, const std::string& qp,
                                                                          std::size_t i) {
                    return Char(q, qp, key, i == 0 ? &h->firstQuantity : &h->secondQuantity);
                });
            }
            if (key == "root_depth") return Depth(value, p, key, &h->rootDepth);
            if (key == "soils") return Bytes(value, p, key, 0, kProfileDepths, ' ', &h->soils);
            if (key == "sensor_depths") {
                depthsGiven = value.is_array() ? value.size() : 0;
                return Array(value, p, key, 0, kProfileDepths, "depths",
                             [&](const Json& d, const std::string& dp, std::size_t i) {
                                 return Depth(d, dp, key, &h->sensorDepths[i]);
                             });
            }
            if (key == "calibration") {
                return Array(value, p, key, 0, kCalibrationGroups, "groups",
                             [&](const Json& g, const std::string& gp, std::size_t i) {
                                 return Group(g, gp, &h->groups[i]);
                             });
            }
            return Unknown(p, key, "a profile header");
        });
        if (ok && !countGiven) h->depthCount = static_cast<char>('0' + std::max<std::size_t>(1, depthsGiven));
        return ok;
    }

    bool Group(const Json& v, const std::string& path, CalibrationGroup* group) {
        if (!v.is_object()) return Fail(path, "a calibration group must be an object");
        return Members(v, path, nullptr, [&](const std::string& key, const Json& value, const std::string& p) {
            if (key == "a0") return Exact(value, p, key, 3, &group->a0);
            if (key == "a1") return Exact(value, p, key, 3, &group->a1);
            if (key == "field_capacity") return Exact(value, p, key, 5, &group->fieldCapacity);
            return Unknown(p, key, "a calibration group");
        });
    }

    bool Sensor(const Json& v, const std::string& path, std::string* number, SensorHeader* h) {
        return Members(v, path, number, [&](const std::string& key, const Json& value, const std::string& p) {
            if (key == "device") return Char(value, p, key, &h->device);
            if (key == "channels") return Bytes(value, p, key, 0, 5, ' ', &h->channels);
            if (key == "vwc_units") return Char(value, p, key, &h->vwcUnits);
            if (key == "ec_units") return Char(value, p, key, &h->ecUnits);
            if (key == "root_depth") return Depth(value, p, key, &h->rootDepth);
            if (key == "sensor_depth") return Depth(value, p, key, &h->sensorDepth);
            if (key == "soil") return Char(value, p, key, &h->soil);
            if (key == "b0") return Exact(value, p, key, 3, &h->b0);
            if (key == "b1") return Exact(value, p, key, 3, &h->b1);
            if (key == "field_capacity") return Exact(value, p, key, 5, &h->fieldCapacity);
            if (key == "soil_parameter") return Exact(value, p, key, 3, &h->soilParameter);
            if (key == "ec_compensation") return Char(value, p, key, &h->ecCompensation);
            if (key == "percent") return Exact(value, p, key, 3, &h->percent);
            return Unknown(p, key, "a single-sensor header");
        });
    }

    bool ReadingEntry(const Json& v, const std::string& path, std::string* number, Reading* r) {
        const std::size_t slots = SlotCount(r->kind);
        bool timeGiven = false;
        bool slotsGiven = false;
        bool ok = Members(v, path, number, [&](const std::string& key, const Json& value, const std::string& p) {
            if (key == "sample") {
                // A number is printed "%04u"; a text is left-aligned in the 4 characters.
                if (value.is_number_unsigned() && value.get<std::uint64_t>() <= 9999) {
                    return Field(value, p, key, 4, "%04llu", 9999, &r->sample);
                }
                const std::string* text = Text(value);
                if (text == nullptr || text->size() > 4) {
                    return Fail(p, "\"sample\" must be a whole number up to 9999 or a string of up to 4 bytes");
                }
                r->sample = *text;
                r->sample.resize(4, ' ');
                return true;
            }
            if (key == "plot") return Char(value, p, key, &r->plot);
            if (key == "device") return Bytes(value, p, key, 0, 3, ' ', &r->device);
            if (key == "time") {
                timeGiven = true;
                const std::string* text = Text(value);
                if (text == nullptr || !ParseTime(*text, &r->time)) {
                    return Fail(p, "\"time\" must be a date \"YYYY-MM-DD HH:MM:SS\"");
                }
                return true;
            }
            if (key == "slots") {
                slotsGiven = true;
                r->slots.resize(slots);
                return Array(value, p, key, slots, slots,
                             (std::string("slots for kind \"") + r->kind + "\"").c_str(),
                             [&](const Json& s, const std::string& sp, std::size_t i) {
                                 return ValueSlot(s, sp, &r->slots[i]);
                             });
            }
            return Unknown(p, key, "a reading");
        });
        if (!ok) return false;
        if (!timeGiven) return Fail(path, "a reading needs a \"time\"");
        if (!slotsGiven) {
            return Fail(path, "a reading of kind \"" + std::string(1, r->kind) + "\" needs \"slots\", " +
                                  std::to_string(slots) + " of them");
        }
        return true;
    }

    // A slot: its value text alone (a valid value), or {"value": ..., "flag": ...}.
    bool ValueSlot(const Json& v, const std::string& path, ReadingSlot* slot) {
        if (v.is_string()) return Value(v, path, &slot->value);
        if (!v.is_object()) return Fail(path, "a slot must be a value text or an object with \"value\" and \"flag\"");
        slot->value.assign(7, ' ');
        return Members(v, path, nullptr, [&](const std::string& key, const Json& value, const std::string& p) {
            if (key == "value") return Value(value, p, &slot->value);
            if (key == "flag") return Char(value, p, key, &slot->flag);
            return Unknown(p, key, "a slot");
        });
    }

    // Up to 7 bytes, right-aligned as the meter prints numbers.
    bool Value(const Json& v, const std::string& path, std::string* out) {
        const std::string* text = Text(v);
        if (text == nullptr || text->size() > 7) return Fail(path, "a value must be a string of up to 7 bytes");
        *out = std::string(7 - text->size(), ' ') + *text;
        return true;
    }

    bool RawRecord(const Json& v, const std::string& path, StoredRecord* record) {
        return Members(v, path, nullptr, [&](const std::string& key, const Json& value, const std::string& p) {
            if (key != "body") return Unknown(p, key, "a record sent as written (kind and body only)");
            const std::string* text = Text(value);
            if (text == nullptr) return Fail(p, "\"body\" must be a string");
            record->body = *text + "\r\n";
            return true;
        });
    }

    std::string_view text_;
    const Places& places_;
    CivilTime wallNow_;
    SteadyTime now_;
    MeterState* state_;
    std::string* error_;
    const ImageReader& readImage_;
};

}  // namespace

bool LoadMeterState(std::string_view json, const CivilTime& wallNow, SteadyTime now, MeterState* out,
                    std::string* error, const ImageReader& readImage) {
    Json root;
    Places places;
    DocumentBuilder builder(json, &root, &places, error);
    if (!builder.Parse()) return false;
    MeterState state = DefaultMeterState(wallNow, now);
    Loader loader(json, places, wallNow, now, &state, error, readImage);
    if (!loader.Load(root)) return false;
    *out = std::move(state);
    return true;
}

}  // namespace tq4sim
