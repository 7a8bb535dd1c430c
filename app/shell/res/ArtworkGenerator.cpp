// Draws the program's pictures, icons and cursors into a folder:
//     quorvel_artwork <folder>
// Run it when the artwork changes and commit the PNG files it writes; the program itself
// only loads them.
//     quorvel_artwork --desktop-icons <folder>
// draws the program's icon for the desktop instead, as an icon theme lays it out
// (<folder>/NxN/apps/quorvel.png and <folder>/scalable/apps/quorvel.svg); the build runs it.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QSvgGenerator>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kSlate(0x1B, 0x26, 0x33);
const QColor kSlateLight(0x2E, 0x40, 0x52);
const QColor kSteel(0x1F, 0x4E, 0x79);
const QColor kSteelLight(0x3A, 0x73, 0xA8);
const QColor kSignal(0xE0, 0x7B, 0x00);
const QColor kGreen(0x2E, 0x8B, 0x57);
const QColor kRed(0xC6, 0x28, 0x28);
const QColor kPaper(0xFA, 0xFA, 0xF7);
const QColor kInk(0x20, 0x20, 0x20);
const QColor kGrey(192, 192, 192);

QString g_folder;
int g_failures = 0;

void Save(const QImage& image, const QString& name) {
    QString path = g_folder + "/" + name;
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++g_failures;
    }
}

QFont Font(int pixelSize, int weight = QFont::Normal, const char* family = "DejaVu Sans") {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// A crimp force curve: a rise to a peak and a fall, x and y from 0 to 1.
double ForceCurve(double t, double peak = 0.55, double width = 0.17) {
    double rise = std::exp(-std::pow((t - peak) / width, 2.0));
    double shoulder = 0.35 * std::exp(-std::pow((t - peak + 0.22) / 0.09, 2.0));
    return std::min(1.0, rise + shoulder * (t < peak ? 1.0 : 0.0));
}

QPolygonF CurvePolygon(const QRectF& area, double peak, double width, double scale,
                       int points = 200) {
    QPolygonF poly;
    for (int i = 0; i <= points; ++i) {
        double t = static_cast<double>(i) / points;
        double y = ForceCurve(t, peak, width) * scale;
        poly << QPointF(area.left() + t * area.width(), area.bottom() - y * area.height());
    }
    return poly;
}

// ---------------------------------------------------------------- the splash (727 x 446)

void DrawSplash() {
    QImage image(727, 446, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, 446);
    bg.setColorAt(0, kSlate);
    bg.setColorAt(1, kSlateLight);
    p.fillRect(image.rect(), bg);

    // Graph paper under the curves.
    QRectF plot(372, 95, 323, 250);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    for (int x = 0; x <= 20; ++x) {
        p.drawLine(QPointF(plot.left() + x * plot.width() / 20, plot.top()),
                   QPointF(plot.left() + x * plot.width() / 20, plot.bottom()));
    }
    for (int y = 0; y <= 10; ++y) {
        p.drawLine(QPointF(plot.left(), plot.top() + y * plot.height() / 10),
                   QPointF(plot.right(), plot.top() + y * plot.height() / 10));
    }
    p.setPen(QPen(QColor(255, 255, 255, 120), 1.5));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());

    // Zone markers, the taught reference and the last crimp.
    p.setPen(QPen(QColor(255, 255, 255, 90), 1, Qt::DotLine));
    for (double z : {0.22, 0.42, 0.62, 0.80}) {
        p.drawLine(QPointF(plot.left() + z * plot.width(), plot.top()),
                   QPointF(plot.left() + z * plot.width(), plot.bottom()));
    }
    p.setPen(QPen(kSignal, 3));
    p.drawPolyline(CurvePolygon(plot, 0.55, 0.17, 0.86));
    p.setPen(QPen(QColor(255, 255, 255), 2));
    p.drawPolyline(CurvePolygon(plot, 0.56, 0.165, 0.83));
    p.setFont(Font(11));
    p.setPen(QColor(255, 255, 255, 170));
    p.drawText(QPointF(plot.left() + 6, plot.top() + 14), "force");
    p.drawText(QPointF(plot.right() - 44, plot.bottom() - 6), "stroke");
    p.setPen(kSignal);
    p.drawText(QPointF(plot.right() - 120, plot.top() + 14), "reference");
    p.setPen(Qt::white);
    p.drawText(QPointF(plot.right() - 120, plot.top() + 30), "last crimp");

    // The shared line: the controller and twelve analysers.
    double lineY = 58;
    p.setPen(QPen(QColor(255, 255, 255, 150), 2));
    p.drawLine(QPointF(40, lineY), QPointF(690, lineY));
    p.setFont(Font(9, QFont::Bold));
    for (int i = 0; i <= 12; ++i) {
        double x = 40 + i * (650.0 / 12);
        QRectF box(x - 9, lineY - 9, 18, 18);
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(i == 0 ? kSignal : kSteelLight);
        p.drawRoundedRect(box, 3, 3);
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignCenter, QString::number(i));
    }

    // Name and purpose.
    p.setPen(Qt::white);
    p.setFont(Font(76, QFont::Black));
    p.drawText(QPointF(38, 170), "ZARN");
    p.setFont(Font(28, QFont::Bold));
    p.drawText(QPointF(40, 210), "Network Controller");
    p.setPen(QColor(0xC8, 0xD3, 0xDE));
    p.setFont(Font(15));
    p.drawText(QPointF(41, 240), "Crimp-force analysers on one line:");
    p.drawText(QPointF(41, 260), "limits, force curves, batches and");
    p.drawText(QPointF(41, 280), "live production statistics.");

    // Footer.
    p.fillRect(QRectF(0, 392, 727, 54), QColor(0, 0, 0, 70));
    p.setPen(kSignal);
    p.fillRect(QRectF(0, 392, 727, 3), kSignal);
    p.setPen(Qt::white);
    p.setFont(Font(17, QFont::Bold));
    p.drawText(QPointF(40, 426), "Quorvel 1.0");
    p.setFont(Font(13));
    p.setPen(QColor(0xC8, 0xD3, 0xDE));
    p.drawText(QRectF(300, 392, 387, 54), Qt::AlignRight | Qt::AlignVCenter,
               "Velmora  \u00b7  57600 baud multi-drop line");
    p.end();
    Save(image, "splash102.png");
}

