#include "loamer/upload/lin_install.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "loamer/link/comm_port.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/link/status_queries.h"
#include "loamer/link/table_upload_layout.h"
#include "loamer/link/ui.h"

namespace loamer {

namespace {

// Whether one of the meter's ten slot headers carries the code as its slot id.
bool MeterHasSlot(const MeterTablesImage& image, char sensorCode) {
    for (std::size_t slot = 0; slot < table_reply::kSlots; ++slot) {
        if (image.bytes[TablePartOffset(1, slot) + table_reply::kSlotId] == static_cast<unsigned char>(sensorCode))
            return true;
    }
    return false;
}

// The row count as the header sends it: "%2u%n" over its two bytes, 2 to 20 rows.
bool ScanRowCount(const LinTable& table, unsigned& count) {
    char text[kLinCountLength + 1] = {};
    std::memcpy(text, table.rowCountText, kLinCountLength);
    int consumed = 0;
    if (std::sscanf(text, "%2u%n", &count, &consumed) != 1) return false;
    return consumed >= 1 && consumed <= 2 && count >= 2 && count <= kLinMaxRows;
}

void PutPoint(const LinTable& table, std::size_t row, unsigned char* point) {
    using namespace table_upload;
    std::memcpy(point + kPointMilliVolts.offset, table.milliVoltTexts[row], kPointMilliVolts.width);
    point[kPointComma] = ',';
    std::memcpy(point + kPointValue.offset, table.valueTexts[row], kPointValue.width);
}

CommandResult Report(ErrorCode code) {
    ShowErrorReport(code);
    return {CommandEnd::Reported, code};
}

}  // namespace

std::string LinNotSupportedText(const char* stem) {
    return std::string("This TQ4 does not support the ") + stem + " Linearisatation Table.\n";
}

ErrorCode BuildLinUploadMessages(const LinTable& table, char sensorCode, LinUploadMessages& messages) {
    unsigned count = 0;
    if (!ScanRowCount(table, count)) return ERR_BAD_FRAME;

    using namespace table_reply;
    unsigned char* header = messages.header;
    header[0] = static_cast<unsigned char>(kTableHeaderUpload.letter);
    header[table_upload::kPart] = '1';
    header[kSlotId] = static_cast<unsigned char>(sensorCode);
    header[kState] = table_upload::kReadyState;
    // Fixed widths: a shorter title or a one-digit count goes with the zero bytes behind it.
    std::memcpy(header + kName.offset, table.title, kName.width);
    std::memcpy(header + kCount.offset, table.rowCountText, kCount.width);
    header[kTableHeaderUpload.request - 2] = '\r';
    header[kTableHeaderUpload.request - 1] = '\n';

    for (std::size_t part = 0; part < 2; ++part) {
        unsigned char* rows = messages.rows[part];
        rows[0] = static_cast<unsigned char>(kTablePointsUpload.letter);
        rows[table_upload::kPart] = static_cast<unsigned char>('2' + part);
        rows[kSlotId] = static_cast<unsigned char>(sensorCode);
        for (std::size_t i = 0; i < kPointsPerPart; ++i) {
            const std::size_t row = part * kPointsPerPart + i;
            unsigned char* point = rows + kPointsStart + i * kPointWidth;
            if (row < count) PutPoint(table, row, point);
            else std::memcpy(point, table_upload::kPaddingPoint, kPointWidth);
        }
        rows[kTablePointsUpload.request - 2] = '\r';
        rows[kTablePointsUpload.request - 1] = '\n';
    }
    return ERR_NONE;
}

ErrorCode SendLinTable(const LinTable& table, char sensorCode) {
    LinUploadMessages messages;
    if (ErrorCode rc = BuildLinUploadMessages(table, sensorCode, messages); rc != ERR_NONE) return rc;
    WaitCursorScope cursor;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return rc;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    if (ErrorCode rc = WriteCommPort(messages.header, sizeof messages.header); rc != ERR_NONE) return rc;
    if (ErrorCode rc = ReadMeterAck(); rc != ERR_NONE) return rc;
    for (const auto& rows : messages.rows) {
        if (ErrorCode rc = WriteCommPort(rows, sizeof rows); rc != ERR_NONE) return rc;
        if (ErrorCode rc = ReadMeterAck(); rc != ERR_NONE) return rc;
    }
    return ERR_NONE;
}

CommandResult InstallLinTable(char sensorCode, ClockDisplay& display) {
    LinTable table{};
    if (ErrorCode rc = CheckNoReadingsStored(); rc != ERR_NONE) return Report(rc);

    const char* stem = LinSensorStem(sensorCode);
    MeterTablesImage image{};
    if (ErrorCode rc = ReadMeterTables(image); rc != ERR_NONE) return Report(rc);
    if (!MeterHasSlot(image, sensorCode)) {
        Ui().MessageBox(LinNotSupportedText(stem), BoxStyle::Plain);
        return {CommandEnd::OwnMessage, ERR_NONE};
    }

    const FileDialogOptions dialog{kLinFileExtension, stem, kLinFileFilter, false};
    std::string path;
    if (!Ui().ChooseOpenFile(dialog, path)) return {CommandEnd::Cancelled, ERR_NONE};

    WaitCursorScope cursor;
    if (OpenLinFile(path) != ERR_NONE) return Report(ERR_LIN_OPEN);
    std::int32_t stopLine = 0;
    ErrorCode code = ReadLinTable(stopLine, table);
    // A fault in a line gets the general box and code; an order fault keeps its own report.
    if (stopLine != 0) {
        Ui().MessageBox(kLinReadFaultText, BoxStyle::Plain);
        code = ERR_LIN_READ;
    }
    const ErrorCode closed = CloseLinFile();
    if (code != ERR_NONE) return Report(code);
    if (closed != ERR_NONE) return Report(ERR_LIN_CLOSE);

    if (ErrorCode rc = SendLinTable(table, sensorCode); rc != ERR_NONE) return Report(rc);
    Ui().MessageBox(kLinSentText, BoxStyle::Plain);
    (void)RefreshClockDisplay(display);
    return {CommandEnd::Succeeded, ERR_NONE};
}

}  // namespace loamer
