// The viewer's window with the field day file: the series tree, the readings table, loading
// failures in a message box, Cancel, drops and the recent files.
#include <QApplication>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/viewer/gui_test.h"
#include "tools/loamset-view/readings_chart.h"
#include "tools/loamset-view/readings_model.h"
#include "tools/loamset-view/recent_files.h"
#include "tools/loamset-view/series_tree.h"
#include "tools/loamset-view/viewer_window.h"

namespace {

using loamer::testing::ScratchDir;
using namespace loamset_view;
using namespace viewer_test;

class ViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // Opens `path` and waits for the load to end; true when the file is then shown.
    bool Open(const QString& path) {
        QSignalSpy ended(&window, &ViewerWindow::LoadEnded);
        window.OpenFile(path);
        EXPECT_TRUE(ended.wait(20000)) << path.toStdString();
        return !ended.isEmpty() && ended.first().first().toBool();
    }
    bool OpenFieldDay() { return Open(QString::fromStdString(FieldDay())); }

    int Series(const std::string& name) const { return SeriesNamed(window.shown()->data, name); }

    ViewerWindow window{kModule};
};

TEST_F(ViewerWindowTest, FieldDaySeriesGroupedByDataSetAndPlotWithUnitsChecked) {
    ForgetRecentFiles();
    ASSERT_TRUE(OpenFieldDay());
    SeriesTree& tree = *window.seriesTree();
    ASSERT_EQ(tree.topLevelItemCount(), 3);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), "VP4");
    EXPECT_EQ(tree.topLevelItem(1)->text(0), "KR6");
    EXPECT_EQ(tree.topLevelItem(2)->text(0), "FLX");

    struct Row {
        const char* series;
        const char* dataSet;
        const char* plot;
        const char* leaf;
        bool checked;
    };
    for (const Row& row : {Row{"VP4 1.Sample", "VP4", "Plot 1", "Sample", false},
                           Row{"VP4 1.Device", "VP4", "Plot 1", "Device", false},
                           Row{"VP4 1.VWC 0100", "VP4", "Plot 1", "VWC 0100", true},
                           Row{"VP4 2.VWC 0400", "VP4", "Plot 2", "VWC 0400", true},
                           Row{"KR6 2.degC 1000", "KR6", "Plot 2", "degC 1000", true},
                           Row{"KR6 2.Sample", "KR6", "Plot 2", "Sample", false},
                           Row{"FLX 2.ECb 0060", "FLX", "Plot 2", "ECb 0060", true}}) {
        SCOPED_TRACE(row.series);
        const int index = Series(row.series);
        QTreeWidgetItem* leaf = tree.ItemOf(index);
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->text(0), row.leaf);
        ASSERT_NE(leaf->parent(), nullptr);
        EXPECT_EQ(leaf->parent()->text(0), row.plot);
        ASSERT_NE(leaf->parent()->parent(), nullptr);
        EXPECT_EQ(leaf->parent()->parent()->text(0), row.dataSet);
        EXPECT_EQ(leaf->checkState(0) == Qt::Checked, row.checked);
        // The chart draws exactly the checked series.
        EXPECT_EQ(window.chartView()->readingsChart()->LinesOf(index).empty(), !row.checked);
    }

    // Unchecking a series takes it off the chart; the whole data set goes with its box.
    const int vwc = Series("VP4 1.VWC 0100");
    tree.ItemOf(vwc)->setCheckState(0, Qt::Unchecked);
    QTRY_VERIFY(window.chartView()->readingsChart()->LinesOf(vwc).empty());
    tree.topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    QTRY_VERIFY(window.chartView()->readingsChart()->LinesOf(Series("KR6 2.mV 0100")).empty());
    EXPECT_FALSE(window.chartView()->readingsChart()->LinesOf(Series("FLX 1.VWC 0060")).empty());

    EXPECT_TRUE(window.windowTitle().startsWith("field-day.CSV"));
    EXPECT_EQ(RecentFiles().value(0), QFileInfo(QString::fromStdString(FieldDay())).absoluteFilePath());
}

