#include "loamer/shell/command_line.h"

#include <QCommandLineParser>

#include "loamer/version.h"

namespace loamer {

namespace {

const char kUsage[] =
    "usage: loamer [--help] [--version] [Qt options]\n"
    "\n"
    "The desktop program for the TQ4 soil moisture meter: its version, battery, memory and\n"
    "linearisation tables, its clock, and the serial port it is connected to. While it runs,\n"
    "it also carries out other programs' requests for the meter, which reach it on\n"
    "$XDG_RUNTIME_DIR/loamer/loamer.sock (the installed header loamer/copy_data_protocol.h\n"
    "describes them).\n"
    "\n"
    "options:\n"
    "  --help      show this text\n"
    "  --version   show the program's version\n"
    "\n"
    "Qt's own options (-platform NAME, -style NAME, -reverse, ...) are passed on to Qt.\n";

// Qt's options for every program, which QApplication takes out of the command line itself.
constexpr const char* kQtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                               "qwindowgeometry", "qwindowicon", "qwindowtitle", "display",
                                               "geometry", "style", "stylesheet", "session", "name", "title"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

}  // namespace

CommandLineAnswer AnswerCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    // Qt's options are single-dash words; so -help reads as --help, not as -h -e -l -p.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    for (const char* name : kQtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kQtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    CommandLineAnswer answer;
    if (!parser.parse(arguments)) {
        answer.err = "loamer: " + parser.errorText().toStdString() + "\n";
    } else if (!parser.positionalArguments().isEmpty()) {
        answer.err = "loamer: unexpected argument " + parser.positionalArguments().constFirst().toStdString() + "\n";
    } else if (parser.isSet(help)) {
        answer.run = false;
        answer.out = kUsage;
        return answer;
    } else if (parser.isSet(version)) {
        answer.run = false;
        answer.out = LOAMER_PRODUCT_NAME " " LOAMER_FILE_VERSION "\n" LOAMER_COPYRIGHT "\n";
        return answer;
    } else {
        return answer;
    }
    answer.run = false;
    answer.status = kExitUsage;
    answer.err += kUsage;
    return answer;
}

}  // namespace loamer
