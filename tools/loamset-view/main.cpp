// loamset-view, the readings viewer of Loamer. Copyright (C) 2026 Norvane.
// This program links Qt Charts and is therefore distributed under the GNU General Public
// License version 3 (SPDX: GPL-3.0-only), WITHOUT ANY WARRANTY; see
// <https://www.gnu.org/licenses/gpl-3.0.html>.
//
// loamset-view [FILE]: shows a data record file; with --export-csv, --export-png or --export-svg
// it writes the readings or the chart to files instead and needs no display.
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QFile>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>

#include "loamer/version.h"
#include "loamset/kxdataset.h"
#include "tools/loamset-view/chart_export.h"
#include "tools/loamset-view/readings_chart.h"
#include "tools/loamset-view/viewer_window.h"

using namespace loamset_view;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;

int Usage(const std::string& message) {
    std::cerr << "loamset-view: " << message << "\nRun with --help for more information.\n";
    return kExitUsage;
}

int Failure(const std::string& message) {
    std::cerr << "loamset-view: " << message << '\n';
    return kExitFailure;
}

struct Options {
    std::string file;
    std::string modulePath;
    std::string csvOut;
    std::string pngOut;
    std::string svgOut;
    std::string size = "1200x700";
};

bool WriteBytes(const std::string& path, const QByteArray& bytes) {
    QFile out(QString::fromStdString(path));
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size() && out.flush();
}

int Export(int argc, char** argv, const Options& options, QSize size) {
    LoadOutcome outcome;
    const std::shared_ptr<const LoadedFile> file = LoadFile(options.file, {options.modulePath}, outcome);
    // A script gets all of the file or nothing: a file damaged partway is a failure here.
    if (!file || !outcome.ok()) return Failure(DescribeFailure(options.file, outcome));

    if (!options.csvOut.empty()) {
        if (options.csvOut == "-") {
            if (!WriteCsv(file->data, std::cout) || !std::cout.flush()) return Failure("cannot write to standard output");
        } else {
            std::ofstream out(options.csvOut, std::ios::binary | std::ios::trunc);
            if (!out || !WriteCsv(file->data, out) || !out.flush()) return Failure("cannot write " + options.csvOut);
        }
    }
    if (options.pngOut.empty() && options.svgOut.empty()) return 0;

    // The images are drawn by Qt without a window: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::vector<int> series = SeriesWithUnits(file->data);
    const std::pair<const std::string*, ImageFormat> images[] = {{&options.pngOut, ImageFormat::Png},
                                                                 {&options.svgOut, ImageFormat::Svg}};
    for (const auto& [path, format] : images) {
        if (path->empty()) continue;
        const QByteArray bytes = RenderChart(file, series, size, format);
        if (bytes.isEmpty()) return Failure("cannot draw the chart for " + *path);
        if (!WriteBytes(*path, bytes)) return Failure("cannot write " + *path);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(
        "Shows the readings of a data record file: the series in a tree, a chart of them over time\n"
        "and a table of every record.\n"
        "\n"
        "Retrieve the readings from the meter first, with `loamer-cli retrieve READINGS.CSV` or the\n"
        "desktop program's Retrieve, then run `loamset-view READINGS.CSV`. The file is read through\n"
        "the dataset component " KX_PROGID ", which must be registered once with\n"
        "`comrt-regsvr /path/to/loamset.so` (`regsvr` in a build tree; the package registers\n"
        "it for every user), or named with --module.\n"
        "\n"
        "With --export-csv, --export-png or --export-svg no window opens: the readings or the\n"
        "chart of every series with units are written and the program ends. Times are the meter's\n"
        "clock as the file holds them, whatever the computer's time zone.\n"
        "Exit status: 0 success, 1 failure, 64 usage error.",
        "loamset-view");
    Options options;
    bool version = false;
    app.add_option("FILE", options.file, "the data record file to show");
    app.add_option("--export-csv", options.csvOut,
                   "write every result as CSV to OUT (- for standard output):\n"
                   "time,series,units,value,error")
        ->type_name("OUT");
    app.add_option("--export-png", options.pngOut, "draw the chart into the PNG file OUT")->type_name("OUT");
    app.add_option("--export-svg", options.svgOut, "draw the chart into the SVG file OUT")->type_name("OUT");
    app.add_option("--size", options.size, "the images' size in pixels (default 1200x700)")->type_name("WxH");
    app.add_option("--module", options.modulePath, "the component's module file, used without the\nclasses root")
        ->type_name("PATH");
    app.add_flag("--version", version, "print the version and licence and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        return Usage(error.what());
    }
    if (version) {
        std::cout << AboutText().toStdString() << '\n';
        return 0;
    }

    std::smatch parts;
    static const std::regex kSize("([0-9]{1,5})x([0-9]{1,5})");
    if (!std::regex_match(options.size, parts, kSize)) return Usage("--size: " + options.size + " is not WxH");
    const QSize size(std::stoi(parts[1].str()), std::stoi(parts[2].str()));
    if (size.width() < 200 || size.height() < 150 || size.width() > 16384 || size.height() > 16384) {
        return Usage("--size: " + options.size + " is outside 200x150 to 16384x16384");
    }
    for (const std::string* image : {&options.pngOut, &options.svgOut}) {
        if (*image == "-") return Usage("the images need a file name; - (standard output) is for --export-csv only");
    }

    // Qt 6.4's time axis labels its ticks in the local zone only; the file's times are the meter's
    // clock placed on the axis as UTC. Running in UTC makes the labels read as the file does.
    // Before QApplication, which reads the zone.
    PinTimeZoneToUtc();
    const bool exporting = !options.csvOut.empty() || !options.pngOut.empty() || !options.svgOut.empty();
    if (exporting) {
        if (options.file.empty()) return Usage("an export needs the FILE to read");
        return Export(argc, argv, options, size);
    }

    QApplication application(argc, argv);
    // Qt has taken on the user's locale; numbers are read and written in the C locale's form.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setOrganizationName(QStringLiteral("Norvane"));
    QApplication::setApplicationName(QStringLiteral("Loamset View"));
    QApplication::setApplicationVersion(QStringLiteral(LOAMER_FILE_VERSION));
    ViewerWindow window({options.modulePath});
    window.show();
    if (!options.file.empty()) window.OpenFile(QString::fromLocal8Bit(options.file.c_str()));
    return QApplication::exec();
}
