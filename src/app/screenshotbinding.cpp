#include "app/screenshotbinding.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/desktopbinding.h"
#include "app/mainwindow.h"
#include "link/simulatedcalculator.h"
#include "transfers/readiness.h"
#include "transfers/screenshot.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
constexpr int kDefaultSizeIndex = 1;  // half the page width
constexpr qreal kPdfMargin = 20;      // millimetres
} // namespace

std::string screenshothint(const CalculatorModel* model) {
    if (!model || model->runsfargo) return std::string(kScreenshotHelpText);
    return "press the Screenshot-button to copy the screen from the " + std::string(model->name) + " to the computer.";
}

QRect printrect(int pagewidth, int sizeindex) {
    const int part = pagewidth / (sizeindex + 1);
    const int right = part - 101;
    const int bottom = (part / kScreenWidth) * kScreenHeight - 101;
    return QRect(QPoint(1, 1), QPoint(right - 1, bottom - 1));  // right and bottom exclusive
}

ScreenshotBinding::ScreenshotBinding(MainWindow& form) : QObject(&form), m_form(form) {
    setObjectName("screenshotbinding");
    const ScreenshotPage& s = form.screenshot;
    connect(s.getscreenbutton, &QPushButton::clicked, this, &ScreenshotBinding::getscreenbuttonClick);
    connect(s.fargoscreenbutton, &QPushButton::clicked, this, &ScreenshotBinding::fargoscreenbuttonClick);
    connect(s.savescreenbutton, &QPushButton::clicked, this, &ScreenshotBinding::savescreenbuttonClick);
    connect(s.copyscreenbutton, &QPushButton::clicked, this, &ScreenshotBinding::copyscreenbuttonClick);
    connect(s.printbutton, &QPushButton::clicked, this, &ScreenshotBinding::printbuttonClick);
    connect(s.fcamerabutton, &QToolButton::clicked, this, &ScreenshotBinding::fcamerabuttonClick);
    s.fcamerabutton->setToolTip(qs(kFCameraAddress));
    for (QWidget* w : std::initializer_list<QWidget*>{s.getscreenbutton, s.fargoscreenbutton, s.fcamerabutton})
        w->setEnabled(true);
    // Save, Copy and Print have nothing to work on until a picture arrived; enabled before
    // it, Save wrote nothing and said nothing.
    for (QWidget* w : std::initializer_list<QWidget*>{s.savescreenbutton, s.copyscreenbutton, s.printbutton})
        w->setEnabled(false);
    printerready = [] { return !QPrinterInfo::defaultPrinter().isNull(); };

    // The demo control: only with a virtual calculator at the other end of the cable.
    if (form.virtualcalculator()) {
        m_vcalcbutton = new QToolButton;
        m_vcalcbutton->setObjectName("vcalcfcamera");
        nametexts();
        connect(&form, &MainWindow::calculatorchanged, this, &ScreenshotBinding::nametexts);
        m_vcalcbutton->setPopupMode(QToolButton::InstantPopup);
        auto* menu = new QMenu(m_vcalcbutton);
        menu->addAction(QStringLiteral("FCamera, black and white"), this, [this] { vcalcstream(1); });
        menu->addAction(QStringLiteral("FCamera, four greys"), this, [this] { vcalcstream(2); });
        m_vcalcbutton->setMenu(menu);
        if (auto* box = qobject_cast<QBoxLayout*>(s.fcamerabutton->parentWidget()->layout())) {
            for (QLayout* l : box->findChildren<QLayout*>()) {
                auto* inner = qobject_cast<QBoxLayout*>(l);
                const int at = l->indexOf(s.fcamerabutton);
                if (inner && at >= 0) {
                    inner->insertWidget(at, m_vcalcbutton);
                    break;
                }
            }
        }
    }
}

QImage ScreenshotBinding::image() const {
    if (!m_picture) return {};
    QImage img(m_picture->width, m_picture->height, QImage::Format_RGB32);
    for (int y = 0; y < m_picture->height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < m_picture->width; ++x) {
            const Rgb c = m_picture->colour(x, y);
            line[x] = qRgb(c.r, c.g, c.b);
        }
    }
    return img;
}

void ScreenshotBinding::show(const ScreenPicture& picture) {
    m_picture = picture;
    const ScreenshotPage& s = m_form.screenshot;
    s.screenpicture->setPixmap(QPixmap::fromImage(image()));
    for (QWidget* w : std::initializer_list<QWidget*>{s.savescreenbutton, s.copyscreenbutton, s.printbutton})
        w->setEnabled(true);
}

// A picture that did not arrive at all leaves the one before on show, and Save saves
// that one; one that stopped early is shown as far as it came.
void ScreenshotBinding::showarrived(const ScreenshotResult& result) {
    if (result.arrived > 0) show(result.picture);
}

void ScreenshotBinding::getscreenbuttonClick() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    showarrived(getscreenshot(m_form.link(), m_form.shell()));
}

