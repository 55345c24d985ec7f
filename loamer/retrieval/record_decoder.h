// Decoding the stored records: the two header kinds, which fix the layout of the readings that
// follow them, and the readings themselves. Pure: bodies in, fields and codes out.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "loamer/link/error_codes.h"
#include "loamer/retrieval/record_layout.h"

namespace loamer {

// A record body as read, zero-terminated behind its last byte so that a scan stops there.
struct RecordBody {
    char bytes[kMaxRecordBody + 1] = {};
    std::size_t size = 0;
};

// What the current header fixes for the readings that follow it.
struct DataSetLayout {
    char expectedKind = kKindEnd;  // before any header no reading is accepted
    std::size_t bodyLength = 0;
    int n = 0;   // depths (profile) or channels (single sensor)
    int n1 = 0;  // depths that carry the first quantity
    int n2 = 0;  // depths that carry the second quantity
    bool twoQuantities = false;
};

// The slot that carries quantity s (0 or 1) at depth i, or -1 when the layout carries none there.
int SlotOf(const DataSetLayout& layout, int depth, int quantity);

// A profile header's body and the layout it sets.
struct ProfileHeader {
    RecordBody body;
};

struct SensorHeader {
    RecordBody body;
    int channels = 0;
};

// A reading's body and the slots its columns show, in order: depth by depth, first quantity first.
// (Not named "slots": Qt defines that word as a macro in every file that includes it.)
struct Reading {
    RecordBody body;
    std::vector<std::size_t> columns;
};

[[nodiscard]] ErrorCode DecodeProfileHeader(const RecordBody& body, ProfileHeader& header, DataSetLayout& layout);
[[nodiscard]] ErrorCode DecodeSensorHeader(const RecordBody& body, unsigned number, SensorHeader& header,
                                           DataSetLayout& layout);
[[nodiscard]] ErrorCode DecodeReading(const RecordBody& body, unsigned number, const DataSetLayout& layout,
                                      Reading& reading);

}  // namespace loamer
