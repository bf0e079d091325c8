#include "app/pictures.h"

#include <QImage>
#include <QPainter>

namespace tessaly::app {

namespace {

// Colours of the sixteen-colour palette the pictures keep to.
const QColor kBlack(0, 0, 0);
const QColor kDarkGrey(128, 128, 128);
const QColor kLightGrey(192, 192, 192);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kMaroon(128, 0, 0);
const QColor kScreen(0, 255, 0);
const QColor kNavy(0, 0, 128);

enum class Plugs { None, Out, In };

QPixmap draw(bool bright, Plugs plugs) {
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    // The body of a landscape calculator, its screen on the left and key rows on the right.
    p.fillRect(5, 6, 16, 12, kLightGrey);
    p.setPen(kBlack);
    p.drawRect(5, 6, 15, 11);
    p.fillRect(7, 8, 8, 6, bright ? kScreen : kDarkGrey);
    p.setPen(kBlack);
    p.drawRect(7, 8, 7, 5);
    for (int y = 8; y <= 14; y += 3)
        for (int x = 16; x <= 18; x += 2) p.fillRect(x, y, 1, 2, kNavy);
    p.fillRect(7, 15, 8, 1, kDarkGrey);
    if (plugs != Plugs::None) {
        const int out = plugs == Plugs::Out ? 0 : 2;
        // A plug on each side, with its cable.
        p.fillRect(out, 10, 4, 3, kRed);
        p.fillRect(out, 11, 1, 1, kMaroon);
        p.fillRect(21 + 2 - out, 10, 4, 3, kRed);
        p.fillRect(21 + 5 - out, 11, 1, 1, kMaroon);
        p.fillRect(0, 19, 26, 1, kWhite);
    }
    p.end();
    return QPixmap::fromImage(img);
}

} // namespace

QPixmap contactpicture() { return draw(true, Plugs::Out); }
QPixmap nocontactpicture() { return draw(false, Plugs::None); }
QPixmap busycontactpicture() { return draw(true, Plugs::In); }

} // namespace tessaly::app
