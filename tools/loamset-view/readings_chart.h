// loamset-view, the readings viewer of Loamer. Copyright (C) 2026 Norvane.
// This program links Qt Charts and is therefore distributed under the GNU General Public
// License version 3 (SPDX: GPL-3.0-only), WITHOUT ANY WARRANTY; see
// <https://www.gnu.org/licenses/gpl-3.0.html>.
//
// The chart of the checked series over time: one line per run of readings, so that a reading the
// meter flagged as an error is a gap, with the flagged readings that have a number as markers.
// Long runs are drawn thinned to the plot's width and thinned again for each zoom; runs less
// than three pixels apart are drawn as one line, as their gap could not be seen.
#ifndef LOAMSET_VIEW_READINGS_CHART_H
#define LOAMSET_VIEW_READINGS_CHART_H

#include <QChart>
#include <QChartView>
#include <QColor>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "tools/loamset-view/load_job.h"

class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace loamset_view {

// Qt 6.4's QDateTimeAxis writes its labels in the local time zone and has no setting for
// another. The file's times are the meter's wall clock, placed on the axis as UTC: the program
// runs in UTC so that the labels read as the file does. Call before QApplication exists.
void PinTimeZoneToUtc();

// The series drawn when no one has chosen: those with units.
std::vector<int> SeriesWithUnits(const DatasetSnapshot& data);

// "2024-06-18 09:02:14" for a chart x.
QString ChartTime(double x);

class ReadingsChart final : public QChart {
public:
    ReadingsChart();

    // Draws `series` of `file` (null: nothing) over the whole time of those series.
    void Show(std::shared_ptr<const LoadedFile> file, const std::vector<int>& series);
    // Back to the whole time and value ranges.
    void ResetView();
    // Zooms the time axis by `factor` (< 1 in) keeping the time at `centre` where it is.
    void ZoomTime(double centre, double factor);
    // Redraws the lines for the time range shown and the plot's width, and fits the time labels
    // and the legend to the size (done after every zoom, pan and resize once events are processed).
    void Redecimate();

    struct Nearest {
        int series = -1;
        QPointF value;       // chart x (ms), reading
        std::uint32_t error = 0;
        qreal distance = 0;  // in pixels
    };
    // The drawn reading nearest to `position` (chart coordinates) within `reach` pixels.
    std::optional<Nearest> NearestReading(const QPointF& position, qreal reach);
    // The tooltip of a reading: series, exact time, value with units, the error's words.
    QString Describe(const Nearest& nearest) const;

    QDateTimeAxis* timeAxis() const { return timeAxis_; }
    // The lines (one per run) and the markers of series `series`; empty when not drawn.
    std::vector<QLineSeries*> LinesOf(int series) const;
    QScatterSeries* MarkersOf(int series) const;

private:
    struct Plotted {
        int series = -1;
        QString name;
        QColor color;
        bool dots = false;                // few readings: each is drawn as a dot as well
        std::vector<QLineSeries*> lines;  // one per run shown, at least one (the legend's)
        QScatterSeries* markers = nullptr;
        QValueAxis* axis = nullptr;
    };
    struct AxisRange {
        QValueAxis* axis = nullptr;
        double min = 0.0;
        double max = 0.0;
    };

    void ScheduleRedecimate();
    void AddLine(Plotted& plotted);
    void FitTimeFormat();
    void FitLegend();

    std::shared_ptr<const LoadedFile> file_;
    std::vector<Plotted> plotted_;
    std::vector<AxisRange> valueAxes_;
    QDateTimeAxis* timeAxis_ = nullptr;
    double fullX0_ = 0.0;
    double fullX1_ = 0.0;
    bool redecimatePending_ = false;
    // What the lines were last thinned for; a new file clears it.
    double thinnedX0_ = 0.0;
    double thinnedX1_ = 0.0;
    int thinnedWidth_ = -1;
};

// The chart on screen: rubber band and wheel zoom, panning with the middle button or the arrow
// keys, Home or a double click to see everything again, and a tooltip on the nearest reading.
class ReadingsChartView final : public QChartView {
    Q_OBJECT
public:
    explicit ReadingsChartView(QWidget* parent = nullptr);
    ReadingsChart* readingsChart() const { return chart_; }

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointF ChartPosition(const QPoint& viewportPosition) const;

    ReadingsChart* chart_;
    bool panning_ = false;
    QPoint panFrom_;
};

}  // namespace loamset_view

#endif  // LOAMSET_VIEW_READINGS_CHART_H
