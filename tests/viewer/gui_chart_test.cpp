// The chart: error readings are gaps, the time axis reads the meter's clock whatever the zone,
// the tooltip names the exact reading, and long runs are thinned to the plot and again on zoom.
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLegendMarker>
#include <QLineSeries>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "tests/viewer/gui_test.h"
#include "tools/loamset-view/readings_chart.h"

namespace {

using namespace loamset_view;
using namespace viewer_test;

// A chart of the field day's series with units, laid out at 1000 x 600 in its own scene.
struct FieldDayChart {
    FieldDayChart() {
        LoadOutcome outcome;
        file = LoadFile(FieldDay(), kModule, outcome);
        EXPECT_TRUE(file) << DescribeFailure(FieldDay(), outcome);
        scene.addItem(chart);
        chart->resize(1000, 600);
        if (file) chart->Show(file, SeriesWithUnits(file->data));
        chart->layout()->activate();
        chart->Redecimate();
    }
    int Series(const std::string& name) const { return SeriesNamed(file->data, name); }

    std::shared_ptr<const LoadedFile> file;
    QGraphicsScene scene;
    ReadingsChart* chart = new ReadingsChart;  // owned by the scene
};

std::vector<double> Xs(const QLineSeries* line) {
    std::vector<double> xs;
    for (const QPointF& point : line->points()) xs.push_back(point.x());
    return xs;
}

TEST(ViewerChart, ErrorReadingsAreGapsBetweenRunsOfOneLegendEntry) {
    FieldDayChart fd;
    ASSERT_TRUE(fd.file);
    struct Case {
        const char* series;
        std::vector<std::vector<double>> runs;
    };
    for (const Case& c :
         {Case{"VP4 1.VWC 0100",
               {{FieldDayX(9, 2, 14), FieldDayX(9, 7, 40)},
                {FieldDayX(9, 18, 51), FieldDayX(9, 24, 33), FieldDayX(9, 30, 2)}}},
          Case{"VP4 2.VWC 0400", {{FieldDayX(10, 5, 47), FieldDayX(10, 11, 20)}, {FieldDayX(10, 22, 36)}}},
          Case{"VP4 1.VWC 0200",
               {{FieldDayX(9, 2, 14), FieldDayX(9, 7, 40), FieldDayX(9, 13, 5), FieldDayX(9, 18, 51),
                 FieldDayX(9, 24, 33), FieldDayX(9, 30, 2)}}}}) {
        SCOPED_TRACE(c.series);
        const std::vector<QLineSeries*> lines = fd.chart->LinesOf(fd.Series(c.series));
        ASSERT_EQ(lines.size(), c.runs.size());
        int legendEntries = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(Xs(lines[i]), c.runs[i]);
            EXPECT_EQ(lines[i]->color(), lines[0]->color());
            for (QLegendMarker* marker : fd.chart->legend()->markers(lines[i])) legendEntries += marker->isVisible();
        }
        EXPECT_EQ(legendEntries, 1);
        // The error readings of the field day have no number: nothing marks them.
        EXPECT_EQ(fd.chart->MarkersOf(fd.Series(c.series)), nullptr);
    }
}

TEST(ViewerChart, TimeAxisReadsTheMetersClockWhateverTheZone) {
    // The tests run with TZ far from UTC (see gui_tests.cmake); the program pins it as main does.
    FieldDayChart fd;
    ASSERT_TRUE(fd.file);
    QDateTimeAxis* axis = fd.chart->timeAxis();
    axis->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(FieldDayX(9, 2, 14)), Qt::UTC),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(FieldDayX(10, 2, 14)), Qt::UTC));
    fd.chart->Redecimate();
    fd.chart->layout()->activate();
    QStringList labels;
    for (QGraphicsItem* item : fd.scene.items()) {
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item)) labels << text->toPlainText();
    }
    EXPECT_TRUE(labels.contains("2024-06-18 09:02")) << labels.join(" | ").toStdString();
    EXPECT_TRUE(labels.contains("2024-06-18 10:02")) << labels.join(" | ").toStdString();
}

