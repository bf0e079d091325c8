#pragma once
#include <memory>

#include "app/browserbinding.h"
#include "app/calcpanel.h"
#include "app/desktopbinding.h"
#include "app/fargobinding.h"
#include "app/mainwindow.h"
#include "app/receivebinding.h"
#include "app/screenshotbinding.h"
#include "app/sendbinding.h"
#include "app/settingsbinding.h"
#include "app/textbinding.h"
#include "app/windows.h"

namespace tessaly::app {

// The program: the application title and the five windows, created in their order
// (the main window first, so its settings are read before the others need its size).
class Program {
public:
    explicit Program(const AppContext& context);
    ~Program();

    MainWindow& mainwindow() { return *m_mainwindow; }
    TextEditor& textform() { return m_text ? m_text->current() : *m_textform; }
    RemoteWindow& remoteform() { return *m_remotewindow; }
    InfoWindow& infoform() { return *m_infoform; }
    ScreenshotWindow& scrform() { return *m_scrform; }
    SettingsBinding& settingsbinding() { return *m_settings; }
    ReceiveBinding& receivebinding() { return *m_receive; }
    SendBinding& sendbinding() { return *m_send; }
    ScreenshotBinding& screenshotbinding() { return *m_screenshot; }
    FargoBinding& fargobinding() { return *m_fargo; }
    BrowserBinding& browserbinding() { return *m_browser; }
    DesktopBinding& desktopbinding() { return *m_desktop; }
    TextBinding& textbinding() { return *m_text; }
    CalculatorPanel& calculatorpanel() { return *m_calcpanel; }

    // Shows the main window; start-up (check, listing, command line) follows from there.
    void start();

private:
    std::unique_ptr<MainWindow> m_mainwindow;
    std::unique_ptr<TextEditor> m_textform;
    std::unique_ptr<RemoteWindow> m_remotewindow;
    std::unique_ptr<InfoWindow> m_infoform;
    std::unique_ptr<ScreenshotWindow> m_scrform;
    SettingsBinding* m_settings = nullptr;  // owned by the main window
    ReceiveBinding* m_receive = nullptr;  // owned by the main window
    SendBinding* m_send = nullptr;        // owned by the main window
    ScreenshotBinding* m_screenshot = nullptr;  // owned by the main window
    FargoBinding* m_fargo = nullptr;      // owned by the main window
    BrowserBinding* m_browser = nullptr;  // owned by the main window
    DesktopBinding* m_desktop = nullptr;  // owned by the main window
    TextBinding* m_text = nullptr;        // owned by the main window
    CalculatorPanel* m_calcpanel = nullptr;  // owned by the main window
};

} // namespace tessaly::app
