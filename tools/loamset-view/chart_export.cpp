// loamset-view, the readings viewer of Loamer. Copyright (C) 2026 Norvane.
// This program links Qt Charts and is therefore distributed under the GNU General Public
// License version 3 (SPDX: GPL-3.0-only), WITHOUT ANY WARRANTY; see
// <https://www.gnu.org/licenses/gpl-3.0.html>.
#include "tools/loamset-view/chart_export.h"

#include <QBuffer>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include "tools/loamset-view/readings_chart.h"

namespace loamset_view {

QByteArray RenderChart(std::shared_ptr<const LoadedFile> file, const std::vector<int>& series, QSize size,
                       ImageFormat format) {
    QGraphicsScene scene;
    auto* chart = new ReadingsChart;  // the scene owns it
    scene.addItem(chart);
    chart->resize(size);
    chart->Show(std::move(file), series);
    // The plot area, and with it the lines' thinning, is known once the layout has run.
    chart->layout()->activate();
    chart->Redecimate();
    chart->layout()->activate();
    const QRectF area(QPointF(0, 0), QSizeF(size));
    scene.setSceneRect(area);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == ImageFormat::Png) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, area, area);
        painter.end();
        if (!image.save(&buffer, "PNG")) return {};
    } else {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(size);
        generator.setViewBox(area);
        generator.setTitle(QStringLiteral("Readings"));
        generator.setDescription(QStringLiteral("Drawn by loamset-view"));
        QPainter painter;
        if (!painter.begin(&generator)) return {};
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, area, area);
        painter.end();
    }
    return bytes;
}

}  // namespace loamset_view
