// Settings, Clock: CSetTime chooses a date and time for the meter (the computer's own, kept
// current while "Set to System" is ticked, or one picked by hand), and ClockCommand runs it
// between the meter checks.
#pragma once

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QDateEdit;
class QTimeEdit;

namespace loamer {

class ClockDisplay;

class CSetTime final : public QDialog {
    Q_OBJECT

public:
    // display: where the new meter time is shown once it is set (the main dialog).
    explicit CSetTime(ClockDisplay& display, QWidget* parent = nullptr);

public slots:
    // OK: sends the chosen time, reports a failure, and closes with OK either way.
    void accept() override;
    // Cancel: sends nothing.
    void reject() override;

private slots:
    void OnSetToSystem();
    void OnPickerTimer();

private:
    void StopPickerTimer();

    ClockDisplay& display_;
    QCheckBox* setToSystem_ = nullptr;
    QDateEdit* date_ = nullptr;
    QTimeEdit* time_ = nullptr;
    QTimer pickerTimer_;
};

// The Clock command: wake the meter, check that its clock answers, run CSetTime, and refresh the
// display after a set. owner parents the dialog.
void ClockCommand(ClockDisplay& display, QWidget* owner);

}  // namespace loamer
