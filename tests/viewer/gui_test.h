// Helpers of the viewer's window tests: the field day file, the module, and an answerer that
// records and closes the message boxes the window opens.
#pragma once

#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include "tools/loamset-view/dataset_snapshot.h"

namespace viewer_test {

inline const loamset_view::ComponentSource kModule{LOAMSET_MODULE};

std::string FieldDay();
// Index of the series with this DisplayName(), -1 when none.
int SeriesNamed(const loamset_view::DatasetSnapshot& data, const std::string& name);
// Chart x of a wall-clock time on 2024-06-18, worked out independently of the viewer.
double FieldDayX(int hour, int minute, int second);

// Closes every message box that opens while it lives, keeping its text.
class BoxAnswerer {
public:
    BoxAnswerer();
    QStringList texts;

private:
    QTimer poll_;
};

}  // namespace viewer_test