TEST(ViewerChart, TooltipNamesTheNearestReadingExactly) {
    FieldDayChart fd;
    ASSERT_TRUE(fd.file);
    const int series = fd.Series("KR6 2.degC 0100");
    const QLineSeries* line = fd.chart->LinesOf(series).at(0);
    const QPointF reading(FieldDayX(11, 31, 44), 18.1);
    const QPointF at = fd.chart->mapToPosition(reading, const_cast<QLineSeries*>(line));
    const auto nearest = fd.chart->NearestReading(at + QPointF(3, -2), 12);
    ASSERT_TRUE(nearest);
    EXPECT_EQ(nearest->series, series);
    EXPECT_EQ(fd.chart->Describe(*nearest), "KR6 2.degC 0100\n2024-06-18 11:31:44\n18.1 degC");
    // Far from every reading there is nothing to tell.
    EXPECT_FALSE(fd.chart->NearestReading(fd.chart->mapToPosition(QPointF(FieldDayX(12, 30, 0), 0.25), nullptr), 12));
}

TEST(ViewerChart, WheelKeysAndMiddleDragMoveTheTimeAndHomeShowsEverything) {
    LoadOutcome outcome;
    const auto file = LoadFile(FieldDay(), kModule, outcome);
    ASSERT_TRUE(file);
    ReadingsChartView view;
    view.resize(1000, 600);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    ReadingsChart& chart = *view.readingsChart();
    chart.Show(file, SeriesWithUnits(file->data));
    QTest::qWait(20);
    const auto range = [&] {
        return std::pair(chart.timeAxis()->min().toMSecsSinceEpoch(), chart.timeAxis()->max().toMSecsSinceEpoch());
    };
    const auto full = range();
    const QPoint centre = chart.plotArea().center().toPoint();

    QWheelEvent wheel(centre, view.viewport()->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    const auto zoomed = range();
    EXPECT_LT(zoomed.second - zoomed.first, full.second - full.first);
    EXPECT_GT(zoomed.first, full.first);

    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_GT(range().first, zoomed.first);
    const auto moved = range();
    // Dragging to the right with the middle button brings earlier times into view.
    QTest::mousePress(view.viewport(), Qt::MiddleButton, {}, centre);
    QTest::mouseMove(view.viewport(), centre + QPoint(100, 0));
    QTest::mouseRelease(view.viewport(), Qt::MiddleButton, {}, centre + QPoint(100, 0));
    EXPECT_LT(range().first, moved.first);

    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_EQ(range(), full);
}

// A series of 20000 readings, one a minute, on a sawtooth.
std::shared_ptr<const LoadedFile> LongRun() {
    auto file = std::make_shared<LoadedFile>();
    file->data.series.push_back({"0100", "1.VWC", "VP4", "m3.m-3"});
    constexpr std::int64_t kStart = 133'631'749'340'000'000;  // 2024-06-18 09:02:14
    for (std::uint32_t r = 0; r < 20000; ++r) {
        file->data.records.push_back({kStart + std::int64_t{r} * 600'000'000, r, 1});
        file->data.results.push_back({0, 0, (r % 50) / 100.0});
    }
    file->runs.push_back(SeriesRuns(file->data, 0));
    file->flagged.resize(1);
    return file;
}

TEST(ViewerChart, LongRunIsThinnedToThePlotAndAgainOnZoom) {
    QGraphicsScene scene;
    auto* chart = new ReadingsChart;
    scene.addItem(chart);
    chart->resize(800, 500);
    const auto file = LongRun();
    chart->Show(file, {0});
    chart->layout()->activate();
    chart->Redecimate();
    const QLineSeries* line = chart->LinesOf(0).at(0);
    const auto width = static_cast<qsizetype>(chart->plotArea().width());
    EXPECT_LE(line->count(), 4 * width + 2);
    EXPECT_GT(line->count(), width);

    // Zoomed to 200 readings: every one of them, and one more on either side for the edges.
    const auto& run = file->runs[0][0];
    chart->timeAxis()->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(run[1000].x) - 1, Qt::UTC),
                                QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(run[1199].x) + 1, Qt::UTC));
    chart->Redecimate();
    ASSERT_EQ(line->count(), 202);
    EXPECT_EQ(line->at(0).x(), run[999].x);
    EXPECT_EQ(line->at(201).x(), run[1200].x);

    chart->ResetView();
    chart->Redecimate();
    EXPECT_LE(line->count(), 4 * width + 2);
}

}  // namespace
