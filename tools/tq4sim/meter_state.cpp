#include "tools/tq4sim/meter_state.h"

#include <cstdio>

#include "tools/tq4sim/json_reader.h"

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
    return SecondsToCivil(base_ + elapsed);
}

MeterState DefaultMeterState(const CivilTime& start, SteadyTime now) {
    MeterState state;
    state.clock.Set('1', start, now);
    return state;
}

namespace {

class Loader {
public:
    Loader(const CivilTime& wallNow, SteadyTime now, MeterState* state, std::string* error)
        : wallNow_(wallNow), now_(now), state_(state), error_(error) {}

    bool Load(const JsonValue& root) {
        if (!root.IsObject()) return Fail(root, "the memory file must hold one object");
        for (const auto& [key, value] : root.Members()) {
            bool ok = true;
            if (key == "comment") {
                ok = true;
            } else if (key == "version") {
                ok = Bytes(value, key, 6, 6, '\0', &state_->version);
            } else if (key == "battery") {
                ok = Field(value, key, 3, "%3llu", 999, &state_->battery);
            } else if (key == "free_units") {
                ok = Field(value, key, 5, "%05llu", 99999, &state_->freeUnits);
            } else if (key == "used_units") {
                ok = Field(value, key, 5, "%05llu", 99999, &state_->usedUnits);
            } else if (key == "readings") {
                ok = Field(value, key, 6, "%06llu", 999999, &state_->readings);
            } else if (key == "clock") {
                ok = Clock(value);
            } else if (key == "tables") {
                ok = Tables(value);
            } else {
                ok = Fail(value, "unknown member \"" + key + "\"");
            }
            if (!ok) return false;
        }
        return true;
    }

private:
    bool Fail(const JsonValue& at, const std::string& what) {
        *error_ = "line " + std::to_string(at.line()) + ", column " + std::to_string(at.column()) + ": " + what;
        return false;
    }

    // A string of min to max bytes, padded to max with `pad`.
    bool Bytes(const JsonValue& v, const std::string& name, std::size_t min, std::size_t max, char pad,
               std::string* out) {
        if (!v.IsString() || v.Text().size() < min || v.Text().size() > max) {
            std::string size = min == max ? std::to_string(max) : std::to_string(min) + " to " + std::to_string(max);
            return Fail(v, "\"" + name + "\" must be a string of " + size + " bytes");
        }
        *out = v.Text();
        out->resize(max, pad);
        return true;
    }

    // A status field: a whole number printed with `format`, or its exact text.
    bool Field(const JsonValue& v, const std::string& name, std::size_t width, const char* format,
               unsigned long long limit, std::string* out) {
        if (v.IsString()) return Bytes(v, name, width, width, '\0', out);
        unsigned long long n = 0;
        if (!v.AsUnsigned(&n) || n > limit) {
            return Fail(v, "\"" + name + "\" must be a whole number up to " + std::to_string(limit) +
                               " or a string of " + std::to_string(width) + " bytes");
        }
        char text[32];
        std::snprintf(text, sizeof text, format, n);
        *out = text;
        return true;
    }

    bool Char(const JsonValue& v, const std::string& name, char* out) {
        if (!v.IsString() || v.Text().size() != 1) return Fail(v, "\"" + name + "\" must be a string of one byte");
        *out = v.Text()[0];
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

    bool Clock(const JsonValue& v) {
        if (!v.IsObject()) return Fail(v, "\"clock\" must be an object");
        char order = state_->clock.order();
        CivilTime time = wallNow_;
        for (const auto& [key, member] : v.Members()) {
            if (key == "order") {
                if (!Char(member, "order", &order)) return false;
                if (order < '0' || order > '2') return Fail(member, "\"order\" must be \"0\", \"1\" or \"2\"");
            } else if (key == "time") {
                if (!member.IsString() || (member.Text() != "now" && !ParseTime(member.Text(), &time))) {
                    return Fail(member, "\"time\" must be \"now\" or a date \"YYYY-MM-DD HH:MM:SS\"");
                }
            } else {
                return Fail(member, "unknown member \"" + key + "\" in \"clock\"");
            }
        }
        state_->clock.Set(order, time, now_);
        return true;
    }

    bool Tables(const JsonValue& v) {
        if (!v.IsObject()) return Fail(v, "\"tables\" must be an object keyed by slot id");
        for (const auto& [key, member] : v.Members()) {
            int index = key.size() == 1 ? SlotIndex(key[0]) : -1;
            if (index < 0) return Fail(member, "\"" + key + "\" is not a table slot id (1 2 4 6 9 C D E G F)");
            if (!Slot(member, key[0], &state_->tables[static_cast<std::size_t>(index)])) return false;
        }
        return true;
    }

    bool Slot(const JsonValue& v, char id, TableSlot* slot) {
        if (!v.IsObject()) return Fail(v, "a table slot must be an object");
        *slot = TableSlot{};
        slot->present = true;
        slot->reportedId = id;
        slot->status = '2';
        slot->name.assign(10, '\0');
        slot->points.fill(std::string(kEmptyPoint));
        std::size_t pointsGiven = 0;
        bool countGiven = false;
        for (const auto& [key, member] : v.Members()) {
            bool ok = true;
            if (key == "status") {
                ok = Char(member, key, &slot->status);
            } else if (key == "reported_id") {
                ok = Char(member, key, &slot->reportedId);
            } else if (key == "name") {
                // Shorter names are held as an upload leaves them: padded with zero bytes.
                ok = Bytes(member, key, 0, 10, '\0', &slot->name);
            } else if (key == "count") {
                countGiven = true;
                ok = member.IsString() ? Bytes(member, key, 0, 2, '\0', &slot->count)
                                       : Field(member, key, 2, "%02llu", 99, &slot->count);
            } else if (key == "points") {
                if (!member.IsArray() || member.Items().size() > 20) {
                    return Fail(member, "\"points\" must be an array of at most 20 strings");
                }
                pointsGiven = member.Items().size();
                for (std::size_t i = 0; i < pointsGiven && ok; ++i) {
                    ok = Bytes(member.Items()[i], "points", 12, 12, '\0', &slot->points[i]);
                }
            } else {
                ok = Fail(member, "unknown member \"" + key + "\" in a table slot");
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

    CivilTime wallNow_;
    SteadyTime now_;
    MeterState* state_;
    std::string* error_;
};

}  // namespace

bool LoadMeterState(std::string_view json, const CivilTime& wallNow, SteadyTime now, MeterState* out,
                    std::string* error) {
    JsonValue root;
    if (!ParseJson(json, &root, error)) return false;
    MeterState state = DefaultMeterState(wallNow, now);
    Loader loader(wallNow, now, &state, error);
    if (!loader.Load(root)) return false;
    *out = std::move(state);
    return true;
}

}  // namespace tq4sim
