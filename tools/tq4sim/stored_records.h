// The readings a meter keeps: fixed-width text records fetched one by one ("R" and five digits),
// each answered "Z<kind>\r\n" and then its body. The layouts are written here from the meter's
// side, apart from the program's own table, so that a width that differs on either side shows
// up as a failed retrieval in end-to-end tests. Texts of the structures below are the exact
// field contents; the formatters pad or cut a text that has the wrong width, so a body always
// has its kind's length.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tq4sim/meter_state.h"

namespace tq4sim {

inline constexpr std::size_t kRecordRequestSize = 8;  // "R", 5 digits, "\r\n"
inline constexpr std::size_t kRecordPrefixSize = 4;   // "Z", kind, "\r\n"
inline constexpr unsigned kLastRecordNumber = 99999;  // five digits

inline constexpr char kEndKind = '0';
inline constexpr char kProfileKind = '1';
inline constexpr char kSensorKind = 'A';
inline constexpr char kCorruptKind = '9';

inline constexpr std::size_t kProfileHeaderSize = 130;  // bodies, "\r\n" included
inline constexpr std::size_t kSensorHeaderSize = 42;
inline constexpr std::size_t kProfileDepths = 6;
inline constexpr std::size_t kCalibrationGroups = 7;  // Organic, Mineral, Soil 1 to Soil 5

// Value slots of a reading kind ('2' to '7', 'E'); 0 for any other character.
std::size_t SlotCount(char kind);
inline bool IsReadingKind(char kind) { return SlotCount(kind) != 0; }
// Body length of a reading kind: 27 characters of number, sample, plot, device and time, eight
// a slot, "\r\n".
std::size_t ReadingSize(char kind);

// "%05u": the number that opens every body.
std::string RecordNumberText(unsigned number);

struct CalibrationGroup {
    std::string a0 = "000";             // coded coefficient, 3
    std::string a1 = "000";             // coded coefficient, 3
    std::string fieldCapacity = "000.0";  // 5
};

struct ProfileHeader {
    char device = '6';
    char depthCount = '1';
    char firstQuantity = '2';
    char secondQuantity = '0';  // '0': none
    std::string rootDepth = "0000";
    std::string soils = "      ";  // one code a depth, 6
    std::array<std::string, kProfileDepths> sensorDepths{"0000", "0000", "0000", "0000", "0000", "0000"};
    std::array<CalibrationGroup, kCalibrationGroups> groups;
};

struct SensorHeader {
    char device = 'A';
    std::string channels = "W    ";  // codes up to the first blank, 5
    char vwcUnits = '2';
    char ecUnits = '4';
    std::string rootDepth = "0000";
    std::string sensorDepth = "0000";
    char soil = '2';
    std::string b0 = "000";
    std::string b1 = "000";
    std::string fieldCapacity = "000.0";
    std::string soilParameter = "000";
    char ecCompensation = '0';  // '0' none, '1' reference 20, '2' reference 25
    std::string percent = "000";
};

struct ReadingSlot {
    std::string value;  // 7 characters, as the meter printed the number
    char flag = ' ';    // blank: valid; otherwise the meter's error character
};

struct Reading {
    char kind = '2';
    std::string sample = "0001";  // 4
    char plot = '1';
    std::string device = "   ";  // 3
    CivilTime time;
    std::vector<ReadingSlot> slots;  // SlotCount(kind); missing ones are blank
};

// Bodies with their "\r\n"; `number` is the 5-character record number.
std::string ProfileHeaderBody(std::string_view number, const ProfileHeader& header);
std::string SensorHeaderBody(std::string_view number, const SensorHeader& header);
std::string ReadingBody(std::string_view number, const Reading& reading);

// How many of the records are readings (of a reading kind).
std::size_t CountReadings(const std::vector<StoredRecord>& records);

// Appends `count` plausible readings in data sets of 100, each behind its header: profile sets
// of one quantity, single-sensor sets, profile sets of two quantities, in turn, two plots, a
// reading a minute from 2024-05-06 08:00:00, now and then a flagged value. Stops at record
// 99999. Adds the readings to the status field of readings stored when it holds a number.
void AppendGeneratedReadings(MeterState* state, unsigned count);

}  // namespace tq4sim
