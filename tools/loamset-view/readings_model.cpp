#include "tools/loamset-view/readings_model.h"

#include <iterator>

namespace loamset_view {

QString TableTime(std::int64_t ticks) {
    QString text = QString::fromStdString(IsoTime(ticks));
    return text.replace(QLatin1Char('T'), QLatin1Char(' '));
}

// Ten significant digits give back the file's own few decimals without binary noise.
QString ValueText(double value) { return QString::number(value, 'g', 10); }

QColor SeverityColor(Severity severity) {
    switch (severity) {
        case Severity::None: break;
        case Severity::Information: return QColor(0xdb, 0xea, 0xfe);
        case Severity::Warning: return QColor(0xfe, 0xf3, 0xc7);
        case Severity::Error: return QColor(0xfe, 0xd7, 0xaa);
        case Severity::Fatal: return QColor(0xfe, 0xca, 0xca);
    }
    return {};
}

QString SeverityName(Severity severity) {
    switch (severity) {
        case Severity::None: break;
        case Severity::Information: return QStringLiteral("information");
        case Severity::Warning: return QStringLiteral("warning");
        case Severity::Error: return QStringLiteral("error");
        case Severity::Fatal: return QStringLiteral("no reading");
    }
    return {};
}

QColor SeriesColor(int series) {
    // Ten colours that stay apart on a white plot and for most colour-blind readers.
    static constexpr QRgb kPalette[] = {0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd,
                                        0x8c564b, 0xe377c2, 0x7f7f7f, 0xbcbd22, 0x17becf};
    constexpr int kCount = static_cast<int>(std::size(kPalette));
    return QColor(kPalette[((series % kCount) + kCount) % kCount]);
}

ReadingsModel::ReadingsModel(QObject* parent) : QAbstractTableModel(parent) {}

void ReadingsModel::SetFile(std::shared_ptr<const LoadedFile> file) {
    beginResetModel();
    file_ = std::move(file);
    endResetModel();
}

int ReadingsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !file_) return 0;
    return static_cast<int>(file_->data.records.size());
}

int ReadingsModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !file_) return 0;
    return static_cast<int>(file_->data.series.size()) + 1;
}

QVariant ReadingsModel::data(const QModelIndex& index, int role) const {
    if (!file_ || !index.isValid()) return {};
    const auto record = static_cast<std::size_t>(index.row());
    if (index.column() == 0) {
        if (role == Qt::DisplayRole) return TableTime(file_->data.records[record].ticks);
        return {};
    }
    const ResultValue* result = file_->data.Find(record, index.column() - 1);
    if (result == nullptr) return {};
    const Severity severity = SeverityOf(result->error);
    switch (role) {
        case Qt::DisplayRole:
            // A result without a number shows why, never a 0.
            return HasValue(result->error) ? ValueText(result->value) : QString::fromStdString(ErrorText(result->error));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        case Qt::BackgroundRole:
            if (severity != Severity::None) return SeverityColor(severity);
            return {};
        case Qt::ToolTipRole:
            if (severity == Severity::None) return {};
            return QStringLiteral("%1 (%2, 0x%3)")
                .arg(QString::fromStdString(ErrorText(result->error)), SeverityName(severity),
                     QString::number(result->error, 16).toUpper().rightJustified(8, QLatin1Char('0')));
        case SeverityRole:
            return static_cast<int>(severity);
        default:
            return {};
    }
}

QVariant ReadingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!file_ || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Vertical) return section + 1;
    if (section == 0) return QStringLiteral("Time");
    const SeriesInfo& series = file_->data.series[static_cast<std::size_t>(section - 1)];
    QString title = QString::fromStdString(series.DisplayName());
    if (!series.units.empty()) title += QLatin1Char('\n') + QString::fromStdString(series.units);
    return title;
}

}  // namespace loamset_view
