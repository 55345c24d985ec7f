#include "loamer/shell/qt_ui.h"

#include <QApplication>
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
