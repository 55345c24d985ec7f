#include "tools/loamset-view/load_job.h"

#include <QThread>
#include <cmath>
#include <new>

namespace loamset_view {

std::shared_ptr<const LoadedFile> LoadFile(const std::string& file, const ComponentSource& source,
                                           LoadOutcome& outcome, const LoadProgress& progress,
                                           const std::atomic<bool>* cancel) {
    // Memory exhaustion while splitting the runs is reported like the component reports it.
    constexpr std::int32_t kOutOfMemory = static_cast<std::int32_t>(0x8007000EU);
    std::shared_ptr<LoadedFile> loaded;
    try {
        loaded = std::make_shared<LoadedFile>();
    } catch (const std::bad_alloc&) {
        outcome = LoadOutcome{kOutOfMemory, "create", {}, false};
        return nullptr;
    }
    outcome = LoadDataset(file, source, loaded->data, progress, cancel);
    // A file damaged partway still shows the records before the damage.
    const bool partial = outcome.step.rfind("record ", 0) == 0 && !loaded->data.records.empty();
    if (outcome.cancelled || (!outcome.ok() && !partial)) return nullptr;
    try {
        loaded->runs = AllSeriesRuns(loaded->data);
        loaded->flagged.resize(loaded->data.series.size());
        for (const RecordEntry& record : loaded->data.records) {
            const double x = TicksToChartX(record.ticks);
            for (std::uint32_t k = 0; k < record.resultCount; ++k) {
                const ResultValue& result = loaded->data.results[record.firstResult + k];
                if (result.error == 0 || !HasValue(result.error) || !std::isfinite(result.value)) continue;
                if (result.series < 0 || static_cast<std::size_t>(result.series) >= loaded->flagged.size()) continue;
                loaded->flagged[static_cast<std::size_t>(result.series)].push_back({x, result.value, result.error});
            }
        }
    } catch (const std::bad_alloc&) {
        outcome = LoadOutcome{kOutOfMemory, "series", {}, false};
        return nullptr;
    }
    return loaded;
}

LoadJob::LoadJob(const QString& file, const ComponentSource& source, QObject* parent)
    : QObject(parent), file_(file), source_(source) {}

LoadJob::~LoadJob() {
    if (thread_ != nullptr) {
        cancel_ = true;
        thread_->wait();
    }
}

void LoadJob::Start() {
    thread_ = QThread::create([this] {
        const LoadProgress progress = [this](std::int64_t done, std::int64_t total) {
            // Only a change the progress bar can show crosses to the window's thread.
            const int permille = total > 0 ? static_cast<int>(done * 1000 / total) : 0;
            if (lastPermille_.exchange(permille) == permille) return;
            QMetaObject::invokeMethod(
                this, [this, done, total] { emit Progress(done, total); }, Qt::QueuedConnection);
        };
        result_ = LoadFile(file_.toStdString(), source_, outcome_, progress, &cancel_);
    });
    thread_->setParent(this);
    // QThread::finished is emitted in the worker; this object lives in the window's thread.
    connect(thread_, &QThread::finished, this, [this] {
        thread_->deleteLater();
        thread_ = nullptr;
        emit Finished();
    });
    thread_->start();
}

void LoadJob::Cancel() { cancel_ = true; }

}  // namespace loamset_view
