#include "loamer/cli/term_ui.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace loamer {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

volatile std::sig_atomic_t g_interrupted = 0;  // a Ctrl-C no exchange has taken yet
volatile std::sig_atomic_t g_endSignal = 0;    // SIGTERM or SIGHUP: stays set
volatile std::sig_atomic_t g_stopAsked = 0;    // any stop signal: stays set, whoever took it
struct sigaction g_previous[kStopSignalCount];

void OnStopSignal(int signal) {
    // Asked again before the first request was answered: whatever blocks ignores it, so end
    // now, as the signal does by default.
    if (g_endSignal != 0 || g_interrupted) {
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigaction(signal, &byDefault, nullptr);
        raise(signal);
        return;
    }
    if (g_stopAsked == 0) g_stopAsked = signal;
    if (signal == SIGINT) {
        g_interrupted = 1;
    } else {
        g_endSignal = signal;
    }
}

int g_stdoutError = 0;

bool IsTerminal(std::FILE* stream) {
    // Asked once per stream: the answer cannot change during a run.
    static const bool out = isatty(STDOUT_FILENO) == 1;
    static const bool err = isatty(STDERR_FILENO) == 1;
    return stream == stdout ? out : stream == stderr ? err : isatty(fileno(stream)) == 1;
}

void NoteFailure(std::FILE* stream) {
    if (stream == stdout && g_stdoutError == 0) g_stdoutError = errno != 0 ? errno : EIO;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when there is none.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4                                 ? 4
                                                                                              : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

}  // namespace

TerminalUi::TerminalUi() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a waiting poll() or sleep returns at once, so the abort is prompt.
    sa.sa_flags = 0;
    for (int i = 0; i < kStopSignalCount; ++i) {
        sigaction(kStopSignals[i], nullptr, &g_previous[i]);
        if (g_previous[i].sa_handler != SIG_IGN) sigaction(kStopSignals[i], &sa, nullptr);
    }
    drawProgress_ = IsTerminal(stderr);
}

TerminalUi::~TerminalUi() {
    ProgressHide();
    for (int i = 0; i < kStopSignalCount; ++i) sigaction(kStopSignals[i], &g_previous[i], nullptr);
}

void TerminalUi::MessageBox(std::string_view text, BoxStyle style) {
    if (progressVisible_ && drawProgress_) std::fputs("\r\033[K", stderr);
    std::FILE* out = style == BoxStyle::Plain || style == BoxStyle::Information ? stdout : stderr;
    WriteText(out, text);
    WriteText(out, "\n");
    if (std::fflush(out) != 0) NoteFailure(out);
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
    if (g_endSignal != 0) return true;
    if (!g_interrupted) return false;
    g_interrupted = 0;
    return true;
}

bool TerminalUi::ChooseSaveFile(const FileDialogOptions&, std::string& path) {
    if (dialogAnswer_.empty()) return false;
    path = dialogAnswer_;
    return true;
}

bool TerminalUi::ChooseOpenFile(const FileDialogOptions& options, std::string& path) { return ChooseSaveFile(options, path); }

int TerminalUi::EndSignal() { return g_endSignal; }

int TerminalUi::StopSignal() { return g_stopAsked; }

int TerminalUi::UnansweredSignal() { return g_endSignal != 0 ? g_endSignal : g_interrupted ? SIGINT : 0; }

std::string TerminalSafeText(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (const std::size_t length = Utf8Length(text, i); length > 0) {
            // U+0080 to U+009F are the C1 controls.
            const bool c1 = byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
            if (c1) {
                safe += '?';
            } else {
                safe.append(text.substr(i, length));
            }
            i += length;
            continue;
        }
        const bool control = (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F ||
                             (byte >= 0x80 && byte <= 0x9F);
        safe += control ? '?' : static_cast<char>(byte);
        ++i;
    }
    return safe;
}

void WriteText(std::FILE* stream, std::string_view text) {
    const std::string safe = IsTerminal(stream) ? TerminalSafeText(text) : std::string(text);
    if (std::fwrite(safe.data(), 1, safe.size(), stream) != safe.size()) NoteFailure(stream);
}

int StandardOutputError() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) NoteFailure(stdout);
    return g_stdoutError;
}

}  // namespace loamer
