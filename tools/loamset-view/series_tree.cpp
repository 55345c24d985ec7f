#include "tools/loamset-view/series_tree.h"

#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <map>

#include "tools/loamset-view/readings_model.h"

namespace loamset_view {

namespace {

QIcon Swatch(const QColor& color) {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(color.darker(130));
    painter.setBrush(color);
    painter.drawRect(1, 1, 9, 9);
    return QIcon(pixmap);
}

QTreeWidgetItem* NewGroup(const QString& text) {
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
    item->setData(0, SeriesTree::SeriesRole, -1);
    return item;
}

}  // namespace

bool CheckedByDefault(const SeriesInfo& series) { return !series.units.empty(); }

SeriesTree::SeriesTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("Series"), QStringLiteral("Units")});
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        // Checking a group changes each of its leaves: tell the window once, afterwards.
        if (column != 0 || changePending_) return;
        changePending_ = true;
        QTimer::singleShot(0, this, [this] {
            changePending_ = false;
            emit CheckedChanged();
        });
    });
}

void SeriesTree::SetSeries(const std::vector<SeriesInfo>& series) {
    const QSignalBlocker quiet(this);
    clear();
    leaves_.assign(series.size(), nullptr);
    // Groups in the order the file first names them.
    std::map<std::string, QTreeWidgetItem*> dataSets;
    std::map<std::pair<std::string, std::string>, QTreeWidgetItem*> plots;
    for (std::size_t index = 0; index < series.size(); ++index) {
        const SeriesInfo& info = series[index];
        QTreeWidgetItem*& dataSet = dataSets[info.sensorType];
        if (dataSet == nullptr) {
            dataSet = NewGroup(info.sensorType.empty() ? QStringLiteral("(no device)")
                                                       : QString::fromStdString(info.sensorType));
            addTopLevelItem(dataSet);
        }
        QTreeWidgetItem* parentItem = dataSet;
        if (const std::string plot = info.Plot(); !plot.empty()) {
            QTreeWidgetItem*& plotItem = plots[{info.sensorType, plot}];
            if (plotItem == nullptr) {
                plotItem = NewGroup(QStringLiteral("Plot ") + QString::fromStdString(plot));
                dataSet->addChild(plotItem);
            }
            parentItem = plotItem;
        }
        QString text = QString::fromStdString(info.Quantity());
        if (!info.channel.empty()) text += QLatin1Char(' ') + QString::fromStdString(info.channel);
        auto* leaf = new QTreeWidgetItem(QStringList{text, QString::fromStdString(info.units)});
        leaf->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        leaf->setData(0, SeriesRole, static_cast<int>(index));
        leaf->setToolTip(0, QString::fromStdString(info.DisplayName()));
        leaf->setIcon(0, Swatch(SeriesColor(static_cast<int>(index))));
        leaf->setCheckState(0, CheckedByDefault(info) ? Qt::Checked : Qt::Unchecked);
        parentItem->addChild(leaf);
        leaves_[index] = leaf;
    }
    expandAll();
}

std::vector<int> SeriesTree::CheckedSeries() const {
    std::vector<int> checked;
    for (std::size_t index = 0; index < leaves_.size(); ++index) {
        if (leaves_[index] != nullptr && leaves_[index]->checkState(0) == Qt::Checked) {
            checked.push_back(static_cast<int>(index));
        }
    }
    return checked;
}

QTreeWidgetItem* SeriesTree::ItemOf(int series) const {
    if (series < 0 || static_cast<std::size_t>(series) >= leaves_.size()) return nullptr;
    return leaves_[static_cast<std::size_t>(series)];
}

}  // namespace loamset_view
