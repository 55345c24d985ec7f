#include "loamer/link/meter_protocol.h"

#include <algorithm>
#include <cstring>

#include "loamer/link/clock.h"
#include "loamer/link/comm_port.h"
#include "loamer/link/meter_commands.h"
#include "loamer/link/ui.h"

namespace loamer {

namespace {

constexpr char kWakeUp[] = "?\r\n";
constexpr unsigned kPauseSliceMs = 25;

bool HasLineEnd(const unsigned char (&answer)[kShortAnswer]) {
    return answer[1] == '\r' && answer[2] == '\n';
}

bool IsAccepted(const unsigned char (&answer)[kShortAnswer]) {
    return answer[0] == 'A' && HasLineEnd(answer);
}

// One handshake: "?\r\n" out, three bytes back.
ErrorCode Handshake(unsigned char (&answer)[kShortAnswer]) {
    std::memset(answer, 0, sizeof answer);
    ErrorCode rc = WriteCommPort(kWakeUp, kHandshake.request);
    Ui().RestoreWaitCursor();
    if (rc == ERR_NONE) rc = ReadCommPort(answer, sizeof answer);
    return rc;
}

// Names the fault of a complete short answer other than "A\r\n".
ErrorCode JudgeShortAnswer(const unsigned char (&answer)[kShortAnswer]) {
    if (!HasLineEnd(answer)) return ERR_BAD_FRAME;
    switch (answer[0]) {
    case 'A': return ERR_NONE;
    case 'K': return ERR_METER_BUSY;
    case '!': return ERR_METER_REFUSED;
    default: return ERR_BAD_REPLY;
    }
}

constexpr char kRefusedText[] =
    "Sorry - a problem occurred:\n\nYour TQ4 meter received an invalid signal from this "
    "computer.\nCheck your serial port and cable connection";
constexpr char kBusyText[] = "Sorry : Your TQ4 meter reports it is busy.\n\nTry again later.";
constexpr char kInvalidText[] =
    "Sorry - the following problem occurred:-\n\nInvalid reply received from your TQ4 meter.\n\n"
    "Try checking the following:\n\tIs the serial port cable properly connected?\n"
    "\tHave you selected the right serial port - COM1 or COM2 port, under Setting,\n"
    "\tDoes the TQ4 meter appear to be working via its keypad?\n"
    "\tDoes the TQ4 report low battery life via its keypad?\n\n"
    "If the problem persists contact Norvane";

}  // namespace

ErrorCode PauseWithPump(unsigned ms) {
    Clock& clock = LinkClock();
    const std::uint64_t start = clock.NowMs();
    for (;;) {
        if (Ui().PumpMessages()) return ERR_ABORTED;
        const std::uint64_t elapsed = clock.NowMs() - start;
        if (elapsed >= ms) return ERR_NONE;
        clock.SleepMs(static_cast<unsigned>(std::min<std::uint64_t>(ms - elapsed, kPauseSliceMs)));
    }
}

ErrorCode ConnectMeter() {
    WaitCursorScope cursor;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;

    unsigned char answer[kShortAnswer];
    ErrorCode rc = Handshake(answer);
    if (rc == ERR_NONE && IsAccepted(answer)) return ERR_NONE;
    if (rc != ERR_NONE && rc != ERR_TIMEOUT) return rc;

    if (ErrorCode p = PauseWithPump(kHandshakePauseMs); p != ERR_NONE) return p;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    rc = Handshake(answer);
    if (rc == ERR_NONE && IsAccepted(answer)) return ERR_NONE;
    if (rc != ERR_NONE) return rc;

    if (ErrorCode p = PauseWithPump(kHandshakePauseMs); p != ERR_NONE) return p;
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    rc = Handshake(answer);
    if (rc != ERR_NONE) return rc;
    return JudgeShortAnswer(answer);
}

ErrorCode ReadMeterAck() {
    unsigned char answer[kShortAnswer];
    if (ErrorCode rc = ReadCommPort(answer, sizeof answer); rc != ERR_NONE) return rc;
    const ErrorCode rc = JudgeShortAnswer(answer);
    switch (rc) {
    case ERR_METER_REFUSED: Ui().MessageBox(kRefusedText, BoxStyle::Plain); break;
    case ERR_METER_BUSY: Ui().MessageBox(kBusyText, BoxStyle::Plain); break;
    case ERR_BAD_REPLY: Ui().MessageBox(kInvalidText, BoxStyle::Plain); break;
    default: break;
    }
    return rc;
}

}  // namespace loamer
