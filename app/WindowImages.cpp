// The window's images, drawn at run time so that they are sharp at every scale: the file-type and tab
// icons, the buttons' icons and the preview's placeholder.
#include "app/WindowImages.h"

#include <QCoreApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <functional>
#include <iterator>

namespace kv::app {

namespace {

// Paints a square picture of the given size; the drawing uses a 16 x 16 grid.
QPixmap Paint(int Size, const std::function<void(QPainter&)>& Draw)
{
    QPixmap picture(Size, Size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(Size / 16.0, Size / 16.0);
    Draw(painter);
    return picture;
}

QIcon IconOf(const std::function<void(QPainter&)>& Draw, std::initializer_list<int> Sizes = {16, 32})
{
    QIcon icon;
    for (int size : Sizes)
        icon.addPixmap(Paint(size, Draw));
    return icon;
}

void Triangle(QPainter& P, QPointF A, QPointF B, QPointF C, const QColor& Colour)
{
    QPainterPath path;
    path.moveTo(A);
    path.lineTo(B);
    path.lineTo(C);
    path.closeSubpath();
    P.fillPath(path, Colour);
}

QColor Shade(const QColor& Colour, int Factor)
{
    return Factor >= 100 ? Colour.lighter(Factor) : Colour.darker(100 * 100 / Factor);
}

// A film frame: a rounded body, perforations down both sides and a play mark.
void FilmBadge(QPainter& P, const QColor& Colour)
{
    QLinearGradient fill(0, 1, 0, 15);
    fill.setColorAt(0, Shade(Colour, 125));
    fill.setColorAt(1, Colour);
    P.setPen(QPen(Shade(Colour, 70), 0.8));
    P.setBrush(fill);
    P.drawRoundedRect(QRectF(1.4, 2.4, 13.2, 11.2), 2.2, 2.2);
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(255, 255, 255, 200));
    for (qreal y : {4.2, 7.2, 10.2}) {
        P.drawRect(QRectF(2.6, y, 1.4, 1.4));
        P.drawRect(QRectF(12.0, y, 1.4, 1.4));
    }
    Triangle(P, {6.2, 5.2}, {6.2, 10.8}, {10.6, 8.0}, Qt::white);
}

void ProfileSheet(QPainter& P)
{
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13.5, 5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    P.setPen(QPen(QColor(0x7a, 0x86, 0x94), 0.8));
    P.setBrush(QColor(0xfd, 0xfd, 0xfb));
    P.drawPath(page);
    P.setBrush(QColor(0xd9, 0xdf, 0xe6));
    QPainterPath fold;
    fold.moveTo(10, 1.5);
    fold.lineTo(10, 5);
    fold.lineTo(13.5, 5);
    fold.closeSubpath();
    P.drawPath(fold);
    P.setPen(QPen(QColor(0x3a, 0x7b, 0xd5), 1.1, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(5, 7.5), QPointF(11.5, 7.5));
    P.setPen(QPen(QColor(0xe0, 0x8a, 0x1e), 1.1, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(5, 10), QPointF(11.5, 10));
    P.setPen(QPen(QColor(0x9a, 0xa4, 0xae), 1.1, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(5, 12.5), QPointF(9.5, 12.5));
}

void Sliders(QPainter& P, const QColor& Colour)
{
    P.setPen(QPen(Colour, 1.3, Qt::SolidLine, Qt::RoundCap));
    for (qreal y : {3.5, 8.0, 12.5})
        P.drawLine(QPointF(2, y), QPointF(14, y));
    P.setPen(QPen(Shade(Colour, 70), 0.8));
    P.setBrush(Qt::white);
    P.drawEllipse(QPointF(10.5, 3.5), 1.9, 1.9);
    P.drawEllipse(QPointF(5.0, 8.0), 1.9, 1.9);
    P.drawEllipse(QPointF(8.5, 12.5), 1.9, 1.9);
}

void Phone(QPainter& P, const QColor& Colour)
{
    P.setPen(Qt::NoPen);
    P.setBrush(Colour);
    P.drawRoundedRect(QRectF(4, 1, 8, 14), 1.8, 1.8);
    P.setBrush(QColor(255, 255, 255, 230));
    P.drawRect(QRectF(5.2, 2.8, 5.6, 8.6));
    P.drawEllipse(QPointF(8, 13.1), 0.9, 0.9);
}

void FilmWithLens(QPainter& P, const QColor& Colour)
{
    P.setPen(QPen(Colour, 1.1));
    P.setBrush(Qt::NoBrush);
    P.drawRoundedRect(QRectF(1.5, 2, 10, 8.5), 1.5, 1.5);
    Triangle(P, {5.2, 4.2}, {5.2, 8.3}, {8.6, 6.25}, Colour);
    P.setPen(QPen(Shade(Colour, 80), 1.6, Qt::SolidLine, Qt::RoundCap));
    P.setBrush(QColor(255, 255, 255, 220));
    P.drawEllipse(QPointF(10.5, 10.5), 2.8, 2.8);
    P.drawLine(QPointF(12.6, 12.6), QPointF(14.8, 14.8));
}

void Pencil(QPainter& P, const QColor& Colour)
{
    P.save();
    P.translate(8, 8);
    P.rotate(-45);
    P.setPen(QPen(Shade(Colour, 70), 0.7));
    P.setBrush(Colour);
    P.drawRect(QRectF(-4.5, -1.8, 8.5, 3.6));
    P.setBrush(QColor(0xf2, 0xc1, 0x8c));
    QPainterPath tip;
    tip.moveTo(4, -1.8);
    tip.lineTo(7, 0);
    tip.lineTo(4, 1.8);
    tip.closeSubpath();
    P.drawPath(tip);
    P.setBrush(QColor(0xe5, 0x7a, 0x8a));
    P.drawRect(QRectF(-6.5, -1.8, 2, 3.6));
    P.restore();
}

void RoundSign(QPainter& P, const QColor& Colour, bool Plus)
{
    QLinearGradient fill(0, 1, 0, 15);
    fill.setColorAt(0, Shade(Colour, 130));
    fill.setColorAt(1, Colour);
    P.setPen(QPen(Shade(Colour, 75), 0.8));
    P.setBrush(fill);
    P.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    P.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(4.8, 8), QPointF(11.2, 8));
    if (Plus)
        P.drawLine(QPointF(8, 4.8), QPointF(8, 11.2));
}

void Bin(QPainter& P)
{
    const QColor colour(0x6d, 0x7b, 0x8a);
    P.setPen(QPen(colour, 1.2, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(2.5, 4), QPointF(13.5, 4));
    P.drawLine(QPointF(6.5, 2.2), QPointF(9.5, 2.2));
    P.setBrush(QColor(0xe6, 0xea, 0xee));
    QPainterPath body;
    body.moveTo(4, 5.5);
    body.lineTo(12, 5.5);
    body.lineTo(11.2, 14.2);
    body.lineTo(4.8, 14.2);
    body.closeSubpath();
    P.drawPath(body);
    P.setPen(QPen(colour, 0.9, Qt::SolidLine, Qt::RoundCap));
    for (qreal x : {6.5, 8.0, 9.5})
        P.drawLine(QPointF(x, 7.5), QPointF(x, 12.5));
}

void Folder(QPainter& P, bool Open)
{
    const QColor back(0xd9, 0xa4, 0x3c);
    const QColor front(0xf6, 0xc8, 0x5f);
    P.setPen(QPen(back.darker(130), 0.7));
    P.setBrush(back);
    QPainterPath tab;
    tab.moveTo(1.5, 3.5);
    tab.lineTo(6, 3.5);
    tab.lineTo(7.5, 5);
    tab.lineTo(14.5, 5);
    tab.lineTo(14.5, 13.5);
    tab.lineTo(1.5, 13.5);
    tab.closeSubpath();
    P.drawPath(tab);
    P.setBrush(front);
    QPainterPath flap;
    if (Open) {
        flap.moveTo(3.5, 7);
        flap.lineTo(15.5, 7);
        flap.lineTo(13.5, 13.5);
        flap.lineTo(1.5, 13.5);
    } else {
        flap.moveTo(1.5, 6.5);
        flap.lineTo(14.5, 6.5);
        flap.lineTo(14.5, 13.5);
        flap.lineTo(1.5, 13.5);
    }
    flap.closeSubpath();
    P.drawPath(flap);
    if (!Open) {
        P.setPen(Qt::NoPen);
        P.setBrush(QColor(0x8a, 0x5a, 0x10));
        for (qreal x : {5.5, 8.0, 10.5})
            P.drawEllipse(QPointF(x, 10.2), 0.9, 0.9);
    } else {
        P.setPen(QPen(QColor(0x2f, 0x78, 0xc0), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        P.drawLine(QPointF(8.5, 11.5), QPointF(12.5, 1.8));
        P.drawLine(QPointF(12.5, 1.8), QPointF(9.6, 2.6));
        P.drawLine(QPointF(12.5, 1.8), QPointF(13.2, 4.8));
    }
}

void PlayMark(QPainter& P, const QColor& Colour)
{
    P.setPen(QPen(Colour, 1.2));
    P.setBrush(Qt::NoBrush);
    P.drawEllipse(QRectF(1.2, 1.2, 13.6, 13.6));
    Triangle(P, {6.3, 4.6}, {6.3, 11.4}, {11.6, 8.0}, Colour);
}

// The nine file types, one colour each.
const QColor FileTypeColours[9] = {
    QColor(0x3f, 0xa3, 0x4d), QColor(0xe6, 0x8f, 0x1c), QColor(0x3a, 0x7b, 0xd5),
    QColor(0x8e, 0x44, 0xad), QColor(0x1e, 0x9b, 0xb0), QColor(0xc0, 0x39, 0x2b),
    QColor(0x5d, 0x6d, 0x7e), QColor(0x7a, 0x9b, 0x2e), QColor(0xd8, 0x1b, 0x60),
};
const QColor TabColours[4] = {QColor(0xe0, 0x8a, 0x1e), QColor(0x3a, 0x7b, 0xd5), QColor(0x8e, 0x44, 0xad),
                              QColor(0x2e, 0x9e, 0x5b)};
const QColor InactiveTab(0x8f, 0x96, 0x9e);

// The images of the window's buttons, drawn on the 16 x 16 grid.
const std::function<void(QPainter&)> ButtonDrawings[] = {
    // AddPanel: a film badge with the add sign on it.
    [](QPainter& p) {
        FilmBadge(p, QColor(0x4a, 0x7f, 0xb5));
        p.save();
        p.translate(7.2, 7.2);
        p.scale(0.55, 0.55);
        RoundSign(p, QColor(0x3f, 0xa3, 0x4d), true);
        p.restore();
    },
    [](QPainter& p) { RoundSign(p, QColor(0x3f, 0xa3, 0x4d), true); },   // Add
    [](QPainter& p) { RoundSign(p, QColor(0xd0, 0x4a, 0x3c), false); },  // Delete
    [](QPainter& p) { Bin(p); },                                         // Clear
    [](QPainter& p) { FilmWithLens(p, TabColours[2]); },                 // Analyse
    [](QPainter& p) { Pencil(p, TabColours[3]); },                       // ShowCustom
    [](QPainter& p) { Folder(p, false); },                               // BrowseFolder
    [](QPainter& p) { Folder(p, true); },                                // OpenFolder
    [](QPainter& p) { PlayMark(p, Qt::white); },                         // Start
    [](QPainter& p) {                                                    // Pause
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x7b, 0xd5));
        p.drawRoundedRect(QRectF(3.5, 2.5, 3.2, 11), 1, 1);
        p.drawRoundedRect(QRectF(9.3, 2.5, 3.2, 11), 1, 1);
    },
    [](QPainter& p) {
        Triangle(p, {4, 2.5}, {4, 13.5}, {13, 8}, QColor(0x3f, 0xa3, 0x4d));
    },                 // Resume
    [](QPainter& p) {  // Stop
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xd0, 0x4a, 0x3c));
        p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
    },
};
static_assert(std::size(ButtonDrawings) == static_cast<size_t>(TButtonImage::Count));

// The tab drawings, in tab order: preset, device, analysis, custom.
void (*const TabDrawings[4])(QPainter&, const QColor&) = {Sliders, Phone, FilmWithLens, Pencil};

}  // namespace

QIcon SmallImage(int Index)
{
    if (Index >= 0 && Index < 9) {
        const QColor colour = FileTypeColours[Index];
        return IconOf([colour](QPainter& p) { FilmBadge(p, colour); });
    }
    return IconOf([](QPainter& p) { ProfileSheet(p); });
}

QIcon TabImage(int Index)
{
    const int tab = Index % 4;
    const QColor colour = Index >= 4 ? TabColours[tab] : InactiveTab;
    const auto draw = TabDrawings[tab];
    return IconOf([colour, draw](QPainter& p) { draw(p, colour); });
}

QPixmap PreviewPlaceholder(QSize Size)
{
    QPixmap picture(Size);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    // The preview's background colour, with a soft light from above.
    const QColor background(166, 202, 240);
    QLinearGradient fill(0, 0, 0, Size.height());
    fill.setColorAt(0, background.lighter(112));
    fill.setColorAt(1, background);
    p.fillRect(picture.rect(), fill);
    const QPointF centre(Size.width() / 2.0, Size.height() / 2.0 - 8);
    p.setPen(QPen(QColor(255, 255, 255, 210), 2.5));
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawEllipse(centre, 26, 26);
    QPainterPath play;
    play.moveTo(centre + QPointF(-8, -13));
    play.lineTo(centre + QPointF(-8, 13));
    play.lineTo(centre + QPointF(14, 0));
    play.closeSubpath();
    p.fillPath(play, QColor(255, 255, 255, 225));
    p.setPen(QColor(255, 255, 255, 235));
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    p.drawText(QRectF(0, centre.y() + 32, Size.width(), 20), Qt::AlignCenter,
               QCoreApplication::translate("kv::app::TMainWindow", "视频预览"));
    return picture;
}

QIcon ButtonImage(TButtonImage Image)
{
    const auto& draw = ButtonDrawings[static_cast<size_t>(Image)];
    switch (Image) {
    case TButtonImage::AddPanel: return IconOf(draw, {48, 96});
    case TButtonImage::Start: return IconOf(draw, {32, 64});
    default: return IconOf(draw);
    }
}

}  // namespace kv::app
