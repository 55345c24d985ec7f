// The installed icon (packaging/loamer.svg) and the one the program draws when it runs uninstalled
// must look the same: rendered at the theme's sizes, they may differ only at antialiased edges.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cstdlib>

#include "loamer/shell/program_icon.h"

namespace {

QImage RenderSvg(int size) {
    QSvgRenderer renderer(QStringLiteral(LOAMER_ICON_SVG));
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return image;
}

int ChannelDifference(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
}

TEST(ProgramIconTest, SvgMatchesTheDrawing) {
    ASSERT_TRUE(QSvgRenderer(QStringLiteral(LOAMER_ICON_SVG)).isValid());
    for (int size : {32, 64, 256}) {
        SCOPED_TRACE(size);
        const QImage svg = RenderSvg(size);
        const QImage drawn = loamer::ProgramIconPixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(drawn.size(), svg.size());
        long total = 0;
        int far = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int d = ChannelDifference(svg.pixel(x, y), drawn.pixel(x, y));
                total += d;
                if (d > 64) ++far;
            }
        }
        // A shape moved by a pixel, a wrong colour or a missing part exceeds both by far.
        EXPECT_LT(static_cast<double>(total) / (size * size), 1.5);
        EXPECT_LT(far, size * size / 200);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
