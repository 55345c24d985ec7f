// loamset-view, the readings viewer of Loamer. Copyright (C) 2026 Norvane.
// This program links Qt Charts and is therefore distributed under the GNU General Public
// License version 3 (SPDX: GPL-3.0-only), WITHOUT ANY WARRANTY; see
// <https://www.gnu.org/licenses/gpl-3.0.html>.
#include "tools/loamset-view/readings_chart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QFontMetricsF>
#include <QGraphicsSceneMouseEvent>
#include <QKeyEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <map>

#include "tools/loamset-view/readings_model.h"

namespace loamset_view {

namespace {

constexpr double kMinute = 60'000.0;
constexpr double kHour = 60 * kMinute;
constexpr double kDay = 24 * kHour;

// A series whose runs hold fewer points than this shows each reading as a dot.
constexpr std::size_t kDotsBelow = 200;

QList<QPointF> ToQt(const std::vector<ChartPoint>& points) {
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points.size()));
    for (const ChartPoint& point : points) list.append(QPointF(point.x, point.y));
    return list;
}

// The runs, joined into one line, thinned to the range shown, with the nearest reading on either
// side of it so that the line runs on to the plot's edges.
std::vector<ChartPoint> Thinned(const std::vector<const std::vector<ChartPoint>*>& runs, double x0, double x1,
                                int width) {
    std::vector<ChartPoint> points = DecimateRuns(runs, x0, x1, width);
    std::size_t total = 0;
    for (const auto* run : runs) total += run->size();
    if (total <= static_cast<std::size_t>(4 * width)) return points;  // whole, edges included
    const ChartPoint* before = nullptr;
    const ChartPoint* after = nullptr;
    for (const auto* run : runs) {
        // Runs are in x order: the last point before x0 and the first after x1 are found by search.
        const auto firstIn = std::lower_bound(run->begin(), run->end(), x0,
                                              [](const ChartPoint& p, double x) { return p.x < x; });
        if (firstIn != run->begin()) before = &*(firstIn - 1);
        const auto firstAfter = std::upper_bound(run->begin(), run->end(), x1,
                                                 [](double x, const ChartPoint& p) { return x < p.x; });
        if (after == nullptr && firstAfter != run->end()) after = &*firstAfter;
    }
    if (before != nullptr && (points.empty() || points.front().x >= x0)) points.insert(points.begin(), *before);
    if (after != nullptr && (points.empty() || points.back().x <= x1)) points.push_back(*after);
    return points;
}

QDateTime UtcFromChartX(double x) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(x)), Qt::UTC);
}

}  // namespace

void PinTimeZoneToUtc() {
    setenv("TZ", "UTC", 1);
    tzset();
}

std::vector<int> SeriesWithUnits(const DatasetSnapshot& data) {
    std::vector<int> series;
    for (std::size_t index = 0; index < data.series.size(); ++index) {
        if (!data.series[index].units.empty()) series.push_back(static_cast<int>(index));
    }
    return series;
}

