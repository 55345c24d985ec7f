// Stored records as a meter would send them, built field by field for the retrieval tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "loamer/retrieval/record_decoder.h"

namespace loamer::testing {

// A body as the fetch reads it (cut at the longest body a record can have).
inline RecordBody Body(const std::string& text) {
    RecordBody b;
    b.size = std::min(text.size(), kMaxRecordBody);
    std::memcpy(b.bytes, text.data(), b.size);
    return b;
}

// A profile header: N depths, quantity codes q1 and q2, soils M, O, 1, 2, 3, 4, depths 0100,
// 0200, ..., and every calibration group " 123987045.0".
inline std::string ProfileBody(char n, char q1, char q2, const char* number = "00001", char device = '6') {
    std::string b = std::string(number) + device + n + q1 + q2 + ' ' + "0500" + "MO1234";
    for (int i = 1; i <= 6; ++i) b += "0" + std::to_string(i) + "00";
    for (int k = 0; k < 7; ++k) b += " 123987045.0";
    return b + "\r\n";
}

// A single-sensor header with channels W, B, T: VWC in m3.m-3, EC in mS.m-1, soil Clay.
inline std::string SensorBody(const char* number = "00001", char device = 'A', char soil = '3', char ec = '1',
                              const char* channels = "WBT  ") {
    return std::string(number) + device + channels + "24" + "0300" + "0150" + soil + "123" + "051" + "045.0" +
           "1.5" + ec + "020" + "\r\n";
}

// A reading: record number, sample, plot, then the slots (seven characters of value, one flag).
inline std::string ReadingBody(const char* number, const char* sample, char plot, const std::string& slotTexts,
                               const char* time = "20160305140709") {
    return std::string(number) + sample + plot + "B12" + time + slotTexts + "\r\n";
}

}  // namespace loamer::testing