// Listening while another transfer drives the link would mix two exchanges on one cable,
// so this button refuses like every other transfer button.
void ScreenshotBinding::fargoscreenbuttonClick() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    Link& link = m_form.link();
    if (!link.model().runsfargo) return link.faillink(kFCameraTI92OnlyText);
    QLabel* help = m_form.screenshot.hintlabel;
    help->setText(qs(kFCameraHelpText));
    m_form.shell().processmessages();
    const ScreenshotResult result = getfargoscreenshot(link, m_form.shell());
    showarrived(result);
    help->setText(qs(screenshothint(m_form.calculatormodel())));
    // Nothing came, and no calculator had answered yet: the one on the cable tells whether
    // an FCamera could have been there at all.
    TransferState& s = m_form.state();
    if (result.arrived > 0 || cancelled(s) || link.modelknown() || link.chosenmodel()) return;
    const std::string why = std::exchange(s.pendingerror, std::string());
    s.linkok = true;
    if (readinessexchange(link) && !link.model().runsfargo) return link.faillink(kFCameraTI92OnlyText);
    s.linkok = false;
    s.pendingerror = why;
}

void ScreenshotBinding::savescreenbuttonClick() {
    Shell& shell = m_form.shell();
    shell.messagebox(kSaveNoteText, "", Icon::Information, Buttons::Ok);
    FileDialogSpec spec;
    spec.defaultext = "bmp";
    spec.filename = "*.bmp";
    spec.filter = "Bitmaps|*.bmp|PNG pictures|*.png|JPEG pictures|*.jpg;*.jpeg|Other pictures|*.ppm;*.pgm;*.pbm;*.xpm;*.xbm";
    spec.title = "Save screenshot as..";
    const std::optional<std::string> path = shell.savedialog(spec);
    if (!path || !m_picture) return;
    std::string error;
    if (!savepicture(*path, *m_picture, &error)) shell.messagebox(error, "", Icon::Error, Buttons::Ok);
    shell.fileschanged(std::filesystem::path(*path).parent_path());
}

void ScreenshotBinding::copyscreenbuttonClick() {
    if (m_picture) QApplication::clipboard()->setImage(image());
}

// Straight to the default printer, as ever. Where there is none the page goes into a PDF
// file the user names, laid out the same way; the status line ends either way, where it
// used to stay on "Printing screenshot.." for good.
void ScreenshotBinding::printbuttonClick() {
    Shell& shell = m_form.shell();
    shell.setstatus(kPrintingText);
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(m_form.settingspage.portrait->isChecked() ? QPageLayout::Portrait : QPageLayout::Landscape);
    if (prepareprinter) {
        prepareprinter(printer);
    } else if (!printerready()) {
        FileDialogSpec spec;
        spec.defaultext = "pdf";
        spec.filename = "screenshot.pdf";
        spec.filter = "PDF files|*.pdf";
        spec.title = std::string(kPrintToPdfTitle);
        const std::optional<std::string> path = shell.savedialog(spec);
        if (!path) return shell.setstatus(kNotPrintedText);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(*path));
        // A printer keeps a margin it cannot print on, and the rectangle starts inside it;
        // a PDF page has none of its own, so it is given one.
        printer.setPageMargins(QMarginsF(kPdfMargin, kPdfMargin, kPdfMargin, kPdfMargin), QPageLayout::Millimeter);
    }
    QPainter painter;
    if (!painter.begin(&printer)) {
        shell.messagebox("The screenshot cannot be printed: no printer is ready.", "", Icon::Error, Buttons::Ok);
        return shell.setstatus(kNotPrintedText);
    }
    int index = m_form.settingspage.size->currentIndex();
    if (index < 0 || index > 3) index = kDefaultSizeIndex;
    const QRect target = printrect(printer.width(), index);
    m_lastprintrect = target.translated(printer.pageRect(QPrinter::DevicePixel).topLeft().toPoint());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (m_picture) painter.drawImage(target, image());
    painter.end();
    shell.setstatus(kPrintedText);
}

void ScreenshotBinding::nametexts() {
    const std::string name = m_form.calculatorname();
    m_vcalcbutton->setText(qs("Virtual " + name + " sends..."));
    m_vcalcbutton->setToolTip(qs("Let FCamera on the virtual " + name + " send its screen; then press Fargo scr."));
    // FCamera is a FARGO program: on a calculator FARGO does not run on, there is nothing to start.
    const CalculatorModel* model = m_form.calculatormodel();
    m_vcalcbutton->setVisible(!model || model->runsfargo);
}

void ScreenshotBinding::fcamerabuttonClick() { openaddress(m_form.shell(), qs(kFCameraAddress)); }

void ScreenshotBinding::vcalcstream(int mode) {
    SimulatedCalculator* calc = m_form.virtualcalculator();
    if (!calc) return;
    calc->fcamerastream(mode);
    m_form.shell().setstatus("FCamera on the virtual " + m_form.calculatorname() + " is sending: press Fargo scr.");
}

} // namespace tessaly::app
