// loamset-view as scripts run it: the exports need no display, a refused file is said on
// standard error with 1, usage errors give 64.
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/child_process.h"
#include "tests/viewer/gui_test.h"

namespace {

using loamer::testing::ChildOptions;
using loamer::testing::ReadFile;
using loamer::testing::RunProgram;
using loamer::testing::RunResult;
using loamer::testing::ScratchDir;
using namespace loamset_view;
using namespace viewer_test;

// The program with no display at all: it must choose the offscreen platform itself.
RunResult RunViewer(std::vector<std::string> arguments) {
    ChildOptions options;
    options.argv = {LOAMSET_VIEW};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.unsetEnv = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    return RunProgram(options, 60000);
}

TEST(ViewerProgram, HelpAndVersionSayHowToUseItAndTheLicence) {
    const RunResult help = RunViewer({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* words : {"loamer-cli retrieve READINGS.CSV", "loamset-view READINGS.CSV", "regsvr", "--export-png"}) {
        EXPECT_NE(help.out.find(words), std::string::npos) << words;
    }
    const RunResult version = RunViewer({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("GNU General Public License version 3"), std::string::npos) << version.out;
}

TEST(ViewerProgram, UsageErrorsGive64) {
    const ScratchDir scratch;
    const std::string png = scratch / "chart.png";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--export-csv", scratch / "out.csv"},
          {"--export-png", "-", FieldDay()},
          {"--size", "1200", "--export-png", png, FieldDay()},
          {"--size", "10x10", "--export-png", png, FieldDay()},
          {"--no-such-option", FieldDay()},
          {FieldDay(), FieldDay()}}) {
        const RunResult result = RunViewer(arguments);
        EXPECT_EQ(result.status, 64) << arguments[0] << ' ' << arguments[1];
        EXPECT_NE(result.err.find("loamset-view: "), std::string::npos) << result.err;
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(png)));
}

TEST(ViewerProgram, CsvExportHasTheFileValuesAndErrors) {
    const RunResult result = RunViewer({"--module", LOAMSET_MODULE, "--export-csv", "-", FieldDay()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.rfind("time,series,units,value,error\n", 0), 0u);
    for (const char* line : {"\n2024-06-18T09:02:14,VP4 1.VWC 0100,m3.m-3,0.182,\n",
                             "\n2024-06-18T09:13:05,VP4 1.VWC 0100,m3.m-3,,0xC000000A\n",
                             "\n2024-06-18T11:02:09,KR6 2.mV 0100,mV,412.6,\n"}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line;
    }
}

TEST(ViewerProgram, ImagesAreWrittenAtTheRequestedSize) {
    const ScratchDir scratch;
    const std::string png = scratch / "chart.png";
    const std::string svg = scratch / "chart.svg";
    const RunResult result =
        RunViewer({"--module", LOAMSET_MODULE, "--export-png", png, "--export-svg", svg, "--size", "640x480", FieldDay()});
    ASSERT_EQ(result.status, 0) << result.err;

    EXPECT_EQ(ReadFile(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
    const QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.size(), QSize(640, 480));

    QXmlStreamReader xml(QByteArray::fromStdString(ReadFile(svg)));
    QString root;
    int lines = 0;  // Qt's SVG writer draws the chart's lines as polylines, curves as paths
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (root.isEmpty()) root = xml.name().toString();
        lines += xml.name() == QLatin1String("path") || xml.name() == QLatin1String("polyline");
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(root, "svg");
    EXPECT_GT(lines, 0);

    // Without --size: 1200 x 700.
    ASSERT_EQ(RunViewer({"--module", LOAMSET_MODULE, "--export-png", png, FieldDay()}).status, 0);
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(1200, 700));
}

TEST(ViewerProgram, RefusedFileIsSaidOnStandardErrorWith1) {
    const ScratchDir scratch;
    std::ofstream(scratch / "notes.CSV") << "Time,Item,Count\nmilk,2\nbread,1\n";
    for (const std::string& path : {scratch / "notes.CSV", scratch / "missing.CSV"}) {
        DatasetSnapshot unused;
        const std::string sentence = DescribeFailure(path, LoadDataset(path, kModule, unused));
        const std::string out = scratch / "out.png";
        const RunResult result = RunViewer({"--module", LOAMSET_MODULE, "--export-png", out, path});
        EXPECT_EQ(result.status, 1) << path;
        EXPECT_EQ(result.err, "loamset-view: " + sentence + "\n");
        EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    }
}

}  // namespace
