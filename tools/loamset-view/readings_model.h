// The table below the chart: one row per record, the record's time and then one column per
// series. Cells are worked out when the view asks for them, so a file of a million records costs
// no more than the rows on screen.
#ifndef LOAMSET_VIEW_READINGS_MODEL_H
#define LOAMSET_VIEW_READINGS_MODEL_H

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <memory>

#include "tools/loamset-view/load_job.h"

namespace loamset_view {

// The time as the table shows it: "2024-06-18 09:02:14", the meter's clock as the file holds it.
QString TableTime(std::int64_t ticks);
// A reading's number as the table and the chart's tooltip show it ("0.182", "412.6").
QString ValueText(double value);
// The background that marks a result of this severity; invalid for None.
QColor SeverityColor(Severity severity);
QString SeverityName(Severity severity);
// The colour of series `series` in the chart and beside its name in the tree.
QColor SeriesColor(int series);

class ReadingsModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The result's Severity as an int, in cells of series columns that hold a result.
    static constexpr int SeverityRole = Qt::UserRole + 1;

    explicit ReadingsModel(QObject* parent = nullptr);

    void SetFile(std::shared_ptr<const LoadedFile> file);
    // The column of series `series` (the time is column 0).
    static int ColumnOf(int series) { return series + 1; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const LoadedFile> file_;
};

}  // namespace loamset_view

#endif  // LOAMSET_VIEW_READINGS_MODEL_H