TEST_F(ViewerWindowTest, TableShowsTheFileValuesAndMarksErrorReadings) {
    ASSERT_TRUE(OpenFieldDay());
    const ReadingsModel& model = *window.readingsModel();
    ASSERT_EQ(model.rowCount(), 19);
    ASSERT_EQ(model.columnCount(), 39);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Time");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "2024-06-18 09:02:14");
    EXPECT_EQ(model.data(model.index(18, 0)).toString(), "2024-06-18 14:30:41");

    struct Value {
        int row;
        const char* series;
        const char* shown;  // "" where the record has no result for the series
    };
    for (const Value& v : {Value{0, "VP4 1.VWC 0100", "0.182"}, Value{1, "VP4 1.VWC 0400", "0.27"},
                           Value{2, "VP4 1.VWC 0200", "0.198"}, Value{10, "KR6 2.mV 0100", "412.6"},
                           Value{11, "KR6 2.degC 1000", "12"}, Value{14, "FLX 1.Tmp 0060", "24.8"},
                           Value{18, "FLX 2.ECp 0060", "94.1"}, Value{3, "VP4 1.Sample", "4"},
                           Value{0, "KR6 2.mV 0100", ""}}) {
        SCOPED_TRACE(std::string(v.series) + " row " + std::to_string(v.row));
        const QModelIndex cell = model.index(v.row, ReadingsModel::ColumnOf(Series(v.series)));
        EXPECT_EQ(model.data(cell).toString(), v.shown);
        EXPECT_FALSE(model.data(cell, Qt::BackgroundRole).isValid());
    }

    // The error readings of the file: no number, never a 0, the cell marked, the words on hover.
    for (const Value& v : {Value{2, "VP4 1.VWC 0100", nullptr}, Value{8, "VP4 2.VWC 0400", nullptr},
                           Value{14, "FLX 1.ECb 0060", nullptr}, Value{5, "VP4 1.Device", nullptr}}) {
        SCOPED_TRACE(std::string(v.series) + " row " + std::to_string(v.row));
        const QModelIndex cell = model.index(v.row, ReadingsModel::ColumnOf(Series(v.series)));
        const QString shown = model.data(cell).toString();
        bool isNumber = true;
        shown.toDouble(&isNumber);
        EXPECT_FALSE(shown.isEmpty());
        EXPECT_FALSE(isNumber) << shown.toStdString();
        EXPECT_EQ(model.data(cell, ReadingsModel::SeverityRole).toInt(), static_cast<int>(Severity::Fatal));
        EXPECT_EQ(model.data(cell, Qt::BackgroundRole).value<QColor>(), SeverityColor(Severity::Fatal));
        EXPECT_TRUE(model.data(cell, Qt::ToolTipRole).toString().startsWith(shown));
    }
}

TEST_F(ViewerWindowTest, RefusedFileShowsWhyAndKeepsTheFileShown) {
    ASSERT_TRUE(OpenFieldDay());
    const auto shown = window.shown();
    const ScratchDir scratch;
    std::ofstream(scratch / "notes.CSV") << "Time,Item,Count\nmilk,2\nbread,1\n";
    for (const std::string& path : {scratch / "notes.CSV", scratch / "missing.CSV"}) {
        SCOPED_TRACE(path);
        DatasetSnapshot unused;
        const std::string expected = DescribeFailure(path, LoadDataset(path, kModule, unused));
        BoxAnswerer answerer;
        EXPECT_FALSE(Open(QString::fromStdString(path)));
        ASSERT_EQ(answerer.texts.size(), 1);
        EXPECT_EQ(answerer.texts.first().toStdString(), expected);
        EXPECT_NE(expected.find(path), std::string::npos);
        EXPECT_EQ(window.shown(), shown);
        EXPECT_TRUE(window.windowTitle().startsWith("field-day.CSV"));
    }
}

TEST_F(ViewerWindowTest, DamagedFileShowsTheRecordsBeforeTheDamageAndSaysWhy) {
    const ScratchDir scratch;
    const std::string damaged = scratch / "damaged.CSV";
    std::string text = loamer::testing::ReadFile(FieldDay());
    // A 31st of February before the field day's fifth reading.
    text.insert(text.find("18/06/2024  09:24:33"), "31/02/2024  09:20:00,0005,1,T05,  0.191, ,  0.226, , , , , ,\r\n");
    std::ofstream(damaged, std::ios::binary) << text;
    DatasetSnapshot unused;
    const std::string expected = DescribeFailure(damaged, LoadDataset(damaged, kModule, unused));

    BoxAnswerer answerer;
    EXPECT_TRUE(Open(QString::fromStdString(damaged)));
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_EQ(answerer.texts.first().toStdString(), expected);
    ASSERT_EQ(window.readingsModel()->rowCount(), 4);
    EXPECT_EQ(window.readingsModel()->data(window.readingsModel()->index(3, 0)).toString(), "2024-06-18 09:18:51");
    EXPECT_TRUE(window.windowTitle().startsWith("damaged.CSV"));
}

TEST_F(ViewerWindowTest, CancelKeepsThePreviousFile) {
    ASSERT_TRUE(OpenFieldDay());
    const auto shown = window.shown();
    const ScratchDir scratch;
    std::filesystem::copy_file(FieldDay(), scratch / "second.CSV");

    QSignalSpy ended(&window, &ViewerWindow::LoadEnded);
    window.OpenFile(QString::fromStdString(scratch / "second.CSV"));
    ASSERT_NE(window.progressDialog(), nullptr);
    auto* cancel = window.progressDialog()->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_FALSE(ended.first().first().toBool());
    EXPECT_EQ(window.shown(), shown);
    EXPECT_EQ(window.readingsModel()->rowCount(), 19);
    EXPECT_TRUE(window.windowTitle().startsWith("field-day.CSV"));
    EXPECT_FALSE(window.IsLoading());
}

TEST_F(ViewerWindowTest, DroppedFileIsOpened) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(FieldDay()))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QSignalSpy ended(&window, &ViewerWindow::LoadEnded);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    ASSERT_TRUE(ended.wait(20000));
    EXPECT_TRUE(ended.first().first().toBool());
    EXPECT_EQ(window.readingsModel()->rowCount(), 19);
}

}  // namespace
