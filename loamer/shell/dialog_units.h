// Places controls by the dialog units their layouts were drawn in: a quarter of the dialog
// font's average character width across, an eighth of its line height down. The dialogs of the
// program are small and fixed, so coordinates scaled this way keep their proportions under any
// font without a layout engine.
#pragma once

#include <QFont>
#include <QRect>

namespace loamer {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

private:
    double perX_;
    double perY_;
};

}  // namespace loamer