QString ChartTime(double x) { return UtcFromChartX(x).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

ReadingsChart::ReadingsChart() {
    setBackgroundRoundness(0);
    setMargins(QMargins(6, 6, 6, 6));
    legend()->setAlignment(Qt::AlignRight);
    legend()->setShowToolTips(true);
    QFont legendFont = legend()->font();
    legendFont.setPointSizeF(legendFont.pointSizeF() * 0.85);
    legend()->setFont(legendFont);
    connect(this, &QChart::plotAreaChanged, this, [this] { ScheduleRedecimate(); });
}

void ReadingsChart::Show(std::shared_ptr<const LoadedFile> file, const std::vector<int>& series) {
    removeAllSeries();
    for (QAbstractAxis* axis : axes()) {
        removeAxis(axis);
        delete axis;
    }
    plotted_.clear();
    valueAxes_.clear();
    file_ = std::move(file);
    thinnedWidth_ = -1;

    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTitleText(QStringLiteral("Time (the meter's clock)"));
    addAxis(timeAxis_, Qt::AlignBottom);
    connect(timeAxis_, &QDateTimeAxis::rangeChanged, this, [this] { ScheduleRedecimate(); });

    double x0 = std::numeric_limits<double>::infinity();
    double x1 = -x0;
    std::map<std::string, std::size_t> axisOfUnits;
    std::vector<std::pair<double, double>> valueRanges;
    for (const int index : series) {
        if (!file_ || index < 0 || static_cast<std::size_t>(index) >= file_->data.series.size()) continue;
        const auto s = static_cast<std::size_t>(index);
        const SeriesInfo& info = file_->data.series[s];
        // One value axis per unit, alternately on the left and on the right.
        auto [unitsEntry, isNew] = axisOfUnits.try_emplace(info.units, valueAxes_.size());
        if (isNew) {
            auto* axis = new QValueAxis;
            axis->setTitleText(info.units.empty() ? QStringLiteral("count") : QString::fromStdString(info.units));
            addAxis(axis, valueAxes_.size() % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
            valueAxes_.push_back({axis, 0.0, 0.0});
            valueRanges.emplace_back(std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity());
        }
        // Plain references: clang 14 cannot capture structured bindings in a lambda.
        double& y0 = valueRanges[unitsEntry->second].first;
        double& y1 = valueRanges[unitsEntry->second].second;
        const auto widen = [&](double x, double y) {
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        };

        Plotted plotted;
        plotted.series = index;
        plotted.axis = valueAxes_[unitsEntry->second].axis;
        plotted.color = SeriesColor(index);
        plotted.name = QString::fromStdString(info.DisplayName());
        std::size_t points = 0;
        for (const auto& run : file_->runs[s]) {
            points += run.size();
            for (const ChartPoint& point : run) widen(point.x, point.y);
        }
        plotted.dots = points < kDotsBelow;
        // The first line carries the series' legend entry; Redecimate adds one per run shown.
        AddLine(plotted);
        if (const auto& flagged = file_->flagged[s]; !flagged.empty()) {
            auto* markers = new QScatterSeries;
            markers->setName(plotted.name);
            for (const FlaggedReading& reading : flagged) {
                markers->append(reading.x, reading.y);
                widen(reading.x, reading.y);
            }
            addSeries(markers);
            markers->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
            markers->setMarkerSize(10.0);
            markers->setColor(Qt::white);
            markers->setBorderColor(plotted.color);
            markers->attachAxis(timeAxis_);
            markers->attachAxis(plotted.axis);
            plotted.markers = markers;
        }
        if (plotted.markers != nullptr) {
            for (QLegendMarker* marker : legend()->markers(plotted.markers)) marker->setVisible(false);
        }
        plotted_.push_back(std::move(plotted));
    }

    if (x0 > x1) {
        // Nothing to draw: an hour from the file's first record.
        x0 = file_ ? TicksToChartX(file_->data.firstRecordTicks) : 0.0;
        x1 = x0 + kHour;
    } else {
        // A little room on either side, so that the first and last readings are not cut by the edge.
        const double pad = std::max((x1 - x0) * 0.02, kMinute / 2);
        x0 -= pad;
        x1 += pad;
    }
    fullX0_ = x0;
    fullX1_ = x1;
    for (std::size_t k = 0; k < valueAxes_.size(); ++k) {
        auto [y0, y1] = valueRanges[k];
        if (y0 > y1) y0 = y1 = 0.0;
        // Values near the ends of the double range leave no room for a margin.
        double pad = y1 > y0 ? (y1 - y0) * 0.05 : std::max(std::abs(y0) * 0.1, 1.0);
        if (!std::isfinite(y0 - pad) || !std::isfinite(y1 + pad)) pad = 0.0;
        QValueAxis* axis = valueAxes_[k].axis;
        axis->setRange(y0 - pad, y1 + pad);
        if (std::isfinite((y1 + pad) - (y0 - pad))) axis->applyNiceNumbers();
        valueAxes_[k].min = axis->min();
        valueAxes_[k].max = axis->max();
    }
    setTitle(plotted_.empty() && file_ ? QStringLiteral("Check a series on the left to draw it") : QString());
    ResetView();
    Redecimate();
}

void ReadingsChart::ResetView() {
    if (timeAxis_ == nullptr) return;
    timeAxis_->setRange(UtcFromChartX(fullX0_), UtcFromChartX(fullX1_));
    for (const AxisRange& range : valueAxes_) range.axis->setRange(range.min, range.max);
}

void ReadingsChart::ZoomTime(double centre, double factor) {
    if (timeAxis_ == nullptr) return;
    const double x0 = static_cast<double>(timeAxis_->min().toMSecsSinceEpoch());
    const double x1 = static_cast<double>(timeAxis_->max().toMSecsSinceEpoch());
    centre = std::clamp(centre, x0, x1);
    double from = centre - (centre - x0) * factor;
    double to = centre + (x1 - centre) * factor;
    if (to - from < 10'000.0) return;  // ten seconds across is close enough
    timeAxis_->setRange(UtcFromChartX(from), UtcFromChartX(to));
}

void ReadingsChart::ScheduleRedecimate() {
    if (redecimatePending_) return;
    redecimatePending_ = true;
    QTimer::singleShot(0, this, [this] { Redecimate(); });
}

void ReadingsChart::FitTimeFormat() {
    const double span = static_cast<double>(timeAxis_->max().toMSecsSinceEpoch() - timeAxis_->min().toMSecsSinceEpoch());
    const qreal width = plotArea().width() > 0 ? plotArea().width() : 1000.0;
    const bool seconds = span < 20 * kMinute;
    const bool dateOnly = span > 20 * kDay;
    timeAxis_->setFormat(seconds ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                         : dateOnly ? QStringLiteral("yyyy-MM-dd")
                                    : QStringLiteral("yyyy-MM-dd HH:mm"));
    const qreal labelWidth = dateOnly ? 100.0 : seconds ? 170.0 : 150.0;
    timeAxis_->setTickCount(std::clamp(static_cast<int>(width / labelWidth) + 1, 2, 12));
}

void ReadingsChart::FitLegend() {
    // A legend taller than the chart would be cut off; the series tree's colours name the lines then.
    const qreal rowHeight = QFontMetricsF(legend()->font()).height() + 5.5;
    const qreal room = size().height() - margins().top() - margins().bottom() - 10;
    const bool fits = !plotted_.empty() && static_cast<qreal>(plotted_.size()) * rowHeight <= room;
    if (legend()->isVisible() != fits) legend()->setVisible(fits);
}

void ReadingsChart::Redecimate() {
    redecimatePending_ = false;
    if (timeAxis_ == nullptr) return;
    FitLegend();
    FitTimeFormat();
    const double x0 = static_cast<double>(timeAxis_->min().toMSecsSinceEpoch());
    const double x1 = static_cast<double>(timeAxis_->max().toMSecsSinceEpoch());
    // Before the first layout the plot has no width yet: thin as for a wide one.
    const int width = plotArea().width() >= 50 ? static_cast<int>(plotArea().width()) : 1000;
    // A layout pass that changed only the height leaves the lines as they are.
    if (width == thinnedWidth_ && x0 == thinnedX0_ && x1 == thinnedX1_) return;
    thinnedWidth_ = width;
    thinnedX0_ = x0;
    thinnedX1_ = x1;
    // Runs closer together than this are drawn as one line: a gap that narrow could not be seen,
    // and a line per run would cost a chart item each.
    const double joinBelow = 3 * (x1 - x0) / width;
    // Runs this far outside the range shown still lead their lines on to the plot's edges.
    const double reach0 = x0 - (x1 - x0);
    const double reach1 = x1 + (x1 - x0);
    for (Plotted& plotted : plotted_) {
        std::vector<std::vector<const std::vector<ChartPoint>*>> groups;
        for (const auto& run : file_->runs[static_cast<std::size_t>(plotted.series)]) {
            if (run.back().x < reach0 || run.front().x > reach1) continue;
            if (!groups.empty() && run.front().x - groups.back().back()->back().x < joinBelow) {
                groups.back().push_back(&run);
            } else {
                groups.push_back({&run});
            }
        }
        std::vector<std::vector<ChartPoint>> drawn;
        drawn.reserve(groups.size());
        for (const auto& group : groups) drawn.push_back(Thinned(group, x0, x1, width));
        const std::size_t lines = std::max<std::size_t>(drawn.size(), 1);
        while (plotted.lines.size() < lines) AddLine(plotted);
        while (plotted.lines.size() > lines) {
            removeSeries(plotted.lines.back());
            delete plotted.lines.back();
            plotted.lines.pop_back();
        }
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            plotted.lines[i]->replace(ToQt(drawn[i]));
            // A lone reading between two gaps would otherwise not be drawn at all.
            plotted.lines[i]->setPointsVisible(plotted.dots || drawn[i].size() == 1);
        }
        if (drawn.empty()) plotted.lines[0]->clear();
    }
}

void ReadingsChart::AddLine(Plotted& plotted) {
    auto* line = new QLineSeries;
    line->setName(plotted.name);
    QPen pen(plotted.color);
    pen.setWidthF(1.6);
    line->setPen(pen);
    addSeries(line);
    // After addSeries, which applies the theme's marker size (a radius here).
    line->setPointsVisible(plotted.dots);
    line->setMarkerSize(3.5);
    line->attachAxis(timeAxis_);
    line->attachAxis(plotted.axis);
    // One legend entry per series: its first line's.
    if (!plotted.lines.empty()) {
        for (QLegendMarker* marker : legend()->markers(line)) marker->setVisible(false);
    }
    plotted.lines.push_back(line);
}

std::optional<ReadingsChart::Nearest> ReadingsChart::NearestReading(const QPointF& position, qreal reach) {
    std::optional<Nearest> best;
    if (!plotArea().adjusted(-reach, -reach, reach, reach).contains(position)) return best;
    const auto consider = [&](QXYSeries* drawn, int series) {
        for (const QPointF& value : drawn->points()) {
            const QPointF at = mapToPosition(value, drawn);
            const qreal distance = std::hypot(at.x() - position.x(), at.y() - position.y());
            if (distance <= reach && (!best || distance < best->distance)) best = Nearest{series, value, 0, distance};
        }
    };
    for (const Plotted& plotted : plotted_) {
        for (QLineSeries* line : plotted.lines) consider(line, plotted.series);
        if (plotted.markers != nullptr) consider(plotted.markers, plotted.series);
    }
    if (best) {
        for (const FlaggedReading& reading : file_->flagged[static_cast<std::size_t>(best->series)]) {
            if (reading.x == best->value.x() && reading.y == best->value.y()) best->error = reading.error;
        }
    }
    return best;
}

QString ReadingsChart::Describe(const Nearest& nearest) const {
    const SeriesInfo& info = file_->data.series[static_cast<std::size_t>(nearest.series)];
    QString text = QString::fromStdString(info.DisplayName()) + QLatin1Char('\n') + ChartTime(nearest.value.x()) +
                   QLatin1Char('\n') + ValueText(nearest.value.y());
    if (!info.units.empty()) text += QLatin1Char(' ') + QString::fromStdString(info.units);
    if (nearest.error != 0) {
        text += QStringLiteral("\n%1 (%2)").arg(QString::fromStdString(ErrorText(nearest.error)),
                                                SeverityName(SeverityOf(nearest.error)));
    }
    return text;
}

std::vector<QLineSeries*> ReadingsChart::LinesOf(int series) const {
    for (const Plotted& plotted : plotted_) {
        if (plotted.series == series) return plotted.lines;
    }
    return {};
}

QScatterSeries* ReadingsChart::MarkersOf(int series) const {
    for (const Plotted& plotted : plotted_) {
        if (plotted.series == series) return plotted.markers;
    }
    return nullptr;
}

ReadingsChartView::ReadingsChartView(QWidget* parent) : QChartView(parent), chart_(new ReadingsChart) {
    setChart(chart_);
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setToolTip(QStringLiteral(
        "Drag a box to zoom in, turn the wheel to zoom the time, drag with the middle button or use the "
        "arrow keys to move, Home or a double click to see everything."));
}

QPointF ReadingsChartView::ChartPosition(const QPoint& viewportPosition) const {
    return chart_->mapFromScene(mapToScene(viewportPosition));
}

void ReadingsChartView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y();
    if (steps == 0 || chart_->series().isEmpty()) return;
    const QPointF at = ChartPosition(event->position().toPoint());
    const double centre = chart_->mapToValue(at).x();
    chart_->ZoomTime(centre, std::pow(0.8, steps / 120.0));
    event->accept();
}

void ReadingsChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        panning_ = true;
        panFrom_ = event->position().toPoint();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void ReadingsChartView::mouseMoveEvent(QMouseEvent* event) {
    if (panning_) {
        const QPoint now = event->position().toPoint();
        const QPoint moved = now - panFrom_;
        chart_->scroll(-moved.x(), moved.y());
        panFrom_ = now;
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton) return;
    if (const auto nearest = chart_->NearestReading(ChartPosition(event->position().toPoint()), 12.0)) {
        QToolTip::showText(event->globalPosition().toPoint(), chart_->Describe(*nearest), this);
    } else {
        QToolTip::hideText();
    }
}

void ReadingsChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (panning_ && event->button() == Qt::MiddleButton) {
        panning_ = false;
        unsetCursor();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void ReadingsChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    chart_->ResetView();
    event->accept();
}

void ReadingsChartView::keyPressEvent(QKeyEvent* event) {
    if (chart_->series().isEmpty()) return QChartView::keyPressEvent(event);
    const qreal stepX = chart_->plotArea().width() / 10;
    const qreal stepY = chart_->plotArea().height() / 10;
    switch (event->key()) {
        case Qt::Key_Left: chart_->scroll(-stepX, 0); break;
        case Qt::Key_Right: chart_->scroll(stepX, 0); break;
        case Qt::Key_Up: chart_->scroll(0, stepY); break;
        case Qt::Key_Down: chart_->scroll(0, -stepY); break;
        case Qt::Key_Home: chart_->ResetView(); break;
        case Qt::Key_Plus:
        case Qt::Key_Equal: chart_->ZoomTime(chart_->mapToValue(chart_->plotArea().center()).x(), 0.8); break;
        case Qt::Key_Minus: chart_->ZoomTime(chart_->mapToValue(chart_->plotArea().center()).x(), 1.25); break;
        default: QChartView::keyPressEvent(event); return;
    }
    event->accept();
}

}  // namespace loamset_view
