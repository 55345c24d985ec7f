#include "loamer/upload/cal_install.h"

#include <cstring>
#include <string>

#include "loamer/link/comm_port.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/link/status_queries.h"
#include "loamer/upload/path_names.h"

namespace loamer {

namespace {

std::string Quoted(const std::string& path) { return "'" + FileNameOfPath(path) + "'"; }

}  // namespace

bool BuildCalMessage(const CalRecord& record, char (&message)[kCalibrationUpload.request]) {
    char built[kCalibrationUpload.request];
    built[0] = kCalibrationUpload.letter;
    built[cal_message::kProbe] = record.probeKind == kOrbisProbe ? '2' : '3';
    std::memcpy(built + cal_message::kName.offset, record.name, cal_message::kName.width);
    for (std::size_t k = 0; k < cal_message::kValues; ++k) {
        char field[cal_message::kValueWidth];
        if (!FormatCalNumber(record.values[k], field)) return false;
        std::memcpy(built + cal_message::kValuesStart + k * cal_message::kValueWidth, field, sizeof field);
    }
    built[cal_message::kLineEnd] = '\r';
    built[cal_message::kLineEnd + 1] = '\n';
    std::memcpy(message, built, sizeof built);
    return true;
}

ErrorCode SendCalibration(const CalRecord& record) {
    char message[kCalibrationUpload.request];
    if (!BuildCalMessage(record, message)) return ERR_BAD_FRAME;
    WaitCursorScope cursor;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return rc;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    if (ErrorCode rc = WriteCommPort(message, sizeof message); rc != ERR_NONE) return rc;
    return ReadMeterAck();
}

CommandResult InstallCalibration(std::uint8_t probeKind, ClockDisplay& display) {
    if (ErrorCode rc = CheckNoReadingsStored(); rc != ERR_NONE) {
        ShowErrorReport(rc);
        return {CommandEnd::Reported, rc};
    }
    std::string path;
    if (!Ui().ChooseOpenFile(kCalFileDialog, path)) return {CommandEnd::Cancelled, ERR_NONE};

    CalRecord record{};
    std::int32_t line = 0;
    if (ReadCalFile(path, record, line) != ERR_NONE) {
        const std::string text = line < 1 ? "Error opening calibration file " + Quoted(path)
                                          : "Error in line " + std::to_string(line) + " of calibration file " + Quoted(path);
        Ui().MessageBox(text, BoxStyle::Error);
        return {CommandEnd::OwnMessage, ERR_NONE};
    }
    record.probeKind = probeKind;
    if (const int value = UnsendableCalValue(record); value != 0) {
        Ui().MessageBox("Value " + std::to_string(value) + " of calibration file " + Quoted(path) +
                            "\ndoes not fit the TQ4's number form: it must be a finite number\n"
                            "with a decimal exponent from -99 to 99.",
                        BoxStyle::Error);
    }
    const ErrorCode rc = SendCalibration(record);
    if (rc == ERR_NONE) {
        Ui().MessageBox("Orbis/FLX calibration file " + Quoted(path) + " installed\nin the TQ4, ok.",
                        BoxStyle::Information);
    } else {
        ShowErrorReport(rc);
    }
    (void)RefreshClockDisplay(display);
    return rc == ERR_NONE ? CommandResult{CommandEnd::Succeeded, ERR_NONE} : CommandResult{CommandEnd::Reported, rc};
}

}  // namespace loamer
