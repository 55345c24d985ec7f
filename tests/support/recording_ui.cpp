#include "tests/support/recording_ui.h"

namespace loamer {

void RecordingUi::MessageBox(std::string_view text, BoxStyle style) {
    boxes.push_back({std::string(text), style});
}

bool RecordingUi::PumpMessages() {
    ++pumps;
    return abortWhen && abortWhen(pumps);
}

}  // namespace loamer
