#pragma once
#include <QImage>
#include <QObject>
#include <QRect>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "files/screenpicture.h"

class QPrinter;
class QToolButton;

namespace tessaly {
struct CalculatorModel;
struct ScreenshotResult;
}

namespace tessaly::app {

class MainWindow;

// Where "Download FCamera" leads: the FCamera program file on the product's web site.
inline constexpr std::string_view kFCameraAddress = "https://tessaly92.example/fcamera.92p";

inline constexpr std::string_view kSaveNoteText =
    "Note!\rIf you save the screenshot as the same name as a variable the screenshot will be associated with the "
    "variable and show up everytime you click that variable!";
// FCamera runs under FARGO, and FARGO on the TI-92 alone.
inline constexpr std::string_view kFCameraTI92OnlyText =
    "FARGO runs on the TI-92 only: the calculator on the cable is a later model, so no FCamera sends its screen. "
    "Get Screen takes it.";
inline constexpr std::string_view kPrintingText = "Printing screenshot..";
inline constexpr std::string_view kPrintedText = "Printing finnished!";
inline constexpr std::string_view kNotPrintedText = "The screenshot was not printed.";
// The save dialog that takes the page when there is no printer.
inline constexpr std::string_view kPrintToPdfTitle = "No printer: print the screenshot into a PDF file";

// The screenshot page's help text for this calculator (nullptr: not known yet, the TI-92's
// text): FARGO's part only where FARGO runs.
std::string screenshothint(const CalculatorModel* model);

// Where the picture goes on a page W printer pixels wide, printed at 1 / (size index + 1)
// of the width. The height steps by whole multiples of 128, so printouts keep the size
// earlier versions gave them.
QRect printrect(int pagewidth, int sizeindex);

// Gives the "Screenshot" page its behaviour: Get Screen and Fargo scr. draw into the
// screenshot image, which Save to file, Copy scr. and Print take from there.
class ScreenshotBinding : public QObject {
    Q_OBJECT
public:
    explicit ScreenshotBinding(MainWindow& form);

    // The screenshot image; nullopt until the first screenshot.
    const std::optional<ScreenPicture>& picture() const { return m_picture; }
    QImage image() const;
    // Tests print to a file: this prepares the printer before the job starts.
    std::function<void(QPrinter&)> prepareprinter;
    // Whether the desktop has a default printer; without one Print offers a PDF file.
    std::function<bool()> printerready;
    // Where the last print put the picture on the paper, in printer pixels from its corner.
    QRect lastprintrect() const { return m_lastprintrect; }

public slots:
    void getscreenbuttonClick();
    void fargoscreenbuttonClick();
    void savescreenbuttonClick();
    void copyscreenbuttonClick();
    void printbuttonClick();
    void fcamerabuttonClick();
    // The demo control: the virtual calculator's FCamera streams its screen in this mode.
    void vcalcstream(int mode);
    // The demo control names the calculator chosen or answering.
    void nametexts();

private:
    void show(const ScreenPicture& picture);
    void showarrived(const ScreenshotResult& result);

    MainWindow& m_form;
    std::optional<ScreenPicture> m_picture;
    QRect m_lastprintrect;
    QToolButton* m_vcalcbutton = nullptr;
};

} // namespace tessaly::app
