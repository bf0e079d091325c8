#pragma once
#include <QObject>

namespace tessaly::app {

class MainWindow;
struct Settings;

// The Settings page's behaviour: its controls show the settings read at start-up, the
// port list and the cable kind take effect as they change, "&Test" checks the calculator,
// and the page's state goes back into the settings when the window closes.
class SettingsBinding : public QObject {
    Q_OBJECT
public:
    explicit SettingsBinding(MainWindow& form);

public slots:
    void testbuttonClick();
    void portaddressboxChange(int index);
    void cablekindChange(int index);

private:
    void showsettings();
    void showcablechoice();
    void collect(Settings& settings) const;

    MainWindow& m_form;
};

} // namespace tessaly::app
