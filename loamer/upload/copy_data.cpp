#include "loamer/upload/copy_data.h"

#include <cstring>

#include "loamer/link/command_scope.h"
#include "loamer/link/ui.h"
#include "loamer/upload/cal_install.h"

namespace loamer {

namespace {

static_assert(sizeof(CalRecord) == LOAMER_CD_CAL_INSTALL_READS && offsetof(CalRecord, name) == 1 &&
              offsetof(CalRecord, values) == offsetof(loamer_cd_cal_block, values));

struct KeptAnswers {
    std::uint32_t calResult = 0;
    XResultBlock xResult{};
    std::uint64_t count = 0;
};

KeptAnswers g_answers;
std::size_t g_testRecord = 0;

// The meter part of a request, in the one-command scope.
template <typename Operation>
ErrorCode InCommandScope(Operation operation) {
    MeterCommandScope scope;
    if (!scope.Entered()) return ERR_METER_BUSY;
    return operation();
}

std::int32_t InstallCalibrationBlock(CopyDataSender* sender, const void* block) {
    CalRecord record{};
    std::memcpy(&record, block, sizeof record);
    const std::uint32_t code = InCommandScope([&] { return SendCalibration(record); });
    return sender ? sender->SendCopyData(CD_CAL_RESULT, &code, sizeof code) : 0;
}

std::int32_t RunXRequestBlock(CopyDataSender* sender, const void* block) {
    // Only the bytes the type reads; the last four are never looked at.
    XRequestBlock request{};
    std::memcpy(&request, block, LOAMER_CD_X_REQUEST_READS);
    const auto code = static_cast<std::uint8_t>(static_cast<const unsigned char*>(block)[offsetof(XRequestBlock, code)]);
    double results[x_reply::kResults] = {};
    XResultBlock answer{};
    answer.result = InCommandScope([&] { return RunXCommand(request.text, request.param1, request.param2, code, results); });
    std::memcpy(answer.results, results, sizeof results);
    return sender ? sender->SendCopyData(CD_X_RESULT, &answer, sizeof answer) : 0;
}

}  // namespace

std::size_t CopyDataBlockReads(std::uint32_t type) {
    switch (type) {
    case CD_CAL_RESULT: return LOAMER_CD_CAL_RESULT_READS;
    case CD_CAL_INSTALL: return LOAMER_CD_CAL_INSTALL_READS;
    case CD_X_REQUEST: return LOAMER_CD_X_REQUEST_READS;
    case CD_X_RESULT: return LOAMER_CD_X_RESULT_READS;
    default: return 0;
    }
}

bool CopyDataBlockAccepted(std::uint32_t type, std::size_t size) {
    return size >= CopyDataBlockReads(type) && size <= LOAMER_CD_MAX_BLOCK;
}

bool CopyDataUsesMeter(std::uint32_t type, std::size_t size) {
    return (type == CD_CAL_INSTALL || type == CD_X_REQUEST) && CopyDataBlockAccepted(type, size);
}

std::int32_t HandleCopyData(CopyDataSender* sender, const CopyDataMessage& message) {
    if (!CopyDataBlockAccepted(message.type, message.size)) return 0;
    switch (message.type) {
    case CD_CAL_RESULT:
        std::memcpy(&g_answers.calResult, message.block, sizeof g_answers.calResult);
        ++g_answers.count;
        return 1;
    case CD_CAL_INSTALL: return InstallCalibrationBlock(sender, message.block);
    case CD_X_REQUEST: return RunXRequestBlock(sender, message.block);
    case CD_X_RESULT:
        std::memcpy(&g_answers.xResult, message.block, sizeof g_answers.xResult);
        ++g_answers.count;
        return 1;
    default: return 1;
    }
}

std::uint32_t LastCalResult() { return g_answers.calResult; }
XResultBlock LastXResult() { return g_answers.xResult; }
std::uint64_t CopyDataAnswersKept() { return g_answers.count; }

TestRequestOutcome SendTestRequest(CopyDataRequester& requester, const std::string& recordFile) {
    TestRequestOutcome outcome;
    if (MeterCommandRunning()) {
        outcome.end = TestRequestEnd::CommandRunning;
        return outcome;
    }
    g_testRecord = g_testRecord + 1 == kTestRecords ? 0 : g_testRecord + 1;
    outcome.record = g_testRecord;

    XRequestBlock request{};
    std::string problem;
    if (!ReadTestRecord(recordFile, g_testRecord, request.text, problem)) {
        Ui().MessageBox(problem, BoxStyle::Exclamation);
        outcome.end = TestRequestEnd::FileError;
        return outcome;
    }
    request.param1 = 6.0;
    request.param2 = 2.0;
    request.code = 1;
    switch (requester.SendCopyDataTo(kTestRequestTitle, CD_X_REQUEST, &request, sizeof request, outcome.result)) {
    case CopyDataDelivery::Done: outcome.end = TestRequestEnd::Sent; break;
    case CopyDataDelivery::NoListener: outcome.end = TestRequestEnd::NoWindow; break;
    case CopyDataDelivery::Failed: outcome.end = TestRequestEnd::Failed; break;
    }
    return outcome;
}

void ResetCopyDataState() {
    g_answers = KeptAnswers{};
    g_testRecord = 0;
}

}  // namespace loamer
