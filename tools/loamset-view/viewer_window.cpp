// loamset-view, the readings viewer of Loamer. Copyright (C) 2026 Norvane.
// This program links Qt Charts and is therefore distributed under the GNU General Public
// License version 3 (SPDX: GPL-3.0-only), WITHOUT ANY WARRANTY; see
// <https://www.gnu.org/licenses/gpl-3.0.html>.
#include "tools/loamset-view/viewer_window.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <fstream>

#include "loamer/version.h"
#include "tools/loamset-view/readings_chart.h"
#include "tools/loamset-view/readings_model.h"
#include "tools/loamset-view/recent_files.h"
#include "tools/loamset-view/series_tree.h"

namespace loamset_view {

namespace {

const QString kProgramName = QStringLiteral("Loamset View");

// The local file a drop carries, or "" when it carries none.
QString DroppedFile(const QMimeData* mime) {
    if (mime == nullptr) return {};
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) return url.toLocalFile();
    }
    return {};
}

void RefuseDrops(QAbstractScrollArea* area) {
    // Drops on the views reach the window, which opens the file.
    area->setAcceptDrops(false);
    area->viewport()->setAcceptDrops(false);
}

}  // namespace

QString AboutText() {
    return QStringLiteral(
               "Loamset View %1\n"
               "Shows the readings of a data record file that Loamer retrieved from a TQ4 meter, "
               "read through the Loamset dataset component.\n\n"
               "%2\n\n"
               "This program links Qt Charts and is therefore distributed under the GNU General Public "
               "License version 3. It comes with ABSOLUTELY NO WARRANTY; see "
               "https://www.gnu.org/licenses/gpl-3.0.html.")
        .arg(QStringLiteral(LOAMER_FILE_VERSION), QStringLiteral(LOAMER_COPYRIGHT));
}

ViewerWindow::ViewerWindow(const ComponentSource& source, QWidget* parent)
    : QMainWindow(parent),
      source_(source),
      tree_(new SeriesTree),
      model_(new ReadingsModel(this)),
      chartView_(new ReadingsChartView),
      table_(new QTableView),
      sideSplitter_(new QSplitter(Qt::Vertical)),
      mainSplitter_(new QSplitter(Qt::Horizontal)),
      recentMenu_(nullptr),
      summary_(new QLabel) {
    setWindowTitle(kProgramName);
    setAcceptDrops(true);

    table_->setModel(model_);
    table_->setAlternatingRowColors(true);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    RefuseDrops(table_);
    RefuseDrops(tree_);
    RefuseDrops(chartView_);

    sideSplitter_->addWidget(chartView_);
    sideSplitter_->addWidget(table_);
    sideSplitter_->setStretchFactor(0, 3);
    sideSplitter_->setStretchFactor(1, 2);
    mainSplitter_->addWidget(tree_);
    mainSplitter_->addWidget(sideSplitter_);
    mainSplitter_->setStretchFactor(0, 0);
    mainSplitter_->setStretchFactor(1, 1);
    setCentralWidget(mainSplitter_);
    resize(1280, 900);
    mainSplitter_->setSizes({270, 1010});
    sideSplitter_->setSizes({620, 240});

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* open = file->addAction(QStringLiteral("&Open..."), this, &ViewerWindow::ChooseFile);
    open->setShortcut(QKeySequence::Open);
    recentMenu_ = file->addMenu(QStringLiteral("&Recent Files"));
    connect(recentMenu_, &QMenu::aboutToShow, this, &ViewerWindow::FillRecentMenu);
    FillRecentMenu();
    exportCsv_ = file->addAction(QStringLiteral("&Export Readings as CSV..."), this, &ViewerWindow::ExportCsv);
    exportCsv_->setEnabled(false);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* reset = view->addAction(QStringLiteral("&Show Everything"), this,
                                     [this] { chartView_->readingsChart()->ResetView(); });
    reset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About Loamset View"), this,
                    [this] { QMessageBox::about(this, QStringLiteral("About Loamset View"), AboutText()); });

    statusBar()->addPermanentWidget(summary_);
    statusBar()->showMessage(QStringLiteral("Open a data record file with File > Open, or drop one here."));
    connect(tree_, &SeriesTree::CheckedChanged, this, &ViewerWindow::UpdateChart);
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::ChooseFile() {
    const QString start = shownPath_.isEmpty() ? QString() : QFileInfo(shownPath_).absolutePath();
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Data Record File"), start,
                                                      QStringLiteral("Data record files (*.csv *.CSV);;All files (*)"));
    if (!path.isEmpty()) OpenFile(path);
}

