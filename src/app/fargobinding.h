#pragma once
#include <QObject>
#include <filesystem>
#include <string>

#include "transfers/fargoinstall.h"

namespace tessaly::app {

inline constexpr std::string_view kFargoTI92OnlyText =
    "FARGO runs on the TI-92 only: the calculator on the cable is a later model, so FARGO is not put on it.";

class MainWindow;
class ReceiveBinding;
struct AppContext;

// FARGO installation from the window: Put Fargo and Insert Fargo, and the FARGO and
// library folder fields of the Settings page with their browse buttons.
class FargoBinding : public QObject {
    Q_OBJECT
public:
    FargoBinding(MainWindow& form, ReceiveBinding& receive, const AppContext& context);

    FargoSetup setup() const;
    // Insert Fargo on one backup file; the file browser's selection arrives here.
    void insertfargo(const std::filesystem::path& backup);

public slots:
    void fargobuttonClick();
    void insertfargobuttonClick();
    void fargodirbuttonClick();
    void librarydirbuttonClick();
    void fargodirChange();
    void librarydirChange();

private:
    MainWindow& m_form;
    ReceiveBinding& m_receive;
    std::filesystem::path m_programdir;
};

// A folder field's text on leaving it: a trailing "/" added; empty stays empty.
std::string withslash(const std::string& folder);

} // namespace tessaly::app
