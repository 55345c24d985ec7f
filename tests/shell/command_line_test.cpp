// The program's command line, run as built: --help and --version answer on standard output
// without a window, a usage error exits 64 with the usage on standard error, Qt's own options
// pass, and closed standard descriptors do not turn an answer into a failed write.
#include <QTest>

#include "loamer/version.h"
#include "tests/shell/shell_test.h"
#include "tests/support/child_process.h"

using loamer::testing::ChildOptions;
using loamer::testing::RunProgram;
using loamer::testing::RunResult;

namespace {

RunResult RunLoamer(const QStringList& arguments, bool closeStandardStreams = false) {
    ChildOptions options;
    options.argv.push_back(LOAMER_GUI_PROGRAM);
    for (const QString& argument : arguments) options.argv.push_back(argument.toStdString());
    options.setEnv = {{"QT_QPA_PLATFORM", "offscreen"}};
    // No display: the answers must not need one.
    options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.closeStdin = options.closeStdout = options.closeStderr = closeStandardStreams;
    return RunProgram(options, 20000);
}

const char kVersion[] = LOAMER_PRODUCT_NAME " " LOAMER_FILE_VERSION "\n" LOAMER_COPYRIGHT "\n";

}  // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void answers_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");  // the start of standard output
        QTest::addColumn<QString>("err");  // the start of standard error
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "usage: loamer " << "";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "usage: loamer " << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << kVersion << "";
        QTest::newRow("Qt option passes") << QStringList{"-platform", "offscreen", "--version"} << 0 << kVersion
                                          << "";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 64 << ""
                                        << "loamer: Unknown option 'bogus'.\nusage: loamer ";
        QTest::newRow("stray argument") << QStringList{"COM3"} << 64 << ""
                                        << "loamer: unexpected argument COM3\nusage: loamer ";
    }

    void answers() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const RunResult run = RunLoamer(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(QString::fromStdString(run.out).startsWith(out), run.out.c_str());
        QVERIFY2(QString::fromStdString(run.err).startsWith(err), run.err.c_str());
        if (out.isEmpty()) QCOMPARE(run.out, std::string());
        if (err.isEmpty()) QCOMPARE(run.err, std::string());
    }

    void answersWithTheStandardStreamsClosed() {
        // Written to the null device that takes the closed descriptor's place.
        QCOMPARE(RunLoamer({"--version"}, true).status, 0);
    }
};

SHELL_TEST(CommandLineTest);
#include "command_line_test.moc"
