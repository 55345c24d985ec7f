// Stored records of any bytes through the header and reading decoders and the file's chunks.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "loamer/retrieval/data_record_file.h"
#include "loamer/retrieval/lookup_tables.h"
#include "loamer/retrieval/record_decoder.h"

using namespace loamer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte picks the layout a reading is decoded against, the rest is the body.
    const char kind = static_cast<char>(data[0]);
    RecordBody body;
    body.size = size - 1 < kMaxRecordBody ? size - 1 : kMaxRecordBody;
    std::memcpy(body.bytes, data + 1, body.size);

    ProfileHeader profile;
    DataSetLayout layout;
    if (DecodeProfileHeader(body, profile, layout) == ERR_NONE) (void)ComposeProfileBlock(profile, layout);
    SensorHeader sensor;
    if (DecodeSensorHeader(body, 1, sensor, layout) == ERR_NONE) (void)ComposeSensorBlock(sensor);

    // A layout of every shape a profile header can fix, chosen by the kind byte.
    DataSetLayout reading;
    reading.n = 1 + (static_cast<unsigned char>(kind) % 6);
    reading.n1 = kind & 0x40 ? 1 : reading.n;
    reading.n2 = kind & 0x20 ? reading.n : 0;
    reading.twoQuantities = reading.n2 != 0;
    reading.expectedKind = '3';
    reading.bodyLength = body.size;
    Reading r;
    if (DecodeReading(body, 1, reading, r) == ERR_NONE) (void)ComposeReadingLine(r, kind);
    (void)DecodeCoefficient(body.bytes);
    return 0;
}