// ---------------------------------------------------------------- the background logo (275 x 141)

void DrawLogo() {
    QImage image(275, 141, QImage::Format_RGB32);
    image.fill(kGrey);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF plate(6.5, 6.5, 262, 128);
    // A raised steel plate on the grey.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 120, 120));
    p.drawRoundedRect(plate.translated(2, 2), 8, 8);
    QLinearGradient g(0, plate.top(), 0, plate.bottom());
    g.setColorAt(0, kSteelLight);
    g.setColorAt(1, kSteel);
    p.setBrush(g);
    p.setPen(QPen(QColor(230, 236, 242), 1));
    p.drawRoundedRect(plate, 8, 8);

    // The curve mark.
    QRectF mark(20, 22, 64, 62);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1));
    p.drawLine(mark.bottomLeft(), mark.bottomRight());
    p.drawLine(mark.bottomLeft(), mark.topLeft());
    p.setPen(QPen(kSignal, 3));
    p.drawPolyline(CurvePolygon(mark, 0.5, 0.2, 0.95, 60));
    p.setPen(QPen(Qt::white, 1.6));
    p.drawPolyline(CurvePolygon(mark, 0.52, 0.19, 0.9, 60));

    p.setPen(Qt::white);
    p.setFont(Font(36, QFont::Black));
    p.drawText(QRectF(92, 16, 170, 50), Qt::AlignLeft | Qt::AlignVCenter, "ZARN");
    p.setFont(Font(12, QFont::Bold));
    p.drawText(QRectF(94, 62, 170, 20), Qt::AlignLeft | Qt::AlignVCenter, "NETWORK CONTROLLER");
    p.fillRect(QRectF(20, 96, 235, 2), kSignal);
    p.setFont(Font(12));
    p.setPen(QColor(220, 228, 236));
    p.drawText(QRectF(20, 102, 235, 24), Qt::AlignLeft | Qt::AlignVCenter, "Quorvel");
    p.drawText(QRectF(20, 102, 235, 24), Qt::AlignRight | Qt::AlignVCenter, "Velmora");
    p.end();
    Save(image, "logo163.png");
}

