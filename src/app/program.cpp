#include "app/program.h"

#include <QApplication>

namespace tessaly::app {

Program::Program(const AppContext& context) {
    QApplication::setApplicationName("tessaly92");
    m_mainwindow = std::make_unique<MainWindow>(context);
    // First: the other bindings read the Settings page as it shows the settings file.
    m_settings = new SettingsBinding(*m_mainwindow);
    m_receive = new ReceiveBinding(*m_mainwindow, context);
    m_send = new SendBinding(*m_mainwindow, *m_receive);
    m_screenshot = new ScreenshotBinding(*m_mainwindow);
    m_fargo = new FargoBinding(*m_mainwindow, *m_receive, context);
    m_desktop = new DesktopBinding(*m_mainwindow, context);
    m_calcpanel = new CalculatorPanel(*m_mainwindow);
    m_textform = std::make_unique<TextEditor>(m_mainwindow.get(), m_receive);
    m_remotewindow = std::make_unique<RemoteWindow>(m_mainwindow->settingsfile(), *m_mainwindow);
    m_infoform = std::make_unique<InfoWindow>(m_mainwindow->settingsfile(), m_mainwindow->frameGeometry());
    m_scrform = std::make_unique<ScreenshotWindow>(m_mainwindow->settingsfile());
    m_mainwindow->setsecondarywindows(m_textform.get(), m_remotewindow.get(), m_infoform.get(), m_scrform.get());
    m_browser = new BrowserBinding(*m_mainwindow, m_infoform.get(), m_scrform.get());
    m_send->setbrowser(m_browser);
    m_mainwindow->shell().setdialogfolders(&m_mainwindow->settings().dialogfolders,
                                           [b = m_browser] { return b->folder().string(); });
    m_text = new TextBinding(*m_mainwindow, *m_textform, *m_receive, *m_browser);
}

Program::~Program() {
    // The secondary windows go first; the main window and the browser forget them before they do.
    m_send->setbrowser(nullptr);
    delete m_text;
    delete m_browser;
    m_mainwindow->setsecondarywindows(nullptr, nullptr, nullptr, nullptr);
}

void Program::start() { m_mainwindow->show(); }

} // namespace tessaly::app
