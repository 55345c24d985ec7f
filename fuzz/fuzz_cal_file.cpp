// Calibration files of any bytes through the install command, against a meter that answers at
// once. A file that does not read gives its line message and nothing is sent; one that reads
// sends exactly its numbers, or names the value the number form cannot hold. The reading
// itself must agree with the C library's own fgets and fscanf on the same text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "loamer/link/comm_port.h"
#include "loamer/link/clock.h"
#include "loamer/link/ui.h"
#include "loamer/upload/cal_install.h"
#include "fuzz/instant_meter.h"

using namespace loamer;

namespace {

class FileUi final : public UiServices {
public:
    void MessageBox(std::string_view text, BoxStyle style) override { boxes.push_back({std::string(text), style}); }
    void BeginWaitCursor() override {}
    void RestoreWaitCursor() override {}
    void EndWaitCursor() override {}
    void ProgressSetStep(int) override {}
    void ProgressSetPos(int) override {}
    void ProgressShow() override {}
    void ProgressStep() override {}
    void ProgressHide() override {}
    bool PumpMessages() override { return false; }
    bool ChooseOpenFile(const FileDialogOptions&, std::string& path) override {
        path = "/fuzz/input.cal";
        return true;
    }
    struct Box {
        std::string text;
        BoxStyle style;
    };
    std::vector<Box> boxes;
};

class OneFile final : public TableFileOpener {
public:
    std::unique_ptr<TableFileSource> OpenForReading(const std::string&) override { return MemoryTableFile(text); }
    std::string text;
};

class NoDisplay final : public ClockDisplay {
public:
    void ShowClock(const ClockReading& reading) override { last_ = reading; }
    const ClockReading& ShownClock() const override { return last_; }
    bool ClockTimerRunning() const override { return true; }
    void StartClockTimer() override {}

private:
    ClockReading last_;
};

// The C library on the text as text mode gives it: fgets into 50 bytes, the value pattern.
ErrorCode LibraryRead(std::string text, double (&values)[17], std::int32_t& line) {
    line = 1;
    if (text.empty()) return kCalFileLineFailed;  // fmemopen takes no empty buffer
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    std::FILE* f = fmemopen(text.data(), text.size(), "r");
    if (!f) __builtin_trap();
    char heading[50];
    std::size_t next = 0;
    ErrorCode rc = ERR_NONE;
    for (line = 1; line <= 25 && rc == ERR_NONE; ++line) {
        const bool value = (line >= 7 && line <= 21) || line >= 24;
        const bool ok = value ? std::fscanf(f, "%*[^:]:%lE \n", &values[next++]) == 1
                              : std::fgets(heading, sizeof heading, f) != nullptr;
        if (!ok) rc = kCalFileLineFailed;
    }
    std::fclose(f);
    --line;
    return rc;
}

// A field of the number form read back: sign, 8 digits (d.ddddddd), exponent sign, 2 digits.
double FieldValue(const char* field) {
    double mantissa = 0;
    for (int i = 1; i <= 8; ++i) {
        if (field[i] < '0' || field[i] > '9') __builtin_trap();
        mantissa = mantissa * 10 + (field[i] - '0');
    }
    if ((field[0] != '+' && field[0] != '-') || (field[9] != '+' && field[9] != '-')) __builtin_trap();
    if (field[10] < '0' || field[10] > '9' || field[11] < '0' || field[11] > '9') __builtin_trap();
    const int exponent = (field[10] - '0') * 10 + (field[11] - '0');
    const double magnitude = mantissa * 1e-7 * std::pow(10.0, field[9] == '-' ? -exponent : exponent);
    return field[0] == '-' ? -magnitude : magnitude;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    double values[17] = {};
    std::int32_t line = -1;
    const ErrorCode rc = ParseCalText(text, values, line);
    if ((rc != ERR_NONE && rc != kCalFileLineFailed) || line < 1 || line > 25) __builtin_trap();

    // Numbers longer than the reader's bound are where it parts from the C library on purpose.
    if (size <= 4096) {
        double library[17] = {};
        std::int32_t libraryLine = 0;
        if (LibraryRead(text, library, libraryLine) != rc || libraryLine != line) __builtin_trap();
        if (rc == ERR_NONE && std::memcmp(values, library, sizeof values) != 0) __builtin_trap();
    }

    FakeClock clock;
    fuzz::InstantMeter meter(clock);
    std::vector<std::string> sent;
    // Wakes, holds no readings, tells its clock, accepts every calibration.
    meter.answer = [&sent](const std::string& request) -> std::string {
        if (request == "?\r\n") return "A\r\n";
        if (request == "I\r\n") return "NV2.13 0872900001000000000\r\n";
        if (request == "F\r\n") return "H1202403051407" "09\r\n";
        if (request[0] != 'W') return "";
        sent.push_back(request);
        return "A\r\n";
    };
    FileUi ui;
    OneFile file;
    file.text = text;
    NoDisplay display;
    CommandResult result;
    {
        ScopedClock clockScope(&clock);
        ScopedBackend backendScope(&meter);
        ScopedUi uiScope(&ui);
        ScopedTableFiles filesScope(&file);
        result = InstallCalibration(kFlxSensor, display);
        CloseCommPort();
    }

    if (rc != ERR_NONE) {
        const std::string expected = "Error in line " + std::to_string(line) + " of calibration file 'input.cal'";
        if (result.end != CommandEnd::OwnMessage || !sent.empty() || ui.boxes.size() != 1 ||
            ui.boxes[0].text != expected || ui.boxes[0].style != BoxStyle::Error)
            __builtin_trap();
        return 0;
    }
    CalRecord record{};
    std::memcpy(record.values, values, sizeof values);
    if (const int unfit = UnsendableCalValue(record); unfit != 0) {
        if (!sent.empty() || result.code != ERR_BAD_FRAME || ui.boxes.size() != 2 ||
            ui.boxes[0].text.rfind("Value " + std::to_string(unfit) + " of", 0) != 0)
            __builtin_trap();
        return 0;
    }
    if (result.end != CommandEnd::Succeeded || sent.size() != 1 || sent[0].size() != 220 ||
        sent[0].compare(0, 14, "W3input       ") != 0 || sent[0].compare(218, 2, "\r\n") != 0)
        __builtin_trap();
    for (std::size_t k = 0; k < 17; ++k) {
        const double back = FieldValue(sent[0].data() + 14 + 12 * k);
        if (std::fabs(back - values[k]) > 1e-7 * std::fabs(values[k]) + 1e-300) __builtin_trap();
    }
    return 0;
}