// ---------------------------------------------------------------- About pictures

void DrawAboutPicture() {
    // 240 x 97: an analyser with its display, on the shared line.
    QImage image(240, 97, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, 97);
    bg.setColorAt(0, QColor(0xEE, 0xF2, 0xF6));
    bg.setColorAt(1, QColor(0xD5, 0xDD, 0xE6));
    p.fillRect(image.rect(), bg);

    p.setPen(QPen(kSlate, 2));
    p.drawLine(QPointF(0, 86), QPointF(240, 86));
    // The analyser housing.
    QRectF box(14, 10, 116, 68);
    p.setPen(QPen(kSlate, 1.5));
    p.setBrush(QColor(0x4A, 0x55, 0x60));
    p.drawRoundedRect(box, 6, 6);
    p.drawLine(QPointF(72, 78), QPointF(72, 86));
    // Its display with the last curve.
    QRectF screen(22, 17, 72, 46);
    p.setBrush(QColor(0x0E, 0x2A, 0x1A));
    p.setPen(QPen(QColor(0x10, 0x10, 0x10), 1));
    p.drawRect(screen);
    QRectF inner = screen.adjusted(4, 4, -4, -4);
    p.setPen(QPen(QColor(0xFF, 0xB3, 0x40), 1.2));
    p.drawPolyline(CurvePolygon(inner, 0.5, 0.2, 0.92, 50));
    p.setPen(QPen(QColor(0x6C, 0xF0, 0x9A), 1.4));
    p.drawPolyline(CurvePolygon(inner, 0.52, 0.19, 0.88, 50));
    // Lamps and keys.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3C, 0xE0, 0x6C));
    p.drawEllipse(QPointF(108, 24), 5, 5);
    p.setBrush(QColor(0x60, 0x20, 0x20));
    p.drawEllipse(QPointF(108, 40), 5, 5);
    p.setBrush(QColor(0xD0, 0xD4, 0xD8));
    p.drawRoundedRect(QRectF(100, 52, 16, 8), 2, 2);
    p.setPen(Qt::white);
    p.setFont(Font(9, QFont::Bold));
    p.drawText(QRectF(22, 63, 72, 14), Qt::AlignLeft | Qt::AlignVCenter, "ZARN");

    p.setPen(kSlate);
    p.setFont(Font(22, QFont::Black));
    p.drawText(QRectF(138, 10, 100, 30), Qt::AlignLeft | Qt::AlignVCenter, "Zarn");
    p.setFont(Font(11));
    p.drawText(QRectF(139, 40, 100, 16), Qt::AlignLeft | Qt::AlignVCenter, "crimp-force");
    p.drawText(QRectF(139, 55, 100, 16), Qt::AlignLeft | Qt::AlignVCenter, "analyser network");
    p.end();
    Save(image, "about146.png");
}

void DrawAboutBanner() {
    // 290 x 61: name, version and copyright.
    QImage image(290, 61, QImage::Format_RGB32);
    image.fill(QColor(0xF4, 0xF6, 0xF8));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRectF(0, 0, 6, 61), kSignal);
    p.setPen(kSteel);
    p.setFont(Font(15, QFont::Bold));
    p.drawText(QRectF(14, 2, 274, 22), Qt::AlignLeft | Qt::AlignVCenter, "Zarn Network Controller");
    p.setPen(kInk);
    p.setFont(Font(11));
    p.drawText(QRectF(14, 23, 274, 17), Qt::AlignLeft | Qt::AlignVCenter,
               "Quorvel version 1.0 with Lintaro 1.0");
    p.setPen(QColor(0x50, 0x58, 0x60));
    p.drawText(QRectF(14, 40, 274, 17), Qt::AlignLeft | Qt::AlignVCenter,
               "Copyright \u00a9 2026 Velmora. All rights reserved.");
    p.end();
    Save(image, "about133.png");
}

// ---------------------------------------------------------------- tool bar (11 x 17 x 16)

