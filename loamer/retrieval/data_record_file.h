// The data record file, composed chunk by chunk: the banner, the two chunks of the tables block,
// a block for each data-set header and a line for each reading. Pure: each function returns the
// exact bytes of one chunk (CR LF line ends), which the retrieval writes with one write.
#pragma once

#include <string>

#include "loamer/link/status_queries.h"
#include "loamer/retrieval/record_decoder.h"

namespace loamer {

std::string ComposeBanner(const std::string& programVersion, const MeterVersion& meterVersion);

// The tables block: the names, states and units of the slots present, then twenty rows of their
// points (a slot the meter reports with id '0' keeps its three empty columns).
std::string ComposeTablesHead(const TablesStatus& status, const MeterTablesImage& image);
std::string ComposeTablesPoints(const TablesStatus& status, const MeterTablesImage& image);

std::string ComposeProfileBlock(const ProfileHeader& header, const DataSetLayout& layout);
std::string ComposeSensorBlock(const SensorHeader& header);
// order: the date order the meter's clock holds ('0' month first, '2' year first, else day first).
std::string ComposeReadingLine(const Reading& reading, char order);

}  // namespace loamer
