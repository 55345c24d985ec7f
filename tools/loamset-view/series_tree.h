// The series of the file on the left, grouped by data set (the sensor type) and plot, each with
// a check box that puts it on the chart.
#ifndef LOAMSET_VIEW_SERIES_TREE_H
#define LOAMSET_VIEW_SERIES_TREE_H

#include <QTreeWidget>
#include <vector>

#include "tools/loamset-view/dataset_snapshot.h"

namespace loamset_view {

// The series checked when a file is first shown: those with units; the counters (sample number,
// device) have none.
bool CheckedByDefault(const SeriesInfo& series);

class SeriesTree final : public QTreeWidget {
    Q_OBJECT
public:
    // The series index of a leaf; -1 on group items.
    static constexpr int SeriesRole = Qt::UserRole + 1;

    explicit SeriesTree(QWidget* parent = nullptr);

    void SetSeries(const std::vector<SeriesInfo>& series);
    // Checked series, in index order.
    std::vector<int> CheckedSeries() const;
    // The leaf of series `series`, or null.
    QTreeWidgetItem* ItemOf(int series) const;

signals:
    // Once per change the user made, after group check boxes have passed it on to their leaves.
    void CheckedChanged();

private:
    std::vector<QTreeWidgetItem*> leaves_;
    bool changePending_ = false;
};

}  // namespace loamset_view

#endif  // LOAMSET_VIEW_SERIES_TREE_H