using CellPainter = std::function<void(QPainter&)>;

void Page(QPainter& p, QRectF r) {
    QPolygonF page;
    page << r.topLeft() << QPointF(r.right() - 3, r.top()) << QPointF(r.right(), r.top() + 3)
         << r.bottomRight() << r.bottomLeft();
    p.setPen(QPen(kInk, 1));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
}

void DrawToolbar() {
    std::vector<CellPainter> cells = {
        // Open: a folder.
        [](QPainter& p) {
            p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1));
            p.setBrush(QColor(0xF0, 0xC8, 0x40));
            p.drawRect(QRectF(1.5, 4.5, 12, 9));
            p.drawRect(QRectF(1.5, 3.5, 5, 2));
            QPolygonF lid;
            lid << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(13.5, 13.5)
                << QPointF(1.5, 13.5);
            p.setBrush(QColor(0xFF, 0xE0, 0x70));
            p.drawPolygon(lid);
        },
        // Save: a disk.
        [](QPainter& p) {
            p.setPen(QPen(QColor(0x10, 0x20, 0x40), 1));
            p.setBrush(kSteel);
            p.drawRect(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3.5, 1.5, 9, 6));
            p.setBrush(QColor(0xC0, 0xC8, 0xD0));
            p.drawRect(QRectF(4.5, 10.5, 7, 4));
            p.fillRect(QRectF(9, 11, 2, 3), kSlate);
        },
        // Print: a printer with a sheet.
        [](QPainter& p) {
            p.setPen(QPen(kInk, 1));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.setBrush(QColor(0xA0, 0xA8, 0xB0));
            p.drawRect(QRectF(1.5, 6.5, 13, 6));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 10.5, 7, 4));
            p.fillRect(QRectF(12, 8, 2, 1), kGreen);
        },
        // Print preview: a page under a magnifier.
        [](QPainter& p) {
            Page(p, QRectF(1.5, 1.5, 10, 13));
            p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
            for (int y = 4; y <= 12; y += 2) {
                p.drawLine(QPointF(3.5, y + 0.5), QPointF(9.5, y + 0.5));
            }
            p.setPen(QPen(kInk, 1.2));
            p.setBrush(QColor(0xD0, 0xE8, 0xFF, 200));
            p.drawEllipse(QPointF(10.5, 8.5), 3.5, 3.5);
            p.setPen(QPen(kInk, 2));
            p.drawLine(QPointF(13, 11), QPointF(15.5, 14.5));
        },
        // Refresh data: a curve on a page with a green download arrow.
        [](QPainter& p) {
            Page(p, QRectF(1.5, 1.5, 12, 13));
            p.setPen(QPen(kRed, 1));
            p.drawPolyline(CurvePolygon(QRectF(2.5, 4, 10, 9), 0.5, 0.22, 0.95, 20));
            p.setPen(Qt::NoPen);
            p.setBrush(kGreen);
            QPolygonF arrow;
            arrow << QPointF(11, 7) << QPointF(15, 7) << QPointF(15, 10) << QPointF(16.5, 10)
                  << QPointF(13, 14.5) << QPointF(9.5, 10) << QPointF(11, 10);
            p.drawPolygon(arrow);
        },
        // Reload all: two pages and a circular arrow.
        [](QPainter& p) {
            Page(p, QRectF(4.5, 0.5, 10, 11));
            Page(p, QRectF(1.5, 3.5, 10, 11));
            p.setPen(QPen(kGreen, 1.6));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(3.5, 6, 6, 6), 30 * 16, 280 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(kGreen);
            QPolygonF head;
            head << QPointF(8.5, 4.5) << QPointF(11.5, 7.5) << QPointF(8, 8.5);
            p.drawPolygon(head);
        },
        // Cascade: three overlapping windows.
        [](QPainter& p) {
            for (int i = 0; i < 3; ++i) {
                QRectF r(1.5 + i * 3, 1.5 + i * 3, 9, 8);
                p.setPen(QPen(kInk, 1));
                p.setBrush(Qt::white);
                p.drawRect(r);
                p.fillRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 0.5, 2), kSteel);
            }
        },
        // Tile horizontally: one window above the other.
        [](QPainter& p) {
            for (int i = 0; i < 2; ++i) {
                QRectF r(1.5, 1.5 + i * 7, 13, 6);
                p.setPen(QPen(kInk, 1));
                p.setBrush(Qt::white);
                p.drawRect(r);
                p.fillRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 0.5, 2), kSteel);
            }
        },
        // Tile vertically: side by side.
        [](QPainter& p) {
            for (int i = 0; i < 2; ++i) {
                QRectF r(1.5 + i * 7, 1.5, 6, 13);
                p.setPen(QPen(kInk, 1));
                p.setBrush(Qt::white);
                p.drawRect(r);
                p.fillRect(QRectF(r.left() + 0.5, r.top() + 0.5, r.width() - 0.5, 2), kSteel);
            }
        },
        // About: a question mark in a balloon.
        [](QPainter& p) {
            p.setPen(QPen(kSlate, 1));
            p.setBrush(QColor(0xFF, 0xF6, 0xC0));
            QPainterPath balloon;
            balloon.addRoundedRect(QRectF(1.5, 1.5, 13, 10), 3, 3);
            QPolygonF tail;
            tail << QPointF(4, 11) << QPointF(3, 15) << QPointF(8, 11);
            balloon.addPolygon(tail);
            p.drawPath(balloon.simplified());
            p.setPen(kSteel);
            p.setFont(Font(10, QFont::Black));
            p.drawText(QRectF(1.5, 1.5, 13, 10), Qt::AlignCenter, "?");
        },
        // Context help: an arrow with a question mark.
        [](QPainter& p) {
            QPolygonF arrow;
            arrow << QPointF(1.5, 1.5) << QPointF(1.5, 12.5) << QPointF(4, 10) << QPointF(6, 14.5)
                  << QPointF(7.5, 14) << QPointF(5.5, 9.5) << QPointF(9, 9.5);
            p.setPen(QPen(Qt::white, 1));
            p.setBrush(kInk);
            p.drawPolygon(arrow);
            p.setPen(kSteel);
            p.setFont(Font(11, QFont::Black));
            p.drawText(QRectF(8, 0, 9, 12), Qt::AlignCenter, "?");
        },
    };
    QImage strip(17 * static_cast<int>(cells.size()), 16, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        p.save();
        p.translate(17.0 * static_cast<double>(i), 0);
        p.setClipRect(QRect(0, 0, 17, 16));
        p.setRenderHint(QPainter::Antialiasing);
        cells[i](p);
        p.restore();
    }
    p.end();
    Save(strip, "toolbar128.png");
}

