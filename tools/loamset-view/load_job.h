// Loading a data record file away from the window: the dataset object is created, used and
// released in a worker thread, which then also splits every series into the chart's runs. The
// window watches the job's progress and may cancel it; the loaded file reaches the window only
// when the job has ended.
#ifndef LOAMSET_VIEW_LOAD_JOB_H
#define LOAMSET_VIEW_LOAD_JOB_H

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <vector>

#include "tools/loamset-view/dataset_snapshot.h"

class QThread;

namespace loamset_view {

// A reading the meter flagged that still has a number: the chart marks it.
struct FlaggedReading {
    double x = 0.0;  // as ChartPoint::x
    double y = 0.0;
    std::uint32_t error = 0;
};

// What the window shows: the snapshot and, per series, its runs (AllSeriesRuns) and its flagged
// readings in record order.
struct LoadedFile {
    DatasetSnapshot data;
    std::vector<SeriesRunList> runs;
    std::vector<std::vector<FlaggedReading>> flagged;
};

// Loads `file` and splits its series, in the calling thread. Null when loading was cancelled or
// failed before any record could be read (the outcome says which); a file damaged partway comes
// back with the records before the damage and its failure in the outcome.
std::shared_ptr<const LoadedFile> LoadFile(const std::string& file, const ComponentSource& source,
                                           LoadOutcome& outcome, const LoadProgress& progress = {},
                                           const std::atomic<bool>* cancel = nullptr);

class LoadJob final : public QObject {
    Q_OBJECT
public:
    LoadJob(const QString& file, const ComponentSource& source, QObject* parent = nullptr);
    // A job still running is cancelled and waited for.
    ~LoadJob() override;

    void Start();
    // Asks the worker to stop; Finished still follows, with the outcome cancelled.
    void Cancel();

    const QString& file() const { return file_; }
    // Valid after Finished.
    const LoadOutcome& outcome() const { return outcome_; }
    std::shared_ptr<const LoadedFile> result() const { return result_; }

signals:
    // At most a few hundred times per load; `total` is the file's record count.
    void Progress(qint64 done, qint64 total);
    void Finished();

private:
    QString file_;
    ComponentSource source_;
    std::atomic<bool> cancel_{false};
    std::atomic<int> lastPermille_{-1};
    QThread* thread_ = nullptr;
    LoadOutcome outcome_;
    std::shared_ptr<const LoadedFile> result_;
};

}  // namespace loamset_view

#endif  // LOAMSET_VIEW_LOAD_JOB_H