void ViewerWindow::OpenFile(const QString& path) {
    if (job_ != nullptr) {
        // The newer choice wins; the older load ends unseen.
        job_->disconnect(this);
        job_->Cancel();
        job_->deleteLater();
        job_ = nullptr;
    }
    if (progress_ != nullptr) progress_->deleteLater();
    cancelRequested_ = false;

    job_ = new LoadJob(path, source_, this);
    progress_ = new QProgressDialog(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()),
                                    QStringLiteral("Cancel"), 0, 1000, this);
    progress_->setWindowTitle(kProgramName);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(300);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    connect(progress_, &QProgressDialog::canceled, this, [this] {
        cancelRequested_ = true;
        if (job_ != nullptr) job_->Cancel();
        if (progress_ != nullptr) progress_->hide();
    });
    connect(job_, &LoadJob::Progress, this, [this](qint64 done, qint64 total) {
        if (progress_ != nullptr && !cancelRequested_ && total > 0) {
            progress_->setValue(static_cast<int>(std::min<qint64>(done * 1000 / total, 999)));
        }
    });
    connect(job_, &LoadJob::Finished, this, &ViewerWindow::LoadFinished);
    statusBar()->showMessage(QStringLiteral("Reading %1...").arg(QDir::toNativeSeparators(path)));
    job_->Start();
}

void ViewerWindow::LoadFinished() {
    LoadJob* job = job_;
    job_ = nullptr;
    if (progress_ != nullptr) {
        progress_->hide();
        progress_->deleteLater();
    }
    const QString path = job->file();
    const LoadOutcome outcome = job->outcome();
    const std::shared_ptr<const LoadedFile> result = job->result();
    job->deleteLater();

    if (cancelRequested_ || outcome.cancelled) {
        // Whatever the worker got to, the user asked to keep what was shown.
        statusBar()->showMessage(QStringLiteral("Reading %1 was cancelled.").arg(QFileInfo(path).fileName()), 8000);
        emit LoadEnded(false);
        return;
    }
    if (result) {
        Show(result, path);
        RememberRecentFile(path);
    } else {
        statusBar()->clearMessage();
    }
    // A file damaged partway is shown up to the damage, and the message says so.
    if (!outcome.ok()) {
        QMessageBox::warning(this, kProgramName, QString::fromStdString(DescribeFailure(path.toStdString(), outcome)));
    }
    emit LoadEnded(result != nullptr);
}

void ViewerWindow::Show(std::shared_ptr<const LoadedFile> file, const QString& path) {
    shown_ = std::move(file);
    shownPath_ = path;
    setWindowTitle(QStringLiteral("%1 - %2").arg(QFileInfo(path).fileName(), kProgramName));
    setWindowFilePath(path);
    tree_->SetSeries(shown_->data.series);
    model_->SetFile(shown_);
    table_->resizeColumnsToContents();
    UpdateChart();
    exportCsv_->setEnabled(true);
    summary_->setText(QStringLiteral("%1 records, %2 series")
                          .arg(shown_->data.records.size())
                          .arg(shown_->data.series.size()));
    // The component reads a file without a reading line as an empty data record file.
    statusBar()->showMessage(shown_->data.records.empty()
                                 ? QStringLiteral("%1 holds no readings.").arg(QFileInfo(path).fileName())
                                 : QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

void ViewerWindow::UpdateChart() {
    const std::vector<int> checked = tree_->CheckedSeries();
    chartView_->readingsChart()->Show(shown_, checked);
    // The table shows the same series as the chart, beside the time.
    const int columns = model_->columnCount();
    for (int column = 1; column < columns; ++column) table_->setColumnHidden(column, true);
    for (const int series : checked) table_->setColumnHidden(ReadingsModel::ColumnOf(series), false);
}

void ViewerWindow::FillRecentMenu() {
    recentMenu_->clear();
    const QStringList files = RecentFiles();
    for (const QString& path : files) {
        recentMenu_->addAction(QDir::toNativeSeparators(path), this, [this, path] { OpenFile(path); });
    }
    if (files.isEmpty()) recentMenu_->addAction(QStringLiteral("(none)"))->setEnabled(false);
}

void ViewerWindow::ExportCsv() {
    if (!shown_) return;
    const QString proposed = QFileInfo(shownPath_).completeBaseName() + QStringLiteral("-readings.csv");
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Readings"), proposed,
                                                      QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    if (!out || !WriteCsv(shown_->data, out) || !out.flush()) {
        QMessageBox::warning(this, kProgramName,
                             QStringLiteral("The readings could not be written to %1.").arg(QDir::toNativeSeparators(path)));
    }
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    OpenFile(path);
}

}  // namespace loamset_view
