#include "loamer/shell/qt_ui.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QStringDecoder>
#include <algorithm>
#include <cstdio>

#include "loamer/product.h"

namespace loamer {

namespace {

QMessageBox::Icon IconFor(BoxStyle style) {
    switch (style) {
    case BoxStyle::Plain: return QMessageBox::NoIcon;
    case BoxStyle::Information: return QMessageBox::Information;
    case BoxStyle::Exclamation: return QMessageBox::Warning;
    case BoxStyle::Error: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// Installed on the application for one pump: keys become the abort request or nothing.
class KeyGate final : public QObject {
public:
    explicit KeyGate(QWidget* modal) : modal_(modal) {}

    bool escaped = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
            return false;
        if (QApplication::activeModalWidget() != modal_) return false;
        // Accepting the override keeps menu mnemonics and shortcuts from firing.
        if (type == QEvent::ShortcutOverride) event->accept();
        if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) escaped = true;
        return true;
    }

private:
    QWidget* modal_;
};

}  // namespace

QString FromProgramText(std::string_view text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError()) return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList QtNameFilters(const char* filter) {
    const QStringList parts = QString::fromLatin1(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString text = parts[i].trimmed();
        if (text.isEmpty()) break;  // the closing "||"
        // The pair's own patterns stand in for those the description shows.
        if (const qsizetype open = text.lastIndexOf(QLatin1Char('(')); open > 0 && text.endsWith(QLatin1Char(')')))
            text = text.left(open).trimmed();
        QStringList patterns;
        for (const QString& listed : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString pattern = listed.trimmed();
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
            if (!pattern.isEmpty() && !patterns.contains(pattern)) patterns << pattern;
        }
        if (!patterns.isEmpty()) filters << text + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + u')';
    }
    return filters;
}

QtUi::QtUi(QWidget* owner, QProgressBar* bar) : owner_(owner), bar_(bar) {}

void QtUi::MessageBox(std::string_view text, BoxStyle style) {
    if (unattended_) {
        std::fprintf(stderr, "%s: %.*s\n", kProgramTitle, static_cast<int>(text.size()), text.data());
        return;
    }
    // The program's title, whatever the program file is called.
    QMessageBox box(IconFor(style), QString::fromLatin1(kProgramTitle), FromProgramText(text), QMessageBox::Ok,
                    owner_.data());
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    ArrowCursorScope arrow;
    box.exec();
}

void QtUi::BeginWaitCursor() {
    ++waitDepth_;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUi::RestoreWaitCursor() {
    if (waitDepth_ > 0 && QGuiApplication::overrideCursor()) QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
}

void QtUi::EndWaitCursor() {
    if (waitDepth_ == 0) return;
    --waitDepth_;
    QGuiApplication::restoreOverrideCursor();
}

void QtUi::SetProgressBar(QProgressBar* bar) { bar_ = bar; }

void QtUi::ProgressSetStep(int step) { step_ = step; }

void QtUi::ProgressSetPos(int pos) {
    if (bar_) bar_->setValue(std::clamp(pos, bar_->minimum(), bar_->maximum()));
}

void QtUi::ProgressShow() {
    if (bar_) bar_->show();
}

void QtUi::ProgressStep() {
    if (!bar_) return;
    int next = std::max(bar_->value(), bar_->minimum()) + step_;
    if (next > bar_->maximum()) next = bar_->minimum();
    bar_->setValue(next);
}

void QtUi::ProgressHide() {
    if (bar_) bar_->hide();
}

bool QtUi::ChooseSaveFile(const FileDialogOptions& options, std::string& path) { return ChooseFile(options, true, path); }

bool QtUi::ChooseOpenFile(const FileDialogOptions& options, std::string& path) { return ChooseFile(options, false, path); }

bool QtUi::ChooseFile(const FileDialogOptions& options, bool save, std::string& path) {
    if (unattended_) return false;
    QFileDialog dialog(owner_.data(), save ? QStringLiteral("Save As") : QStringLiteral("Open"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(save && options.confirmOverwrite));
    // "*.CSV" lists readings.csv as well: names on this system differ in case.
    QDir::Filters entries = dialog.filter();
    entries.setFlag(QDir::CaseSensitive, false);
    dialog.setFilter(entries);
    dialog.setNameFilters(QtNameFilters(options.filter));
    const QString extension = QString::fromLatin1(options.defaultExtension);
    dialog.setDefaultSuffix(extension);
    dialog.setDirectory(lastFolder_.isEmpty() ? QDir::currentPath() : lastFolder_);
    if (*options.defaultName) {
        QString name = QString::fromLatin1(options.defaultName);
        if (!extension.isEmpty() && !name.contains(u'.')) name += u'.' + extension;
        dialog.selectFile(name);
    }

    ArrowCursorScope arrow;
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    lastFolder_ = QFileInfo(chosen.first()).absolutePath();
    path = QFile::encodeName(chosen.first()).toStdString();
    // Painted now, so that the closed dialog leaves no trace during the long operation that
    // follows a choice.
    if (owner_) owner_->repaint();
    return true;
}

bool QtUi::PumpMessages() {
    if (QCoreApplication::instance()) {
        KeyGate gate(QApplication::activeModalWidget());
        QCoreApplication::instance()->installEventFilter(&gate);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::instance()->removeEventFilter(&gate);
        if (gate.escaped) return true;
    }
    return abortRequested_;
}

ArrowCursorScope::ArrowCursorScope() {
    if (QGuiApplication::overrideCursor()) {
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        pushed_ = true;
    }
}

ArrowCursorScope::~ArrowCursorScope() {
    if (pushed_) QGuiApplication::restoreOverrideCursor();
}

}  // namespace loamer
