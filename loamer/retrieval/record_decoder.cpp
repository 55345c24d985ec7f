#include "loamer/retrieval/record_decoder.h"

#include <cstdio>

namespace loamer {

namespace {

constexpr char kProfilePattern[] =
    "%5d %*c%1u%*c%*c%*c%*4u %*6c%*4u %*4u %*4u %*4u %*4u %*4u %*c%*3f%*3f%*5f%*c%*3f%*3f%*5f%*c%*3f%*3f%*5f"
    "%*c%*3f%*3f%*5f%*c%*3f%*3f%*5f%*c%*3f%*3f%*5f%*c%*3f%*3f%*5f\r\n%n";
constexpr char kSensorPattern[] = "%5d %*c%*5c%*c%*c%*4u %*4u %*c%*3c%*3c%*5f%*3f%*c%*3f\r\n%n";
constexpr char kReadingPattern[] = "%5d %*4c%*c%*3c%*4u%*2u%*2u%*2u%*2u%*2u%n";

// The reading kind for a depth count, without or with a second quantity.
char ProfileReadingKind(int n, bool two) {
    if (n == 1) return two ? '5' : '2';
    if (n <= 4) return two ? '6' : '3';
    return two ? '7' : '4';
}

}  // namespace

int SlotOf(const DataSetLayout& layout, int depth, int quantity) {
    const bool carried = quantity == 0 ? depth < layout.n1 : depth < layout.n2;
    if (!carried) return -1;
    return layout.twoQuantities ? 2 * depth + quantity : depth;
}

ErrorCode DecodeProfileHeader(const RecordBody& body, ProfileHeader& header, DataSetLayout& layout) {
    using namespace profile_header;
    int number = 0;
    unsigned n = 0;
    int consumed = 0;
    if (body.size != kSize || std::sscanf(body.bytes, kProfilePattern, &number, &n, &consumed) != 2 ||
        static_cast<std::size_t>(consumed) != kSize)
        return ERR_BAD_FRAME;
    const char first = body.bytes[kFirstQuantity];
    const char second = body.bytes[kSecondQuantity];
    if (n < 1 || n > kMaxDepths || first == '0' || second == '8') return ERR_BAD_REPLY;

    header.body = body;
    DataSetLayout next;
    next.n = static_cast<int>(n);
    next.n1 = first == '8' ? 1 : next.n;  // a deficit is one value per reading, at depth 0
    next.n2 = second == '0' ? 0 : next.n;
    next.twoQuantities = next.n2 != 0;
    next.expectedKind = ProfileReadingKind(next.n, next.twoQuantities);
    next.bodyLength = reading_record::BodySize(ReadingSlots(next.expectedKind));
    layout = next;
    return ERR_NONE;
}

ErrorCode DecodeSensorHeader(const RecordBody& body, unsigned number, SensorHeader& header, DataSetLayout& layout) {
    using namespace sensor_header;
    int stored = 0;
    int consumed = 0;
    if (body.size != kSize || std::sscanf(body.bytes, kSensorPattern, &stored, &consumed) != 1 ||
        static_cast<std::size_t>(consumed) != kSize)
        return ERR_BAD_FRAME;
    if (stored < 0 || static_cast<unsigned>(stored) != number) return ERR_BAD_REPLY;
    const char device = body.bytes[kDevice];
    if (device != 'A' && device != '9') return ERR_BAD_REPLY;
    const char ec = body.bytes[kEcCompensation];
    if (ec != '0' && ec != '1' && ec != '2') return ERR_BAD_FRAME;

    int channels = 0;
    while (channels < static_cast<int>(kChannels.width) &&
           body.bytes[kChannels.offset + static_cast<std::size_t>(channels)] != ' ')
        ++channels;
    header.body = body;
    header.channels = channels;
    DataSetLayout next;
    next.n = next.n1 = channels;
    next.expectedKind = 'E';
    next.bodyLength = reading_record::BodySize(ReadingSlots('E'));
    layout = next;
    return ERR_NONE;
}

ErrorCode DecodeReading(const RecordBody& body, unsigned number, const DataSetLayout& layout, Reading& reading) {
    using namespace reading_record;
    int stored = 0;
    int consumed = 0;
    if (body.size != layout.bodyLength || body.size < kSlotsStart ||
        std::sscanf(body.bytes, kReadingPattern, &stored, &consumed) != 1 ||
        static_cast<std::size_t>(consumed) != kSlotsStart)
        return ERR_BAD_FRAME;
    if (stored < 0 || static_cast<unsigned>(stored) != number) return ERR_BAD_REPLY;

    const std::size_t slots = (body.size - kSlotsStart - 2) / kSlotWidth;
    std::vector<std::size_t> selected;
    for (int depth = 0; depth < layout.n; ++depth) {
        for (int quantity = 0; quantity < 2; ++quantity) {
            const int slot = SlotOf(layout, depth, quantity);
            if (slot < 0) continue;
            const auto s = static_cast<std::size_t>(slot);
            if (s >= slots) return ERR_BAD_FRAME;
            const std::size_t at = kSlotsStart + kSlotWidth * s;
            if (body.bytes[at + kValueWidth] == ' ') {
                // A valid value must read as a number over its seven characters.
                int used = 0;
                (void)std::sscanf(body.bytes + at, "%*7f %n", &used);
                if (used < static_cast<int>(kValueWidth)) return ERR_BAD_FRAME;
            }
            selected.push_back(s);
        }
    }
    reading.body = body;
    reading.columns = std::move(selected);
    return ERR_NONE;
}

}  // namespace loamer
