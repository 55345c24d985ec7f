#include "loamer/shell/program_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace loamer {

namespace {

// Drawn on a 64-unit canvas and scaled: a slab of soil with a band of grass and a water drop
// sinking into it.
void PaintIcon(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath slab;
    slab.addRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setClipPath(slab);

    QLinearGradient sky(0, 2, 0, 22);
    sky.setColorAt(0, QColor(0xcf, 0xe8, 0xf6));
    sky.setColorAt(1, QColor(0xa9, 0xd4, 0xee));
    p.fillRect(QRectF(2, 2, 60, 22), sky);

    p.fillRect(QRectF(2, 20, 60, 6), QColor(0x4c, 0x9a, 0x2a));

    QLinearGradient soil(0, 26, 0, 62);
    soil.setColorAt(0, QColor(0x8a, 0x5a, 0x2e));
    soil.setColorAt(1, QColor(0x4e, 0x30, 0x16));
    p.fillRect(QRectF(2, 26, 60, 36), soil);

    // A few darker clods so that the soil reads as soil at the larger sizes.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3c, 0x24, 0x10, 140));
    p.drawEllipse(QRectF(9, 46, 7, 4));
    p.drawEllipse(QRectF(46, 52, 8, 4));
    p.drawEllipse(QRectF(48, 33, 5, 3));
    p.setClipping(false);

    QPainterPath drop;
    drop.moveTo(32, 10);
    drop.cubicTo(36, 20, 46, 30, 46, 40);
    drop.arcTo(QRectF(18, 26, 28, 28), 0, -180);
    drop.cubicTo(18, 30, 28, 20, 32, 10);
    QRadialGradient water(QPointF(28, 36), 20);
    water.setColorAt(0, QColor(0x6f, 0xb8, 0xff));
    water.setColorAt(1, QColor(0x15, 0x5e, 0xc0));
    p.setBrush(water);
    p.setPen(QPen(QColor(0x0d, 0x3f, 0x85), 1.5));
    p.drawPath(drop);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QRectF(24, 33, 5, 9));

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x2a, 0x1a, 0x0c), 1.5));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
}

}  // namespace

QPixmap ProgramIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.scale(size / 64.0, size / 64.0);
    PaintIcon(painter);
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon drawn;
    for (int size : {16, 24, 32, 48, 64}) drawn.addPixmap(ProgramIconPixmap(size));
    // The installed icon (share/icons/hicolor, the same drawing as SVG and PNGs) is what the desktop
    // shows in its menu; the window uses it too, and the drawing when run from the build folder.
    return QIcon::fromTheme(QStringLiteral("loamer"), drawn);
}

}  // namespace loamer
