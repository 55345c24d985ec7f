#include "loamer/cli/term_ui.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace loamer {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
struct sigaction g_previous;

void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

TerminalUi::TerminalUi() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a waiting poll() or sleep returns at once, so the abort is prompt.
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, &g_previous);
    drawProgress_ = isatty(STDERR_FILENO) == 1;
}

TerminalUi::~TerminalUi() {
    ProgressHide();
    sigaction(SIGINT, &g_previous, nullptr);
}

void TerminalUi::MessageBox(std::string_view text, BoxStyle style) {
    if (progressVisible_ && drawProgress_) std::fputs("\r\033[K", stderr);
    std::FILE* out = style == BoxStyle::Plain || style == BoxStyle::Information ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
    if (progressVisible_) DrawProgress();
}

void TerminalUi::ProgressShow() {
    progressVisible_ = true;
    DrawProgress();
}

void TerminalUi::ProgressStep() {
    // The bar wraps at its end, as the dialog's progress control does.
    pos_ += step_;
    if (pos_ > 100) pos_ = 0;
    if (progressVisible_) DrawProgress();
}

void TerminalUi::ProgressHide() {
    if (progressVisible_ && drawProgress_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    progressVisible_ = false;
}

void TerminalUi::DrawProgress() {
    if (!drawProgress_) return;
    char bar[41];
    const int filled = pos_ * 40 / 100;
    for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '.';
    bar[40] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, pos_);
    std::fflush(stderr);
}

bool TerminalUi::PumpMessages() {
    if (!g_interrupted) return false;
    g_interrupted = 0;
    return true;
}

}  // namespace loamer
