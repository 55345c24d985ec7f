#include "loamer/shell/dialog_units.h"

#include <QFontMetricsF>
#include <QString>
#include <algorithm>
#include <cmath>

namespace loamer {

namespace {

// The average character width is taken over the upper- and lower-case alphabet.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// A font that reports nothing (no font files at all) still leaves a usable dialog.
constexpr double kMinPerX = 1.5;
constexpr double kMinPerY = 1.625;

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const double averageWidth = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) / 52.0;
    perX_ = std::max(kMinPerX, averageWidth / 4.0);
    perY_ = std::max(kMinPerY, metrics.height() / 8.0);
}

int DialogUnits::X(int units) const { return static_cast<int>(std::lround(units * perX_)); }
int DialogUnits::Y(int units) const { return static_cast<int>(std::lround(units * perY_)); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

QSize DialogUnits::Size(int width, int height) const { return QSize(X(width), Y(height)); }

}  // namespace loamer
