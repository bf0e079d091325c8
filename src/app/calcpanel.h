#pragma once
#include <QObject>
#include <optional>

#include "transfers/flash.h"

class QDateTimeEdit;
class QDialog;
class QLabel;
class QPushButton;

namespace tessaly::app {

class MainWindow;

// The Settings page's "Calculator..." panel: the calculator's version, its ID list, a
// backup of its certificate and its clock, read or set. Each action is a transfer of its
// own; what the model or its system lacks is refused with the core's reason, which the
// window shows as any failed transfer.
class CalculatorPanel : public QObject {
    Q_OBJECT
public:
    explicit CalculatorPanel(MainWindow& form);

    QDialog* dialog() const { return m_dialog; }

public slots:
    void open();
    void readversion();
    void idlist();
    void savecertificate();
    void readclock();
    void setclocknow();
    void setclockchosen();

private:
    void build();
    // The clock read first: setting it keeps the calculator's own date and time formats.
    void setclockto(int year, int month, int day, int hour, int minute, int second);
    // The clock's reading, or why there is none.
    void showclock(const std::optional<CalculatorClock>& clock);

    MainWindow& m_form;
    QDialog* m_dialog = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_idlist = nullptr;
    QLabel* m_clock = nullptr;
    QDateTimeEdit* m_chosen = nullptr;
};

} // namespace tessaly::app