// ---------------------------------------------------------------- icons (32 and 16 pixels)

void DocumentPage(QPainter& p) {
    QPolygonF page;
    page << QPointF(5.5, 1.5) << QPointF(21.5, 1.5) << QPointF(27.5, 7.5) << QPointF(27.5, 30.5)
         << QPointF(5.5, 30.5);
    p.setPen(QPen(kInk, 1));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
    QPolygonF fold;
    fold << QPointF(21.5, 1.5) << QPointF(21.5, 7.5) << QPointF(27.5, 7.5);
    p.setBrush(QColor(0xD8, 0xDC, 0xE0));
    p.drawPolygon(fold);
}

void IconProgram(QPainter& p) {
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, kSteelLight);
    g.setColorAt(1, kSteel);
    p.setPen(QPen(kSlate, 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 5, 5);
    QRectF plot(5, 5, 22, 16);
    p.setPen(QPen(kSignal, 2.2));
    p.drawPolyline(CurvePolygon(plot, 0.5, 0.2, 0.95, 40));
    p.setPen(QPen(Qt::white, 1.4));
    p.drawPolyline(CurvePolygon(plot, 0.53, 0.19, 0.9, 40));
    p.setPen(QPen(Qt::white, 1.2));
    p.drawLine(QPointF(5, 26), QPointF(27, 26));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i == 0 ? kSignal : Qt::white);
        p.drawRect(QRectF(5.5 + i * 6.5, 24, 4, 4));
    }
}

