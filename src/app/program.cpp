#include "app/program.h"

#include <QApplication>

namespace tessaly::app {

Program::Program(const AppContext& context) {
    QApplication::setApplicationName("tessaly92");
    m_form1 = std::make_unique<MainWindow>(context);
    m_receive = new ReceiveBinding(*m_form1, context);
    m_send = new SendBinding(*m_form1, *m_receive);
    m_screenshot = new ScreenshotBinding(*m_form1);
    m_fargo = new FargoBinding(*m_form1, *m_receive, context);
    m_desktop = new DesktopBinding(*m_form1, context);
    m_textform = std::make_unique<TextEditor>(m_form1.get(), m_receive);
    m_form4 = std::make_unique<RemoteWindow>(m_form1->settingsfile(), *m_form1);
    m_infoform = std::make_unique<InfoWindow>(m_form1->settingsfile());
    m_scrform = std::make_unique<ScreenshotWindow>(m_form1->settingsfile());
    m_form1->setsecondarywindows(m_textform.get(), m_form4.get(), m_infoform.get(), m_scrform.get());
    m_browser = new BrowserBinding(*m_form1, m_infoform.get(), m_scrform.get());
    m_send->setbrowser(m_browser);
    m_text = new TextBinding(*m_form1, *m_textform, *m_receive, *m_browser);
}

Program::~Program() {
    // The secondary windows go first; the main window and the browser forget them before they do.
    m_send->setbrowser(nullptr);
    delete m_text;
    delete m_browser;
    m_form1->setsecondarywindows(nullptr, nullptr, nullptr, nullptr);
}

void Program::start() { m_form1->show(); }

} // namespace tessaly::app
