// Runs every registered test class (or the one named first on the command line) on the
// offscreen platform, with the settings store and the runtime folder in private temporary
// folders so that no user's files are touched.
#include <QApplication>
#include <QTest>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tests/shell/shell_test.h"

using namespace loamer;

namespace loamer {
std::vector<TestFactory> RegisteredShellTests();
}

namespace {

std::string MakePrivateDir(const char* pattern) {
    std::string path = (std::filesystem::temp_directory_path() / pattern).string();
    if (!mkdtemp(path.data())) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    chmod(path.c_str(), 0700);
    return path;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Before anything can reach QSettings or QStandardPaths.
    const std::string config = MakePrivateDir("loamer-shell-config-XXXXXX");
    const std::string runtime = MakePrivateDir("loamer-shell-runtime-XXXXXX");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    int failures = 0;
    {
        QApplication app(argc, argv);
        // As the program does after Qt has set the user's locale.
        std::setlocale(LC_NUMERIC, "C");
        std::setlocale(LC_TIME, "C");
        // "shell_tests Class [QtTest options]" runs one class (one CTest entry each); with
        // options only, every class runs.
        const bool one = argc > 1 && argv[1][0] != '-';
        const QString only = one ? QString::fromLocal8Bit(argv[1]) : QString();
        std::vector<char*> args{argv[0]};
        args.insert(args.end(), argv + (one ? 2 : 1), argv + argc);
        bool ranOne = false;
        for (TestFactory make : RegisteredShellTests()) {
            std::unique_ptr<QObject> test = make();
            if (one && only != QLatin1String(test->metaObject()->className())) continue;
            failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
            ranOne = true;
        }
        if (!ranOne) {
            std::fprintf(stderr, "shell_tests: no test class %s\n", argv[1]);
            failures = 1;
        }
    }

    std::error_code ignored;
    std::filesystem::remove_all(config, ignored);
    std::filesystem::remove_all(runtime, ignored);
    return failures == 0 ? 0 : 1;
}
