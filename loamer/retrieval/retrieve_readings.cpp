#include "loamer/retrieval/retrieve_readings.h"

#include "loamer/link/meter_protocol.h"
#include "loamer/link/status_queries.h"
#include "loamer/link/ui.h"
#include "loamer/retrieval/data_record_file.h"
#include "loamer/retrieval/record_fetch.h"

namespace loamer {

namespace {

ErrorCode WriteChunk(OutputFile& file, const std::string& chunk) {
    std::string problem;
    if (file.Write(chunk.data(), chunk.size(), problem)) return ERR_NONE;
    Ui().MessageBox(problem, BoxStyle::Exclamation);
    return ERR_FILE_WRITE;
}

// One record: fetched, decoded against the layout, composed. chunk stays empty for the end.
ErrorCode NextChunk(unsigned number, char order, DataSetLayout& layout, std::string& chunk, bool& end) {
    char kind = 0;
    if (ErrorCode rc = RequestRecord(number, kind); rc != ERR_NONE) return rc;
    if (kind == kKindEnd) {
        end = true;
        return ERR_NONE;
    }
    if (kind == kKindCorrupt) return ERR_MEMORY_CORRUPT;
    // Any other kind that is no header nor the expected reading is refused here, before its body.

    RecordBody body;
    if (ErrorCode rc = ReadRecordBody(kind, layout, body); rc != ERR_NONE) return rc;
    if (kind == kKindProfileHeader) {
        ProfileHeader header;
        DataSetLayout next;
        if (ErrorCode rc = DecodeProfileHeader(body, header, next); rc != ERR_NONE) return rc;
        layout = next;
        chunk = ComposeProfileBlock(header, layout);
    } else if (kind == kKindSensorHeader) {
        SensorHeader header;
        DataSetLayout next;
        if (ErrorCode rc = DecodeSensorHeader(body, number, header, next); rc != ERR_NONE) return rc;
        layout = next;
        chunk = ComposeSensorBlock(header);
    } else {
        Reading reading;
        if (ErrorCode rc = DecodeReading(body, number, layout, reading); rc != ERR_NONE) return rc;
        chunk = ComposeReadingLine(reading, order);
    }
    return ERR_NONE;
}

}  // namespace

ErrorCode WriteTablesBlock(OutputFile& file) {
    WaitCursorScope cursor;
    MeterTablesImage image{};
    TablesStatus status{};
    if (ErrorCode rc = ReadMeterTables(image); rc != ERR_NONE) return rc;
    if (ErrorCode rc = ParseTablesStatus(status, image); rc != ERR_NONE) return rc;
    if (ErrorCode rc = WriteChunk(file, ComposeTablesHead(status, image)); rc != ERR_NONE) return rc;
    return WriteChunk(file, ComposeTablesPoints(status, image));
}

ErrorCode RetrieveReadings(OutputFile& file, const std::string& programVersion) {
    WaitCursorScope cursor;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return rc;
    unsigned char clock[kClockRecordSize] = {};
    if (ErrorCode rc = GetMeterClock(clock); rc != ERR_NONE) return rc;
    const char order = static_cast<char>(clock[clock_record::kOrder]);
    MeterVersion version = {};
    if (ErrorCode rc = GetMeterVersion(version); rc != ERR_NONE) return rc;
    if (ErrorCode rc = WriteChunk(file, ComposeBanner(programVersion, version)); rc != ERR_NONE) return rc;
    if (ErrorCode rc = WriteTablesBlock(file); rc != ERR_NONE) return rc;

    MeterMemoryStatus memory{};
    if (ErrorCode rc = GetMeterMemory(memory); rc != ERR_NONE) return rc;
    // About one step per hundredth of the stored readings.
    const std::uint32_t stored = memory.readingsStored;
    const std::uint32_t interval = stored > 100 ? stored / 100 + 1 : 1;

    ProgressScope progress;
    DataSetLayout layout;
    std::uint32_t counted = 0;
    for (unsigned number = 1; number <= kLastRecordNumber; ++number) {
        Ui().RestoreWaitCursor();
        if (++counted >= interval) {
            Ui().ProgressStep();
            counted = 0;
        }
        std::string chunk;
        bool end = false;
        if (ErrorCode rc = NextChunk(number, order, layout, chunk, end); rc != ERR_NONE) return rc;
        if (end) break;
        if (ErrorCode rc = WriteChunk(file, chunk); rc != ERR_NONE) return rc;
    }
    return ERR_NONE;
}

}  // namespace loamer
