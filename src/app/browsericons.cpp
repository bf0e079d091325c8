#include "app/browsericons.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <array>

namespace tessaly::app {

namespace {

// The pictures of the file list, drawn here: a page, marked by what the file holds.
QIcon drawicon(BrowserIcon kind) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    auto page = [&](int dx, int dy) {
        const QPolygon outline({QPoint(2 + dx, 1 + dy), QPoint(9 + dx, 1 + dy), QPoint(12 + dx, 4 + dy),
                                QPoint(12 + dx, 14 + dy), QPoint(2 + dx, 14 + dy)});
        p.setPen(QColor(70, 70, 70));
        p.setBrush(Qt::white);
        p.drawPolygon(outline);
    };
    auto letter = [&](const char* text, QColor colour) {
        QFont f = QApplication::font();
        f.setPixelSize(9);
        f.setBold(true);
        p.setFont(f);
        p.setPen(colour);
        p.drawText(QRect(2, 4, 11, 10), Qt::AlignCenter, QString::fromLatin1(text));
    };
    auto lines = [&](QColor colour) {
        p.setPen(colour);
        for (int y = 5; y <= 12; y += 2) p.drawLine(4, y, 10, y);
    };
    switch (kind) {
    case BrowserIcon::Plain: page(0, 0); break;
    case BrowserIcon::FargoLibrary: page(0, 0); letter("L", QColor(0, 100, 0)); break;
    case BrowserIcon::FargoProgram: page(0, 0); letter("F", QColor(190, 0, 0)); break;
    case BrowserIcon::Program: page(0, 0); letter("P", QColor(0, 0, 170)); break;
    case BrowserIcon::Text: page(0, 0); lines(QColor(120, 120, 120)); break;
    case BrowserIcon::TextVariable: page(0, 0); lines(QColor(0, 0, 170)); break;
    case BrowserIcon::Flash:
        // A chip: what the file goes into.
        p.setPen(QColor(70, 70, 70));
        for (int x = 4; x <= 11; x += 2) {
            p.drawLine(x, 1, x, 3);
            p.drawLine(x, 12, x, 14);
        }
        p.setBrush(QColor(40, 40, 40));
        p.drawRect(2, 3, 11, 9);
        p.setPen(QColor(230, 180, 0));
        p.drawLine(9, 5, 6, 8);
        p.drawLine(6, 8, 9, 8);
        p.drawLine(9, 8, 6, 11);
        break;
    case BrowserIcon::Group:
        page(2, 0);
        page(0, 1);
        letter("G", QColor(120, 0, 120));
        break;
    }
    return QIcon(pixmap);
}

} // namespace

const QIcon& browsericon(BrowserIcon kind) {
    static const std::array<QIcon, kBrowserIconCount> icons = [] {
        std::array<QIcon, kBrowserIconCount> a;
        for (int i = 0; i < kBrowserIconCount; ++i) a[static_cast<std::size_t>(i)] = drawicon(static_cast<BrowserIcon>(i));
        return a;
    }();
    return icons[static_cast<std::size_t>(kind)];
}

} // namespace tessaly::app
