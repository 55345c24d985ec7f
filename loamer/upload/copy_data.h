// Requests from other programs (frames and blocks in copy_data_protocol.h): a calibration
// install or an X exchange with the meter, answered to the requester; the answers of such
// requests, kept; and the hidden test command that sends an X request to the program titled
// "LOAMER", normally this one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "loamer/link/error_codes.h"
#include "loamer/upload/copy_data_protocol.h"
#include "loamer/upload/x_command.h"

namespace loamer {

inline constexpr std::uint32_t CD_CAL_RESULT = LOAMER_CD_CAL_RESULT;
inline constexpr std::uint32_t CD_CAL_INSTALL = LOAMER_CD_CAL_INSTALL;
inline constexpr std::uint32_t CD_X_REQUEST = LOAMER_CD_X_REQUEST;
inline constexpr std::uint32_t CD_X_RESULT = LOAMER_CD_X_RESULT;

using XRequestBlock = loamer_cd_x_request;
using XResultBlock = loamer_cd_x_result;
static_assert(sizeof XRequestBlock::text == kXTextSize);

// One message as it arrived: its type and its block (valid while it is handled).
struct CopyDataMessage {
    std::uint32_t type = 0;
    std::size_t size = 0;
    const void* block = nullptr;
};

// The bytes a type reads (0 for the types that read nothing).
std::size_t CopyDataBlockReads(std::uint32_t type);
// True when a block of this size is handled: at least what its type reads, at most 64 KiB.
bool CopyDataBlockAccepted(std::uint32_t type, std::size_t size);
// True when handling the message contacts the meter (an accepted type 2 or 3): it then waits
// for a running meter command to end (RunWhenIdle).
bool CopyDataUsesMeter(std::uint32_t type, std::size_t size);

// The program a message came from, which takes answers.
class CopyDataSender {
public:
    virtual ~CopyDataSender() = default;
    // Sends a message back, with this program as its sender, and waits for its result; 0 when
    // it could not be delivered.
    virtual std::int32_t SendCopyData(std::uint32_t type, const void* block, std::size_t size) = 0;
};

// Handles a message from another program; returns the 32-bit boolean result for its sender.
//   A block shorter than its type reads, or over 64 KiB: 0, nothing done.
//   Type 1 and 4: the block becomes the last answer of its type; 1.
//   Type 2: SendCalibration; type 3: RunXCommand (no readings check, no clock refresh, no
//     error report). The meter part runs in the one-command scope, so call this only when no
//     meter command runs (CopyDataUsesMeter says when to wait): a command that runs all the
//     same gives ERR_METER_BUSY in the answer. Then the answer (type 1 with the code, type 4
//     with the code and the four results) goes to sender, outside the scope, and its result
//     is returned; without a sender there is no answer and the result is 0.
//   Any other type: 1, nothing done.
std::int32_t HandleCopyData(CopyDataSender* sender, const CopyDataMessage& message);

// The last answers kept, zero until one came; how many answers (types 1 and 4) were kept.
std::uint32_t LastCalResult();
XResultBlock LastXResult();
std::uint64_t CopyDataAnswersKept();

// Reaches other programs by their title.
enum class CopyDataDelivery {
    Done,        // the result came back
    NoListener,  // no program listens as that title: nothing was sent
    Failed,      // sent, but no result came (the connection ended, a limit passed, an abort)
};

class CopyDataRequester {
public:
    virtual ~CopyDataRequester() = default;
    // Sends a message, with this program as its sender, to the program titled title (case does
    // not matter) and waits for its result, while the messages that arrive meanwhile (its
    // answer among them) are handled.
    virtual CopyDataDelivery SendCopyDataTo(std::string_view title, std::uint32_t type, const void* block,
                                            std::size_t size, std::int32_t& result) = 0;
};

// The hidden test command.
inline constexpr char kTestRecordFile[] = "Data.flx";
inline constexpr char kTestRequestTitle[] = "LOAMER";
inline constexpr std::size_t kTestRecordSize = 135;  // 133 characters, CR LF
inline constexpr std::size_t kTestRecords = 6;

enum class TestRequestEnd {
    Sent,            // the request went out (and its answer, if any, is the last X answer)
    CommandRunning,  // a meter command runs: nothing done (the request would wait for it forever)
    FileError,       // the record file could not be opened: its box was shown, nothing sent
    NoWindow,        // no program listens as "LOAMER": nothing sent
    Failed,          // sent, but no result came back
};

struct TestRequestOutcome {
    TestRequestEnd end = TestRequestEnd::Sent;
    std::size_t record = 0;  // the record used
    std::int32_t result = 0;  // the request's result when sent
};

// Moves to the next record (1, 2, 3, 4, 5, 0, 1, ...), reads it from recordFile and sends an X
// request with it (parameters 6.0 and 2.0, code 1) to the program titled "LOAMER". A front end
// runs it outside any MeterCommandScope: when the request goes to this program, it is served
// while the command waits for its result.
TestRequestOutcome SendTestRequest(CopyDataRequester& requester, const std::string& recordFile = kTestRecordFile);

// Reads record index of a test record file: the bytes from index x 135 on, up to and with the
// first line feed (a carriage return right before it dropped), at most 133 of them, the rest of
// text zero. A record past the end reads as zeros. False, with problem holding the file's name
// and the system's words, when the file cannot be opened or read.
bool ReadTestRecord(const std::string& path, std::size_t index, char (&text)[kXTextSize], std::string& problem);

// The kept answers and the record index back to zero, as at the start of a run (tests).
void ResetCopyDataState();

}  // namespace loamer
