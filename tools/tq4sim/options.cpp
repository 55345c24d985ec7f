#include "tools/tq4sim/options.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

#include "tools/tq4sim/stored_records.h"

namespace tq4sim {

namespace {

bool ParseCount(std::string_view text, unsigned* out) {
    if (text.empty() || text.size() > 9) return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    *out = value;
    return true;
}

// The command letter of a fault: one character, as the request starts with it.
bool ParseLetter(std::string_view text, char* out) {
    if (text.size() != 1) return false;
    *out = text[0];
    return true;
}

class ArgReader {
public:
    ArgReader(const std::vector<std::string>& args, std::string* error) : args_(args), error_(error) {}

    bool Done() const { return next_ >= args_.size(); }

    // Splits "--name=value" so that both spellings work.
    std::string TakeName() {
        std::string arg = args_[next_++];
        inlineValue_.reset();
        if (arg.starts_with("--")) {
            if (std::size_t eq = arg.find('='); eq != std::string::npos) {
                inlineValue_ = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        return arg;
    }

    bool TakeValue(const std::string& name, std::string* value) {
        if (inlineValue_) {
            *value = *std::exchange(inlineValue_, std::nullopt);
            return true;
        }
        if (Done()) return Fail(name + " needs a value");
        *value = args_[next_++];
        return true;
    }

    bool TakeCount(const std::string& name, unsigned* value) {
        std::string text;
        if (!TakeValue(name, &text)) return false;
        if (!ParseCount(text, value)) return Fail(name + " needs a whole number, not \"" + text + "\"");
        return true;
    }

    // A count that may be left out: "--busy" alone means every time.
    bool TakeOptionalCount(const std::string& name, unsigned* value) {
        if (inlineValue_) return TakeCount(name, value);
        unsigned count = 0;
        if (!Done() && ParseCount(args_[next_], &count)) {
            ++next_;
            *value = count;
        } else {
            *value = kEveryTime;
        }
        return true;
    }

    bool HasInlineValue() const { return inlineValue_.has_value(); }

    bool Fail(const std::string& what) {
        *error_ = what;
        return false;
    }

private:
    const std::vector<std::string>& args_;
    std::string* error_;
    std::size_t next_ = 0;
    std::optional<std::string> inlineValue_;
};

// "CMD:BYTES:DELAYMS"
bool ParseSplit(const std::string& text, char* letter, SplitFault* split) {
    std::size_t first = text.find(':', 1);
    if (first != 1) return false;
    std::size_t second = text.find(':', first + 1);
    if (second == std::string::npos) return false;
    unsigned bytes = 0;
    if (!ParseLetter(std::string_view(text).substr(0, 1), letter) ||
        !ParseCount(std::string_view(text).substr(first + 1, second - first - 1), &bytes) || bytes == 0 ||
        !ParseCount(std::string_view(text).substr(second + 1), &split->gapMs)) {
        return false;
    }
    split->pieceBytes = bytes;
    return true;
}

// "CMD:MS"
bool ParseDelay(const std::string& text, char* letter, unsigned* ms) {
    return text.size() >= 3 && text[1] == ':' && ParseLetter(std::string_view(text).substr(0, 1), letter) &&
           ParseCount(std::string_view(text).substr(2), ms);
}

// A record number: 1 to 99999, as a fetch can ask for.
bool ParseRecordNumber(std::string_view text, unsigned* number) {
    return ParseCount(text, number) && *number >= 1 && *number <= kLastRecordNumber;
}

// "N[:K]": record N, K times (every time without K).
bool ParseRecordSilence(std::string_view text, unsigned* number, unsigned* times) {
    std::size_t colon = text.find(':');
    *times = kEveryTime;
    if (colon != std::string_view::npos && (!ParseCount(text.substr(colon + 1), times) || *times == 0)) return false;
    return ParseRecordNumber(text.substr(0, colon), number);
}

// "N:C": record N, kind character C.
bool ParseRecordKind(std::string_view text, unsigned* number, char* kind) {
    std::size_t colon = text.find(':');
    return colon != std::string_view::npos && ParseRecordNumber(text.substr(0, colon), number) &&
           ParseLetter(text.substr(colon + 1), kind);
}

// A block number: 0 to 99999, as a block request can ask for.
bool ParseBlockNumber(std::string_view text, unsigned* number) {
    return ParseCount(text, number) && *number <= 99999;
}

// "N[:K]": block N, K times (every time without K).
bool ParseBlockSilence(std::string_view text, unsigned* number, unsigned* times) {
    std::size_t colon = text.find(':');
    *times = kEveryTime;
    if (colon != std::string_view::npos && (!ParseCount(text.substr(colon + 1), times) || *times == 0)) return false;
    return ParseBlockNumber(text.substr(0, colon), number);
}

// "N:C": block N, reply letter C.
bool ParseBlockLetter(std::string_view text, unsigned* number, char* letter) {
    std::size_t colon = text.find(':');
    return colon != std::string_view::npos && ParseBlockNumber(text.substr(0, colon), number) &&
           ParseLetter(text.substr(colon + 1), letter);
}

// "KIND[:N]": how an X reply is broken, for the first N X messages (every one without N).
bool ParseExchangeBreak(std::string_view text, ExchangeBreak* how, unsigned* times) {
    std::size_t colon = text.find(':');
    *times = kEveryTime;
    if (colon != std::string_view::npos && (!ParseCount(text.substr(colon + 1), times) || *times == 0)) return false;
    std::string_view kind = text.substr(0, colon);
    if (kind == "letter") {
        *how = ExchangeBreak::Letter;
    } else if (kind == "number") {
        *how = ExchangeBreak::Number;
    } else if (kind == "end") {
        *how = ExchangeBreak::LineEnd;
    } else {
        return false;
    }
    return true;
}

}  // namespace

ParseOutcome ParseCommandLine(const std::vector<std::string>& args, EmulatorOptions* options, std::string* error) {
    ArgReader in(args, error);
    FaultOptions& faults = options->faults;
    while (!in.Done()) {
        std::string name = in.TakeName();
        std::string value;
        char letter = '\0';
        bool ok = true;
        if (name == "--help" || name == "-h") {
            if (!in.HasInlineValue()) return ParseOutcome::Help;
            ok = in.Fail(name + " takes no value");
        } else if (name == "--link") {
            ok = in.TakeValue(name, &options->linkPath);
        } else if (name == "--memory") {
            ok = in.TakeValue(name, &options->memoryFile);
        } else if (name == "--transcript") {
            ok = in.TakeValue(name, &options->transcriptFile);
        } else if (name == "--pace") {
            ok = in.TakeCount(name, &options->paceBaud) &&
                 (options->paceBaud > 0 || in.Fail("--pace needs a line speed above 0"));
        } else if (name == "--drop-partial") {
            ok = in.TakeCount(name, &options->partialDropMs);
        } else if (name == "--silent-handshakes") {
            ok = in.TakeCount(name, &faults.silentHandshakes);
        } else if (name == "--busy") {
            ok = in.TakeOptionalCount(name, &faults.busyHandshakes);
        } else if (name == "--refuse") {
            ok = in.TakeOptionalCount(name, &faults.refusedHandshakes);
        } else if (name == "--broken-frame") {
            ok = in.TakeOptionalCount(name, &faults.brokenHandshakes);
        } else if (name == "--silent" || name == "--garbage") {
            ok = in.TakeValue(name, &value);
            if (ok && !ParseLetter(value, &letter)) ok = in.Fail(name + " needs one command letter, not \"" + value + "\"");
            if (ok) (name == "--silent" ? faults.silentCommands : faults.garbageCommands) += letter;
        } else if (name == "--split") {
            SplitFault split;
            ok = in.TakeValue(name, &value);
            if (ok && !ParseSplit(value, &letter, &split)) ok = in.Fail("--split needs CMD:BYTES:DELAYMS, not \"" + value + "\"");
            if (ok) faults.split[letter] = split;
        } else if (name == "--delay") {
            unsigned ms = 0;
            ok = in.TakeValue(name, &value);
            if (ok && !ParseDelay(value, &letter, &ms)) ok = in.Fail("--delay needs CMD:MS, not \"" + value + "\"");
            if (ok) faults.delayMs[letter] = ms;
        } else if (name == "--hangup-after") {
            ok = in.TakeCount(name, &faults.hangupAfter) &&
                 (faults.hangupAfter > 0 || in.Fail("--hangup-after needs a count above 0"));
        } else if (name == "--generate-readings") {
            ok = in.TakeCount(name, &options->generateReadings) &&
                 (options->generateReadings <= kLastRecordNumber ||
                  in.Fail("--generate-readings takes at most 99999 readings"));
        } else if (name == "--record-gap") {
            ok = in.TakeCount(name, &faults.recordGapMs);
        } else if (name == "--record-silent") {
            unsigned number = 0;
            unsigned times = 0;
            ok = in.TakeValue(name, &value);
            if (ok && !ParseRecordSilence(value, &number, &times)) {
                ok = in.Fail("--record-silent needs N or N:K (record 1 to 99999, K above 0), not \"" + value + "\"");
            }
            if (ok) faults.silentRecords[number] = times;
        } else if (name == "--record-kind") {
            unsigned number = 0;
            ok = in.TakeValue(name, &value);
            if (ok && !ParseRecordKind(value, &number, &letter)) {
                ok = in.Fail("--record-kind needs N:C (record 1 to 99999, one kind character), not \"" + value + "\"");
            }
            if (ok) faults.recordKinds[number] = letter;
        } else if (name == "--corrupt-at" || name == "--hangup-at-record") {
            unsigned* number = name == "--corrupt-at" ? &faults.corruptAt : &faults.hangupAtRecord;
            ok = in.TakeValue(name, &value);
            if (ok && !ParseRecordNumber(value, number)) {
                ok = in.Fail(name + " needs a record number 1 to 99999, not \"" + value + "\"");
            }
        } else if (name == "--table-busy" || name == "--table-refuse" || name == "--table-garbage") {
            unsigned number = 0;
            ok = in.TakeCount(name, &number) && (number > 0 || in.Fail(name + " needs a message number above 0"));
            if (ok) {
                faults.tableFaults[number] = name == "--table-busy"     ? UploadFault::Busy
                                             : name == "--table-refuse" ? UploadFault::Refused
                                                                        : UploadFault::Garbage;
            }
        } else if (name == "--cal-busy") {
            ok = in.TakeOptionalCount(name, &faults.busyCalibrations);
        } else if (name == "--cal-refuse") {
            ok = in.TakeOptionalCount(name, &faults.refusedCalibrations);
        } else if (name == "--block-silent") {
            unsigned number = 0;
            unsigned times = 0;
            ok = in.TakeValue(name, &value);
            if (ok && !ParseBlockSilence(value, &number, &times)) {
                ok = in.Fail("--block-silent needs N or N:K (block 0 to 99999, K above 0), not \"" + value + "\"");
            }
            if (ok) faults.silentBlocks[number] = times;
        } else if (name == "--block-letter") {
            unsigned number = 0;
            ok = in.TakeValue(name, &value);
            if (ok && !ParseBlockLetter(value, &number, &letter)) {
                ok = in.Fail("--block-letter needs N:C (block 0 to 99999, one character), not \"" + value + "\"");
            }
            if (ok) faults.blockLetters[number] = letter;
        } else if (name == "--x-busy") {
            ok = in.TakeOptionalCount(name, &faults.busyExchanges);
        } else if (name == "--x-refuse") {
            ok = in.TakeOptionalCount(name, &faults.refusedExchanges);
        } else if (name == "--x-broken") {
            ok = in.TakeValue(name, &value);
            if (ok && !ParseExchangeBreak(value, &faults.exchangeBreak, &faults.brokenExchanges)) {
                ok = in.Fail("--x-broken needs letter, number or end, then :N if not every time, not \"" + value + "\"");
            }
        } else {
            ok = in.Fail("unknown option \"" + name + "\"");
        }
        if (ok && in.HasInlineValue()) ok = in.Fail(name + " takes no value");
        if (!ok) return ParseOutcome::Error;
    }
    return ParseOutcome::Run;
}

std::string HelpText() {
    return R"HELP(Usage: tq4sim [OPTIONS]

Emulates a TQ4 soil moisture meter on a pseudo-terminal. The slave side is the
meter's serial port: point the program's port setting at it (or at --link).
On start it prints "tq4sim: serving on SLAVE (link PATH)"; it runs until
interrupted, or until --hangup-after closes the line.

Meter:
  --link PATH             make PATH a symbolic link to the slave side (a stale
                          link is replaced; the link is removed on exit)
  --memory FILE           the meter's memory, a JSON file (see
                          examples/meter.json); without it, a meter with no
                          tables and its clock set to the computer's time
  --transcript FILE       write every request received to FILE, one line each,
                          with \r \n \t \\ and \xHH escapes; lines starting
                          with "# " are the emulator's own notes
  --pace BAUD             send at the real speed of a BAUD line (10 bits a
                          byte), counting the time each request takes to arrive
  --drop-partial MS       drop an incomplete request after MS quiet
                          milliseconds (default 1000, 0: never; noted in the
                          transcript)

Faults (combine freely; CMD is the request's first character: ?, I, F, T, H,
R, B, W, E, X):
  --silent-handshakes N   give no answer to the first N handshakes
  --busy [N]              answer handshakes "K\r\n" (the first N, or all)
  --refuse [N]            answer handshakes "!\r\n" (the first N, or all)
  --broken-frame [N]      answer handshakes 'A' and a broken line end
                          (the first N, or all)
                          Handshakes pass through these stages in the order
                          above: silent, busy, refused, broken, then accepted.
  --silent CMD            never answer (nor carry out) command CMD
  --garbage CMD           answer CMD with garbage of the reply's length
  --split CMD:BYTES:MS    send CMD's reply in pieces of BYTES, MS apart
  --delay CMD:MS          send CMD's reply MS milliseconds late
  --hangup-after N        close the line after answering N requests; the
                          program sees a hang-up, and tq4sim exits

Stored records (N is a record number, as in the request "R" N "\r\n"):
  --record-silent N[:K]   give no answer to the first K requests for record N
                          (without K: to every one)
  --record-kind N:C       answer record N with kind C in its "Z" prefix; the
                          record's own body follows, if it has one
  --corrupt-at N          answer record N "Z9\r\n": memory corrupted there
  --hangup-at-record N    close the line, unanswered, on the request for
                          record N; tq4sim exits
  --record-gap MS         pause between a record's prefix and its body
                          (default 10)
  --generate-readings N   add N plausible readings after the memory's own
                          records, in data sets of 100 (for long retrievals)

Uploads (N counts the "B" messages from 1: a table is sent as 3 of them):
  --table-busy N          answer the N-th table message "K\r\n", not taking it
  --table-refuse N        answer the N-th table message "!\r\n", not taking it
  --table-garbage N       take the N-th table message, but answer it garbage
  --cal-busy [N]          answer calibrations "K\r\n" (the first N, or all)
  --cal-refuse [N]        answer calibrations "!\r\n" (the first N, or all),
                          after any busy ones; neither is taken

Memory dump (N is a block number, as in the request "E2" N "\r\n"):
  --block-silent N[:K]    give no answer to the first K requests for block N
                          (without K: to every one)
  --block-letter N:C      answer block N with C in place of its first byte "G"

X exchange (answered "x", a + b, a - b, a * b and the code byte's value, each
as "%+08.2f", or "%+.1e" when that is longer; X messages pass through these
stages in this order, then are answered):
  --x-busy [N]            answer X messages "K\r\n" (the first N, or all)
  --x-refuse [N]          answer X messages "!\r\n" (the first N, or all)
  --x-broken KIND[:N]     break the reply of X messages (the first N, or all):
                          KIND letter: "X" first; number: the third result
                          "********"; end: "\n\r" at the end

  -h, --help              show this text
)HELP";
}

}  // namespace tq4sim
