// The viewer's GUI tests run in one QApplication on the offscreen platform, with their settings
// (the recent files) in a scratch folder.
#include <QApplication>
#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/viewer/gui_test.h"
#include "tools/loamset-view/readings_chart.h"

namespace viewer_test {

std::string FieldDay() { return loamer::testing::TestDataPath("viewer/field-day.CSV"); }

int SeriesNamed(const loamset_view::DatasetSnapshot& data, const std::string& name) {
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        if (data.series[i].DisplayName() == name) return static_cast<int>(i);
    }
    return -1;
}

double FieldDayX(int hour, int minute, int second) {
    return static_cast<double>(
        QDateTime(QDate(2024, 6, 18), QTime(hour, minute, second), QTimeZone::utc()).toMSecsSinceEpoch());
}

BoxAnswerer::BoxAnswerer() {
    QObject::connect(&poll_, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts << box->text();
            box->done(QMessageBox::Ok);
        }
    });
    poll_.start(20);
}

}  // namespace viewer_test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const loamer::testing::ScratchDir settings;
    qputenv("XDG_CONFIG_HOME", settings.Path().c_str());
    // As the program does: see PinTimeZoneToUtc.
    loamset_view::PinTimeZoneToUtc();
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
