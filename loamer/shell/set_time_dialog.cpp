#include "loamer/shell/set_time_dialog.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QEvent>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimeEdit>
#include <algorithm>

#include "loamer/link/meter_protocol.h"
#include "loamer/link/status_queries.h"
#include "loamer/link/ui.h"
#include "loamer/shell/dialog_units.h"
#include "loamer/shell/qt_ui.h"
#include "loamer/upload/meter_clock.h"

namespace loamer {

namespace {

constexpr int kPickerPeriodMs = 500;

// The locale's long time format without its time zone: the meter keeps local time only.
QString TimePickerFormat() {
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    if (!format.contains(QLatin1Char('s'))) format = QStringLiteral("HH:mm:ss");
    return format;
}

// Lines the calendar drop-down's right edge up with the date picker's: Qt opens it under the
// picker's left edge, so it is moved each time it shows, as far left as the screen allows.
class RightAlignedPopup final : public QObject {
public:
    explicit RightAlignedPopup(QWidget* picker) : QObject(picker), picker_(picker) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            auto* popup = static_cast<QWidget*>(watched);
            int left = picker_->mapToGlobal(QPoint(picker_->width(), 0)).x() - popup->width();
            if (const QScreen* screen = picker_->screen()) left = std::max(left, screen->availableGeometry().left());
            popup->move(left, popup->y());
        }
        return false;
    }

private:
    QWidget* picker_;
};

}  // namespace

CSetTime::CSetTime(ClockDisplay& display, QWidget* parent) : QDialog(parent), display_(display) {
    setWindowTitle(QStringLiteral("Set Time"));
    const DialogUnits du(font());
    setFixedSize(du.Size(290, 54));

    setToSystem_ = new QCheckBox(QStringLiteral("&Set to System"), this);
    setToSystem_->setObjectName(QStringLiteral("setToSystem"));
    setToSystem_->setGeometry(du.Rect(10, 8, 132, 12));

    date_ = new QDateEdit(this);
    date_->setObjectName(QStringLiteral("date"));
    date_->setGeometry(du.Rect(9, 30, 129, 14));
    date_->setCalendarPopup(true);
    auto* calendar = new QCalendarWidget;
    calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);  // no week numbers
    date_->setCalendarWidget(calendar);
    calendar->window()->installEventFilter(new RightAlignedPopup(date_));
    date_->setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));

    time_ = new QTimeEdit(this);
    time_->setObjectName(QStringLiteral("time"));
    time_->setGeometry(du.Rect(151, 30, 63, 14));
    time_->setDisplayFormat(TimePickerFormat());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setGeometry(du.Rect(233, 7, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setGeometry(du.Rect(233, 30, 50, 14));
    cancel->setAutoDefault(false);

    connect(ok, &QPushButton::clicked, this, &CSetTime::accept);
    connect(cancel, &QPushButton::clicked, this, &CSetTime::reject);
    connect(setToSystem_, &QCheckBox::clicked, this, &CSetTime::OnSetToSystem);
    pickerTimer_.setInterval(kPickerPeriodMs);
    connect(&pickerTimer_, &QTimer::timeout, this, &CSetTime::OnPickerTimer);

    // Opens with "Set to System" ticked and the pickers following the computer's clock.
    setToSystem_->setChecked(true);
    date_->setEnabled(false);
    time_->setEnabled(false);
    OnSetToSystem();
}

void CSetTime::OnSetToSystem() {
    const bool ticked = setToSystem_->isChecked();
    if (!ticked) {
        StopPickerTimer();
    } else if (!pickerTimer_.isActive()) {
        pickerTimer_.start();
        OnPickerTimer();
    }
    date_->setEnabled(!ticked);
    time_->setEnabled(!ticked);
}

void CSetTime::OnPickerTimer() {
    const ClockFields now = ComputerLocalTime();
    date_->setDate(QDate(now.year, now.month, now.day));
    time_->setTime(QTime(now.hour, now.minute, now.second));
}

void CSetTime::StopPickerTimer() { pickerTimer_.stop(); }

void CSetTime::accept() {
    StopPickerTimer();
    // The date from the date picker, the time of day from the time picker.
    const QDate date = date_->date();
    const QTime time = time_->time();
    ClockFields chosen;
    chosen.year = date.year();
    chosen.month = date.month();
    chosen.day = date.day();
    chosen.hour = time.hour();
    chosen.minute = time.minute();
    chosen.second = time.second();

    WaitCursorScope cursor;
    if (ErrorCode rc = SetMeterClock(chosen, UserDateOrder()); rc == ERR_NONE) {
        ShowMeterClock(display_);
    } else {
        ShowErrorReport(rc);
    }
    QDialog::accept();
}

void CSetTime::reject() {
    StopPickerTimer();
    QDialog::reject();
}

void ClockCommand(ClockDisplay& display, QWidget* owner) {
    WaitCursorScope cursor;
    // An unanswered handshake is reported, and the clock query below decides whether to go on.
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) ShowErrorReport(rc);

    unsigned char reply[kClockRecordSize] = {};
    if (ErrorCode rc = GetMeterClock(reply); rc != ERR_NONE) {
        ShowErrorReport(rc);
        return;
    }

    int result = QDialog::Rejected;
    {
        CSetTime dialog(display, owner);
        ArrowCursorScope arrow;
        result = dialog.exec();
    }
    if (result != QDialog::Accepted) return;

    if (ErrorCode rc = ConnectMeter(); rc == ERR_NONE) {
        RefreshClockDisplay(display);
    } else {
        ShowErrorReport(rc);
    }
}

}  // namespace loamer