void IconNetwork(QPainter& p) {
    DocumentPage(p);
    p.setPen(QPen(QColor(0xB0, 0xC4, 0xD8), 1));
    for (int x = 9; x <= 24; x += 5) {
        p.drawLine(QPointF(x + 0.5, 10), QPointF(x + 0.5, 27));
    }
    p.setPen(QPen(kSlate, 1.2));
    p.drawLine(QPointF(10, 14), QPointF(22, 14));
    p.drawLine(QPointF(10, 14), QPointF(10, 24));
    p.drawLine(QPointF(10, 24), QPointF(22, 24));
    p.setPen(QPen(kSlate, 1));
    for (QPointF c : {QPointF(10, 14), QPointF(22, 14), QPointF(10, 24), QPointF(22, 24)}) {
        p.setBrush(kSteelLight);
        p.drawRect(QRectF(c.x() - 2.5, c.y() - 2.5, 5, 5));
    }
}

void IconCurve(QPainter& p) {
    DocumentPage(p);
    QRectF plot(8, 9, 17, 18);
    p.setPen(QPen(kInk, 1));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.setPen(QPen(kRed, 1.4));
    p.drawPolyline(CurvePolygon(plot, 0.5, 0.22, 0.95, 40));
    p.setPen(QPen(kInk, 1.2));
    p.drawPolyline(CurvePolygon(plot, 0.54, 0.2, 0.85, 40));
}

void IconBatch(QPainter& p) {
    DocumentPage(p);
    QRectF plot(8, 9, 17, 18);
    p.setPen(QPen(kInk, 1));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.setPen(QPen(kGreen, 1, Qt::DotLine));
    p.drawLine(QPointF(plot.left(), 20), QPointF(plot.right(), 20));
    QPolygonF values;
    const double ys[] = {14, 12, 15, 11, 13, 12, 16, 13, 12, 14};
    for (int i = 0; i < 10; ++i) {
        values << QPointF(plot.left() + 1 + i * 1.8, ys[i]);
    }
    p.setPen(QPen(kRed, 1.3));
    p.drawPolyline(values);
}

// Three force curves over each other, in colours of the compare window's palette.
void IconCompare(QPainter& p) {
    DocumentPage(p);
    QRectF plot(8, 9, 17, 18);
    p.setPen(QPen(kInk, 1));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.setPen(QPen(QColor(0, 114, 178), 1.3));
    p.drawPolyline(CurvePolygon(plot, 0.46, 0.2, 0.95, 40));
    p.setPen(QPen(QColor(213, 94, 0), 1.3));
    p.drawPolyline(CurvePolygon(plot, 0.56, 0.2, 0.8, 40));
    p.setPen(QPen(QColor(0, 158, 115), 1.3));
    p.drawPolyline(CurvePolygon(plot, 0.66, 0.18, 0.62, 40));
}

// A trend over time with its alarm line dashed below: the history window.
void IconHistory(QPainter& p) {
    DocumentPage(p);
    QRectF plot(8, 9, 17, 18);
    p.setPen(QPen(kInk, 1));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.setPen(QPen(kRed, 1, Qt::DashLine));
    p.drawLine(QPointF(plot.left(), 21.5), QPointF(plot.right(), 21.5));
    QPolygonF trend;
    const double ys[] = {16, 14, 15, 12, 13, 11, 12, 10};
    for (int i = 0; i < 8; ++i) {
        trend << QPointF(plot.left() + 1.5 + i * 2.2, ys[i]);
    }
    p.setPen(QPen(QColor(0, 114, 178), 1.4));
    p.drawPolyline(trend);
}

void IconStats(QPainter& p) {
    DocumentPage(p);
    p.fillRect(QRectF(8, 9, 17, 4), kSteel);
    p.setPen(QPen(QColor(0x90, 0x98, 0xA0), 1));
    for (int y = 13; y <= 27; y += 4) {
        p.drawLine(QPointF(8, y + 0.5), QPointF(25, y + 0.5));
    }
    for (int x = 8; x <= 25; x += 6) {
        p.drawLine(QPointF(x + 0.5, 9), QPointF(x + 0.5, 27));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawEllipse(QPointF(11.5, 15.5), 1.6, 1.6);
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(11.5, 19.5), 1.6, 1.6);
}

