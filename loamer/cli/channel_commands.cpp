// serve and send: this program as the gateway that other programs reach over the local
// channel, and as a ready requester of such a gateway.
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "loamer/cli/command_line.h"
#include "loamer/cli/term_ui.h"
#include "loamer/product.h"
#include "loamer/upload/cal_file.h"
#include "loamer/upload/copy_data.h"
#include "loamer/upload/lin_text_source.h"
#include "loamer/upload/posix/copy_data_channel.h"

namespace loamer::cli {

namespace {

std::string Quoted(const std::string& title) { return "'" + title + "'"; }

std::string CheckTitle(const std::string& option, const std::string& title) {
    if (CopyDataSocketPath(title).empty()) return option + ": a title must not be empty or contain '/'";
    return {};
}

// serve [--title T]: answers requests until a stop signal.

// Serves until a stop signal has come, whether or not an exchange took it as its abort. The
// signals are let in only while the loop waits or serves: one that comes between the check and
// the wait is held until the wait, which it then ends.
bool ServeUntilStopped(CopyDataChannel& channel) {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
    sigset_t open;
    sigprocmask(SIG_BLOCK, &stops, &open);
    bool ok = true;
    while (ok && TerminalUi::StopSignal() == 0) {
        pollfd ready{channel.ReadyDescriptor(), POLLIN, 0};
        const int n = ppoll(&ready, 1, nullptr, &open);
        if (n < 0 && errno != EINTR) {
            WriteText(stderr, std::string("loamer-cli: serve: ") + std::strerror(errno) + "\n");
            ok = false;
        }
        sigprocmask(SIG_SETMASK, &open, nullptr);
        if (n > 0) channel.ServeReady();
        sigprocmask(SIG_BLOCK, &stops, nullptr);
    }
    sigprocmask(SIG_SETMASK, &open, nullptr);
    return ok;
}

int RunServe(const Invocation& in) {
    CopyDataChannel channel;
    if (const ListenStatus status = channel.Listen(in.title); status != ListenStatus::Listening) {
        WriteText(stderr, ListenProblemText(status, channel, in.title) + "\n");
        return kExitFailure;
    }
    WriteText(stdout, "Answering requests from other programs as " + Quoted(in.title) + " at " + channel.SocketPath() +
                          " until Ctrl-C.\n");
    std::fflush(stdout);
    const bool ok = ServeUntilStopped(channel);
    channel.StopListening();
    return ok ? 0 : kExitFailure;
}

std::string CheckServe(Invocation& in) { return CheckTitle("serve --title", in.title); }

void AddServe(CLI::App& app, Invocation& in) {
    CommandInfo info{"serve", "[--title T]", "answer other programs' requests for the meter until Ctrl-C", true,
                     RunServe, CheckServe};
    info.servesRequests = true;
    CLI::App* command = AddCommand(app, in, info);
    command->add_option("--title", in.title, "the title other programs send to, any case (default: Loamer)")
        ->type_name("T");
    command->footer(
        "Listens on the socket named after the title (see copy_data_protocol.h) and runs the\n"
        "calibration installs and X exchanges that come, one at a time, on the port; each answer\n"
        "goes back to its requester. Ctrl-C, SIGTERM or SIGHUP ends it (status 0): an exchange\n"
        "that runs then ends with code 27, the socket is removed and the port closed. A title\n"
        "that another program answers as already is a failure (status 1).");
}

// send [--to T] cal orbis|flx FILE.cal | send [--to T] x FILE RECORD P1 P2 CODE

// Whole-argument numbers, read the same in every locale.
bool ReadCount(const std::string& text, std::size_t& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

bool ReadNumber(const std::string& text, double& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') ++begin;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return !text.empty() && error == std::errc() && stop == end && std::isfinite(value);
}

std::string CheckSend(Invocation& in) {
    if (const std::string problem = CheckTitle("send --to", in.title); !problem.empty()) return problem;
    const std::vector<std::string>& w = in.words;
    if (w[0] == "cal") {
        if (w.size() != 3) return "send cal takes orbis|flx FILE.cal";
        std::uint8_t kind = 0;
        if (!FindProbeKind(w[1], kind)) return "send cal: unknown probe kind " + w[1];
        return CheckFileName(in, w[2]);
    }
    if (w[0] != "x") return "send takes cal or x, not " + w[0];
    if (w.size() != 6) return "send x takes FILE RECORD P1 P2 CODE";
    if (std::string problem = CheckFileName(in, w[1]); !problem.empty()) return problem;
    XArguments& x = in.x;
    if (!ReadCount(w[2], x.record)) return "send x: RECORD is a record number from 0, not " + w[2];
    if (!ReadNumber(w[3], x.first)) return "send x: P1 is a decimal number, not " + w[3];
    if (!ReadNumber(w[4], x.second)) return "send x: P2 is a decimal number, not " + w[4];
    std::size_t code = 0;
    if (!ReadCount(w[5], code) || code > 255) return "send x: CODE is a number from 0 to 255, not " + w[5];
    x.code = static_cast<std::uint8_t>(code);
    return {};
}

// The calibration block of a .cal file; false after the message.
bool ReadCalBlock(const std::string& path, std::uint8_t kind, CalRecord& record) {
    std::int32_t line = 0;
    if (ReadCalFile(path, record, line) == ERR_NONE) {
        record.probeKind = kind;
        return true;
    }
    std::string text = line < 1 ? "cannot read the calibration file " + path
                                : "error in line " + std::to_string(line) + " of the calibration file " + path;
    if (LastTableFileSystemError() != 0) text += ": " + std::string(std::strerror(LastTableFileSystemError()));
    WriteText(stderr, "loamer-cli: " + text + "\n");
    return false;
}

// The X request block: the record's text up to its line end, zero-filled; false after the message.
bool ReadXBlock(const std::string& path, const XArguments& x, XRequestBlock& request) {
    struct stat facts {};
    if (::stat(path.c_str(), &facts) == 0 && S_ISREG(facts.st_mode)) {
        const auto size = static_cast<std::size_t>(facts.st_size);
        const std::size_t records = (size + kTestRecordSize - 1) / kTestRecordSize;
        if (x.record >= records) {
            WriteText(stderr, "loamer-cli: " + path + " holds " + std::to_string(records) + " record" +
                                  (records == 1 ? "" : "s") + ", counted from 0\n");
            return false;
        }
    }
    std::string problem;
    if (!ReadTestRecord(path, x.record, request.text, problem)) {
        WriteText(stderr, problem + "\n");
        return false;
    }
    if (void* end = std::memchr(request.text, '\n', sizeof request.text))
        std::memset(end, 0, sizeof request.text - static_cast<std::size_t>(static_cast<char*>(end) - request.text));
    request.param1 = x.first;
    request.param2 = x.second;
    request.code = x.code;
    return true;
}

// Why no answer came, in one line.
std::string NoAnswerText(SendStatus status, const CopyDataChannel& channel, const std::string& title,
                         std::int32_t result) {
    const std::string who = Quoted(title);
    switch (status) {
    case SendStatus::NoListener:
        return "no program answers requests as " + who + " (nothing listens at " + CopyDataSocketPath(title) + ")";
    case SendStatus::PeerRefused: return "the program that answers as " + who + " runs as another user: nothing sent";
    case SendStatus::Failed:
        return "cannot reach " + who + " at " + CopyDataSocketPath(title) + ": " + std::strerror(channel.SystemError());
    case SendStatus::Aborted: return "stopped waiting for the answer of " + who;
    case SendStatus::Lost:
    case SendStatus::TimedOut: return who + " ended the exchange before it answered";
    case SendStatus::BadTitle:
    case SendStatus::Done: break;
    }
    return who + " took the request without answering it (result " + std::to_string(result) + ")";
}

int RunSend(const Invocation& in) {
    const bool cal = in.words[0] == "cal";
    CalRecord calBlock{};
    XRequestBlock xBlock{};
    if (cal) {
        std::uint8_t kind = 0;
        if (!FindProbeKind(in.words[1], kind) || !ReadCalBlock(in.words[2], kind, calBlock)) return kExitFailure;
    } else if (!ReadXBlock(in.words[1], in.x, xBlock)) {
        return kExitFailure;
    }

    CopyDataChannel channel;
    const std::uint64_t answersBefore = CopyDataAnswersKept();
    std::int32_t result = 0;
    const SendStatus status = cal ? channel.Send(in.title, CD_CAL_INSTALL, &calBlock, sizeof calBlock, true, result)
                                  : channel.Send(in.title, CD_X_REQUEST, &xBlock, sizeof xBlock, true, result);
    // The answer counts even when the exchange broke off after it.
    if (CopyDataAnswersKept() == answersBefore) {
        WriteText(stderr, "loamer-cli: " + NoAnswerText(status, channel, in.title, result) + "\n");
        return kExitFailure;
    }
    const XResultBlock answer = LastXResult();
    const std::uint32_t code = cal ? LastCalResult() : answer.result;
    std::string text = std::to_string(code) + "\n";
    if (!cal && code == 0) {
        char line[4 * 48];
        std::snprintf(line, sizeof line, "%.6f %.6f %.6f %.6f\n", answer.results[0], answer.results[1],
                      answer.results[2], answer.results[3]);
        text += line;
    }
    WriteText(stdout, text);
    // A code that an exit status cannot carry is a failure all the same.
    return code <= 255 ? static_cast<int>(code) : kExitFailure;
}

void AddSend(CLI::App& app, Invocation& in) {
    CLI::App* command = AddCommand(
        app, in,
        {"send", "[--to T] cal orbis|flx FILE.cal | x FILE RECORD P1 P2 CODE",
         "send a calibration install or an X exchange to the program answering as T", false, RunSend, CheckSend});
    command->add_option("--to", in.title, "the title of the program to reach, any case (default: Loamer)")
        ->type_name("T");
    command->add_option("REQUEST", in.words, "cal orbis|flx FILE.cal, or x FILE RECORD P1 P2 CODE")->required();
    command->footer(
        "cal: the calibration of FILE.cal for an Orbis probe or an FLX sensor.\n"
        "x: the text of record RECORD (from 0) of FILE, a file of 135-byte records (133\n"
        "characters and CR LF), up to its line end; the numbers P1 and P2 (a point for decimals);\n"
        "the code byte CODE, 0 to 255.\n"
        "Prints the answer's result code, and for x with code 0 a second line with the four\n"
        "results. Exit status: the code; 1 when no program answers as T, no answer comes or\n"
        "FILE cannot be read.");
}

}  // namespace

void RegisterChannelCommands(CLI::App& app, Invocation& in) {
    in.title = kProgramTitle;
    AddServe(app, in);
    AddSend(app, in);
}

}  // namespace loamer::cli
