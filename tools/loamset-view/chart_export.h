// loamset-view, the readings viewer of Loamer. Copyright (C) 2026 Norvane.
// This program links Qt Charts and is therefore distributed under the GNU General Public
// License version 3 (SPDX: GPL-3.0-only), WITHOUT ANY WARRANTY; see
// <https://www.gnu.org/licenses/gpl-3.0.html>.
//
// The chart as an image file, drawn without a window (the offscreen platform is enough).
#ifndef LOAMSET_VIEW_CHART_EXPORT_H
#define LOAMSET_VIEW_CHART_EXPORT_H

#include <QByteArray>
#include <QSize>
#include <memory>
#include <vector>

#include "tools/loamset-view/load_job.h"

namespace loamset_view {

enum class ImageFormat { Png, Svg };

// The bytes of a `size` image of the chart of `series`; empty when drawing failed. Needs a
// QApplication.
QByteArray RenderChart(std::shared_ptr<const LoadedFile> file, const std::vector<int>& series, QSize size,
                       ImageFormat format);

}  // namespace loamset_view

#endif  // LOAMSET_VIEW_CHART_EXPORT_H