void IconSerialPort(QPainter& p) {
    // A nine-pin connector with its cable.
    p.setPen(QPen(kSlate, 1.5));
    p.setBrush(QColor(0xB8, 0xC0, 0xC8));
    QPolygonF shell;
    shell << QPointF(2.5, 7.5) << QPointF(29.5, 7.5) << QPointF(26.5, 20.5) << QPointF(5.5, 20.5);
    p.drawPolygon(shell);
    p.setBrush(kSlate);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        p.drawEllipse(QPointF(7 + i * 4.5, 11.5), 1.4, 1.4);
    }
    for (int i = 0; i < 4; ++i) {
        p.drawEllipse(QPointF(9.25 + i * 4.5, 16.5), 1.4, 1.4);
    }
    p.setPen(QPen(kSteel, 3));
    p.setBrush(Qt::NoBrush);
    QPainterPath cable(QPointF(16, 21));
    cable.cubicTo(QPointF(16, 27), QPointF(24, 25), QPointF(28, 30));
    p.drawPath(cable);
}

void IconStation(QPainter& p, bool bHighlighted) {
    if (bHighlighted) {
        p.setPen(QPen(QColor(0x00, 0x55, 0xCC), 1.5));
        p.setBrush(QColor(0xFF, 0xE0, 0x60));
        p.drawRoundedRect(QRectF(0.75, 0.75, 30.5, 30.5), 4, 4);
    }
    // A C-frame crimping press with its analyser box.
    QColor frame = bHighlighted ? QColor(0x30, 0x40, 0x60) : QColor(0x50, 0x5A, 0x64);
    p.setPen(QPen(kSlate, 1));
    p.setBrush(frame);
    QPolygonF body;
    body << QPointF(6.5, 3.5) << QPointF(22.5, 3.5) << QPointF(22.5, 9.5) << QPointF(12.5, 9.5)
         << QPointF(12.5, 21.5) << QPointF(22.5, 21.5) << QPointF(22.5, 27.5) << QPointF(6.5, 27.5);
    p.drawPolygon(body);
    p.setBrush(kSteelLight);
    p.drawRect(QRectF(16.5, 9.5, 5, 6)); // the ram
    p.setBrush(kSignal);
    p.drawRect(QRectF(15.5, 19.5, 7, 2)); // the die
    p.setBrush(QColor(0x20, 0x28, 0x30));
    p.drawRect(QRectF(24.5, 12.5, 6, 9)); // the analyser
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3C, 0xE0, 0x6C));
    p.drawRect(QRectF(26, 14, 3, 2));
    p.setPen(QPen(kSlate, 2));
    p.drawLine(QPointF(4, 29.5), QPointF(28, 29.5));
}

void IconLamp(QPainter& p, bool bOnLine) {
    QRadialGradient g(QPointF(13, 12), 15);
    QColor base = bOnLine ? QColor(0x2E, 0xB8, 0x5C) : kRed;
    g.setColorAt(0, base.lighter(150));
    g.setColorAt(1, base.darker(120));
    p.setPen(QPen(kSlate, 1.5));
    p.setBrush(g);
    p.drawEllipse(QRectF(2.5, 2.5, 27, 27));
    p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (bOnLine) {
        QPolygonF tick;
        tick << QPointF(9, 16.5) << QPointF(14, 21.5) << QPointF(23, 11);
        p.drawPolyline(tick);
    } else {
        p.drawLine(QPointF(11, 11), QPointF(21, 21));
        p.drawLine(QPointF(21, 11), QPointF(11, 21));
    }
}

void SaveIcon(const QString& name, const std::function<void(QPainter&)>& draw) {
    for (int size : {32, 16}) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(size / 32.0, size / 32.0);
        draw(p);
        p.end();
        Save(image, size == 32 ? name + ".png" : name + "-16.png");
    }
}

