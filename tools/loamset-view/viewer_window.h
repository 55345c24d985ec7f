// loamset-view, the readings viewer of Loamer. Copyright (C) 2026 Norvane.
// This program links Qt Charts and is therefore distributed under the GNU General Public
// License version 3 (SPDX: GPL-3.0-only), WITHOUT ANY WARRANTY; see
// <https://www.gnu.org/licenses/gpl-3.0.html>.
//
// The viewer's window: the series tree on the left, the chart and the readings table on the
// right, both showing the series checked in the tree. Files come from File > Open, File > Recent
// files, the command line or a drop; each is loaded by a LoadJob while the window stays usable,
// and replaces the file shown only once it has loaded completely.
#ifndef LOAMSET_VIEW_VIEWER_WINDOW_H
#define LOAMSET_VIEW_VIEWER_WINDOW_H

#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <memory>

#include "tools/loamset-view/load_job.h"

class QLabel;
class QMenu;
class QSplitter;
class QTableView;

namespace loamset_view {

class ReadingsChartView;
class ReadingsModel;
class SeriesTree;

// The program's name, version and licence, for --version and the About box.
QString AboutText();

class ViewerWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit ViewerWindow(const ComponentSource& source, QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // Starts loading `path`; a load still running is cancelled first.
    void OpenFile(const QString& path);

    bool IsLoading() const { return job_ != nullptr; }
    // The file shown, null before the first one loaded.
    const std::shared_ptr<const LoadedFile>& shown() const { return shown_; }
    SeriesTree* seriesTree() const { return tree_; }
    ReadingsModel* readingsModel() const { return model_; }
    ReadingsChartView* chartView() const { return chartView_; }
    QTableView* tableView() const { return table_; }
    // The progress window of the load running, null when none runs.
    QProgressDialog* progressDialog() const { return progress_; }
    QMenu* recentMenu() const { return recentMenu_; }

signals:
    // After each load has ended and its message (if any) was closed: `shown` when the file it
    // loaded is now the one shown.
    void LoadEnded(bool shown);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ChooseFile();
    void LoadFinished();
    void Show(std::shared_ptr<const LoadedFile> file, const QString& path);
    void FillRecentMenu();
    void UpdateChart();
    void ExportCsv();

    ComponentSource source_;
    SeriesTree* tree_;
    ReadingsModel* model_;
    ReadingsChartView* chartView_;
    QTableView* table_;
    QSplitter* sideSplitter_;
    QSplitter* mainSplitter_;
    QMenu* recentMenu_;
    QAction* exportCsv_ = nullptr;
    QLabel* summary_;
    LoadJob* job_ = nullptr;
    bool cancelRequested_ = false;
    QPointer<QProgressDialog> progress_;
    std::shared_ptr<const LoadedFile> shown_;
    QString shownPath_;
};

}  // namespace loamset_view

#endif  // LOAMSET_VIEW_VIEWER_WINDOW_H
