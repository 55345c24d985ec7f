// What the emulated meter holds: its status fields, its clock, its ten table slots, and room
// for stored records and memory blocks. Fields that go out on the line are kept as the exact
// bytes the meter sends, so a memory file can give odd contents (a battery field "87.", a
// version with an 8-bit character) as well as plain numbers.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tq4sim {

using SteadyTime = std::chrono::steady_clock::time_point;

// The meter's ten table slot ids, in the order the program reads them.
inline constexpr std::array<char, 10> kSlotIds = {'1', '2', '4', '6', '9', 'C', 'D', 'E', 'G', 'F'};

// Index of a slot id in kSlotIds, or -1.
int SlotIndex(char id);

struct CivilTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A date the meter's calendar can hold: year 0 to 9999, a real day of the month, 00:00:00 to
// 23:59:59.
bool IsValidCivil(const CivilTime& t);
// Seconds since 1970-01-01 00:00:00 on a calendar without time zones; the meter has none.
std::int64_t CivilToSeconds(const CivilTime& t);
CivilTime SecondsToCivil(std::int64_t seconds);

// The meter's clock: set to a date and time, it runs on in real time from that moment.
class MeterClock {
public:
    void Set(char order, const CivilTime& time, SteadyTime at);
    char order() const { return order_; }
    CivilTime Read(SteadyTime now) const;

private:
    char order_ = '1';
    std::int64_t base_ = CivilToSeconds(CivilTime{});
    SteadyTime setAt_{};
};

struct TableSlot {
    bool present = false;
    char reportedId = '\0';  // the id the meter reports for the slot; its own id unless set
    char status = '0';       // '0' empty, '1' faulty, '2' ready
    std::string name;        // 10 bytes
    std::string count;       // 2 bytes: the point count text
    std::array<std::string, 20> points;  // 12 bytes each
};

// A stored record: the kind character of the fetch reply's prefix and the body sent after it,
// "\r\n" included; no body for kinds without one.
struct StoredRecord {
    char kind = '0';
    std::string body;
};

// A table upload under way: the header has come for `slot` and the rows message `nextPart`
// ('2', then '3') is expected; `status` is the slot status the header asked for, set once the
// last rows have come. No upload: slot '\0'.
struct TableUpload {
    char slot = '\0';
    char nextPart = '\0';
    char status = '2';
};

// The external memory that a dump reads block by block.
inline constexpr char kExternalMemory = '2';
inline constexpr std::size_t kMemoryBlockSize = 128;
inline constexpr std::size_t kMemoryImageSize = 256 * kMemoryBlockSize;

struct MeterState {
    // Fields of the status reply, each exactly its width.
    std::string version = "V2.13 ";
    std::string battery = " 87";
    std::string freeUnits = "28000";
    std::string usedUnits = "02000";
    std::string readings = "000000";
    MeterClock clock;
    std::array<TableSlot, 10> tables;  // by slot index (kSlotIds)
    std::vector<StoredRecord> records;     // record number n is records[n - 1]
    std::map<char, std::string> memory;    // memory type -> its bytes, 128 per block
    TableUpload upload;
};

// The point text the program sends for a row beyond a table's count.
inline constexpr std::string_view kEmptyPoint = "0000,000.000";

// A meter with the fields above, its clock set to start (order '1'), no tables, and the
// external memory holding MemoryPattern(0).
MeterState DefaultMeterState(const CivilTime& start, SteadyTime now);

// A recognisable, deterministic image of the external memory: block b opens with the 8
// characters "blk" and b as five digits; its other 120 bytes come from a xorshift32 stream
// started from the seed (one number a byte, its low 8 bits), running on across blocks.
std::string MemoryPattern(std::uint32_t seed);

// Reads the image file that a memory file names (the name as written there) into *bytes;
// false with the reason in *why.
using ImageReader = std::function<bool(const std::string& name, std::string* bytes, std::string* why)>;

// Reads a meter memory file (JSON; memory_file.cpp). `wallNow` is the computer's local time,
// used for a clock given as "now"; `now` is when the clock starts running. Unknown members are
// refused so that a misspelt field does not go unnoticed. Without a "readings" member the
// readings stored are the number of reading records. A "memory_image" member is read through
// `readImage`; without one it is refused.
[[nodiscard]] bool LoadMeterState(std::string_view json, const CivilTime& wallNow, SteadyTime now, MeterState* out,
                                  std::string* error, const ImageReader& readImage = {});

}  // namespace tq4sim