// The program's icon in every size an icon theme looks for, and as a drawing for any other.
void DrawDesktopIcons() {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QString("%1x%1/apps").arg(size);
        QDir(g_folder).mkpath(folder);
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        IconProgram(p);
        p.end();
        Save(image, folder + "/quorvel.png");
    }
    QDir(g_folder).mkpath("scalable/apps");
    QSvgGenerator svg;
    svg.setFileName(g_folder + "/scalable/apps/quorvel.svg");
    svg.setSize(QSize(32, 32));
    svg.setViewBox(QRect(0, 0, 32, 32));
    svg.setTitle("Quorvel");
    QPainter p;
    if (!p.begin(&svg)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        ++g_failures;
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    IconProgram(p);
    p.end();
}

void DrawIcons() {
    SaveIcon("icon128", IconProgram);
    SaveIcon("icon129", IconNetwork);
    SaveIcon("icon139", IconCurve);
    SaveIcon("icon141", IconBatch);
    SaveIcon("icon144", IconStats);
    SaveIcon("icon171", IconCompare);
    SaveIcon("icon173", IconHistory);
    SaveIcon("icon157", IconSerialPort);
    SaveIcon("icon131", [](QPainter& p) { IconStation(p, false); });
    SaveIcon("icon151", [](QPainter& p) { IconStation(p, true); });
    SaveIcon("icon152", [](QPainter& p) { IconLamp(p, true); });
    SaveIcon("icon153", [](QPainter& p) { IconLamp(p, false); });
}

// ---------------------------------------------------------------- cursors and small images

void DrawCursors() {
    {
        // The zoom cursor: its hot spot (8, 9) is inside the lens.
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(13.5, 14.5), QPointF(24, 25));
        p.setPen(QPen(Qt::black, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(13.5, 14.5), QPointF(24, 25));
        p.setPen(QPen(Qt::white, 4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8.5, 9.5), 6.5, 6.5);
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(QPointF(8.5, 9.5), 6.5, 6.5);
        p.setPen(QPen(Qt::black, 1.4));
        p.drawLine(QPointF(5.5, 9.5), QPointF(11.5, 9.5));
        p.drawLine(QPointF(8.5, 6.5), QPointF(8.5, 12.5));
        p.end();
        Save(image, "cursor147.png");
    }
    {
        // The move cursor: four arrows around the hot spot (15, 15).
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        QPointF c(15.5, 15.5);
        for (int i = 0; i < 4; ++i) {
            QTransform t;
            t.translate(c.x(), c.y());
            t.rotate(90.0 * i);
            QPolygonF arrow;
            arrow << QPointF(-1.5, 0) << QPointF(-1.5, -9) << QPointF(-4.5, -9) << QPointF(0, -14)
                  << QPointF(4.5, -9) << QPointF(1.5, -9) << QPointF(1.5, 0);
            path.addPolygon(t.map(arrow));
        }
        path = path.simplified();
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::black);
        p.drawPath(path);
        p.end();
        Save(image, "cursor160.png");
    }
}

void DrawStatsImages() {
    // Two 16 x 16 images on white, white being the transparent colour: a red disc, then a small
    // device box on a network line.
    QImage image(32, 16, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x80, 0x10, 0x10), 1));
    p.setBrush(kRed);
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kSlate, 1));
    p.drawLine(16, 13, 31, 13);
    p.drawLine(23, 10, 23, 13);
    p.setBrush(QColor(0x4A, 0x55, 0x60));
    p.drawRect(19, 3, 8, 7);
    p.fillRect(QRect(21, 5, 2, 2), QColor(0x3C, 0xE0, 0x6C));
    p.end();
    Save(image, "stats158.png");
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    if (QString(argv[1]) == "--desktop-icons") {
        if (argc < 3) {
            std::fprintf(stderr, "usage: %s --desktop-icons <folder>\n", argv[0]);
            return 2;
        }
        g_folder = QString::fromLocal8Bit(argv[2]);
        DrawDesktopIcons();
        return g_failures == 0 ? 0 : 1;
    }
    g_folder = QString::fromLocal8Bit(argv[1]);
    DrawSplash();
    DrawLogo();
    DrawAboutPicture();
    DrawAboutBanner();
    DrawToolbar();
    DrawIcons();
    DrawCursors();
    DrawStatsImages();
    return g_failures == 0 ? 0 : 1;
}
