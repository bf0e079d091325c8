#pragma once
#include <QObject>
#include <QUrl>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "files/association.h"

namespace tessaly {
class Shell;
}

namespace tessaly::app {

class MainWindow;
struct AppContext;

// Where the About page's link buttons lead, aboutlink1 .. aboutlink8.
extern const std::array<std::string_view, 8> kAboutAddresses;

// Opens an address in the user's browser or mail program (opener: QDesktopServices when
// empty). Where none starts, the address goes to the clipboard and a box shows it, so
// the user can still get there; false then.
bool openaddress(Shell& shell, const QString& address, const std::function<bool(const QUrl&)>& opener = {});

// Gives the Settings page's Associate button and the About page's link buttons their work.
class DesktopBinding : public QObject {
    Q_OBJECT
public:
    DesktopBinding(MainWindow& form, const AppContext& context);

    // Opens a link button's address, true when a browser or mail program took it; empty,
    // the desktop's own way. Tests look at what would be opened instead.
    std::function<bool(const QUrl&)> openurl;
    // Where Associate registers ($XDG_DATA_HOME) and how it runs the cache tools.
    std::filesystem::path datahome;
    ToolRunner tools = runtool;

public slots:
    void associatebuttonClick();
    void startbrowser(const QString& address);

private:
    MainWindow& m_form;
    std::string m_program;
};

} // namespace tessaly::app
