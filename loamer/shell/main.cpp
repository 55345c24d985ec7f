// loamer: the desktop program for the TQ4 meter.
#include <QApplication>
#include <clocale>

#include "loamer/shell/loamer_app.h"
#include "loamer/shell/program_icon.h"

using namespace loamer;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // Qt has taken on the user's locale; the meter's records and replies are printed and
    // scanned in the C locale's numbers. Dates keep the user's order (LC_TIME).
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setWindowIcon(ProgramIcon());

    CLOAMERApp app;
    app.InitInstance();
    return 0;
}
