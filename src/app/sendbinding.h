#pragma once
#include <QObject>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/receivepage.h"
#include "transfers/send.h"

namespace tessaly::app {

class MainWindow;
class ReceiveBinding;
class BrowserBinding;

// Gives the sending buttons their behaviour: Send, Install and S&end on the "Open
// variables" page (they act on the browser's selected files once it lists some), files
// dropped on the window or named on the command line, and Get backup.
class SendBinding : public QObject {
    Q_OBJECT
public:
    SendBinding(MainWindow& form, ReceiveBinding& receive);

    // Sends the files the window is asked to send (tests take this connection away and
    // put it back).
    void bindsendfilelist();
    // The file browser whose folder and selection Send, Install and S&end act on.
    void setbrowser(const BrowserBinding* browser) { m_browser = browser; }

public slots:
    void sendfilebuttonClick();
    void sendvariablesbuttonClick();
    void installbuttonClick();
    void backupbuttonClick();
    void sendfiles(const std::vector<std::string>& paths, bool ask, bool install);

private:
    SendPlaces places() const;
    std::vector<std::string> selectedfiles() const;
    void sendselected(bool install);
    // Asks before each backup among names is restored; false at the first No.
    bool restoreagreed(const std::vector<std::string>& names);
    // Where Get backup saves the calculator's kind of backup file (stem: the name asked for
    // before, when it turned out to be another kind); nullopt when not given or refused.
    std::optional<std::filesystem::path> backupfile(const std::string& comment, const std::string& stem);
    bool keep(IncomingPackage& incoming);

    MainWindow& m_form;
    ReceiveBinding& m_receive;
    const BrowserBinding* m_browser = nullptr;
};

} // namespace tessaly::app
