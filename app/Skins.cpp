#include "app/Skins.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMap>
#include <QStyleFactory>
#include <QWidget>
#include <algorithm>

namespace kv::app {

namespace {

// Pixel size of the interface font: the windows are laid out at fixed positions for it.
constexpr int InterfaceFontPixels = 12;

// The base colours of one skin, before its adjustment. Names are those used in the style sheet.
struct TSkinColours {
    const char* Text;
    const char* MutedText;
    const char* DisabledText;
    const char* WindowTop;
    const char* WindowBottom;
    const char* Panel;
    const char* Base;
    const char* Alternate;
    const char* ReadOnly;
    const char* Frame;
    const char* Accent;
    const char* AccentDark;
    const char* HeaderTop;
    const char* HeaderBottom;
    const char* ButtonTop;
    const char* ButtonBottom;
    const char* ButtonBorder;
    const char* HoverTop;
    const char* HoverBottom;
    const char* Pressed;
    const char* Highlight;
    const char* HighlightText;
    const char* StartTop;
    const char* StartBottom;
    const char* StartText;
    const char* InfoBack;
    const char* InfoBorder;
    const char* ToolTip;
    int Radius;
};

// Warm amber, drawn at half saturation: the skin's adjustment doubles it.
constexpr TSkinColours TopazColours{
    "#3a342d", "#6e6558", "#a59c90", "#f4f0ea", "#e9e1d5", "#faf7f2", "#ffffff", "#f8f4ee", "#f3efe9", "#c5b59d",
    "#a8896a", "#7d6249", "#f3ebdf", "#e0d2bd", "#fdfbf8", "#ece3d5", "#bba88b", "#fffaf1", "#f3e6d1", "#e2d4be",
    "#c3a582", "#ffffff", "#c9a57a", "#a88258", "#ffffff", "#fbf7f0", "#e4d8c5", "#fffbf2", 4};

// Blue topaz: graphite greys with a deep teal.
constexpr TSkinColours Topaz2Colours{
    "#23282d", "#5b636b", "#a0a6ac", "#f1f2f3", "#e1e4e6", "#f8f9f9", "#ffffff", "#f4f6f6", "#eef0f1", "#b4bbc0",
    "#1f8a80", "#16655e", "#f6f7f8", "#dde1e4", "#ffffff", "#e6e9eb", "#a9b1b7", "#f4fbfa", "#d9efec", "#cfe3e0",
    "#2a9a8f", "#ffffff", "#2fa396", "#1a7a70", "#ffffff", "#f5f8f8", "#d5dcdf", "#fcfdfd", 3};

// Airy white and sky blue, with rounder shapes; its adjustment adds a third of saturation.
constexpr TSkinColours WlmColours{
    "#1d3349", "#4f6a85", "#9db0c3", "#f3f8fd", "#dcebf8", "#fbfdff", "#ffffff", "#f4f9fe", "#f0f5fa", "#a8c6e2",
    "#3478bd", "#245a91", "#ffffff", "#dbeaf8", "#ffffff", "#e2effa", "#9dbedf", "#ffffff", "#d2e7fa", "#c3dbf1",
    "#4b93d6", "#ffffff", "#5aa6e6", "#2f78c0", "#ffffff", "#f5faff", "#cfe1f2", "#ffffff", 6};

const char* const StyleSheetTemplate = R"(
QWidget { color: ${Text}; font-family: "${Font}"; font-size: ${FontPx}px; }
QMainWindow, QDialog, QMessageBox {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${WindowTop}, stop:1 ${WindowBottom});
}
QMenuBar {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${HeaderTop}, stop:1 ${HeaderBottom});
    border-bottom: 1px solid ${Frame}; padding: 1px 3px;
}
QMenuBar::item { background: transparent; padding: 3px 10px; border-radius: 3px; }
QMenuBar::item:selected { background: ${HoverBottom}; color: ${AccentDark}; }
QMenu { background: ${Base}; border: 1px solid ${Frame}; padding: 3px; }
QMenu::item { padding: 4px 28px 4px 18px; border-radius: 3px; }
QMenu::item:selected { background: ${Highlight}; color: ${HighlightText}; }
QGroupBox {
    background: ${Panel}; border: 1px solid ${Frame}; border-radius: ${Radius}px;
    margin-top: 9px;
}
QGroupBox::title {
    subcontrol-origin: margin; subcontrol-position: top left; left: 10px; padding: 0 4px;
    color: ${AccentDark}; font-weight: bold;
}
QFrame#pnlDriver { background: ${Panel}; border: 1px solid ${Frame}; border-radius: ${Radius}px; }
QFrame#pnlInfo { background: ${InfoBack}; border: 1px solid ${InfoBorder}; border-radius: 3px; }
QFrame#pnlInfo QLabel { background: transparent; }
QFrame#pnlCustom { background: ${Base}; }
QLabel#lblPTS { color: ${MutedText}; }
QLabel#lblProduct { color: ${AccentDark}; font-size: 20px; font-weight: bold; }
QLabel#lblAnalysis { color: ${MutedText}; }
QLabel#imgPreview { background: ${Alternate}; }
QTabWidget::pane {
    background: ${Base}; border: 1px solid ${Frame}; border-radius: 3px; top: -1px;
}
QTabBar::tab {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${ButtonTop}, stop:1 ${ButtonBottom});
    color: ${MutedText}; border: 1px solid ${Frame}; border-bottom: none;
    border-top-left-radius: ${Radius}px; border-top-right-radius: ${Radius}px;
    padding: 4px 4px; margin-right: 1px; margin-top: 2px;
}
QTabBar::tab:hover { background: ${HoverTop}; color: ${Text}; }
QTabBar::tab:selected {
    background: ${Base}; color: ${AccentDark}; border-top: 2px solid ${Accent}; margin-top: 0px;
    padding-bottom: 5px;
}
QPushButton, QToolButton {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${ButtonTop}, stop:1 ${ButtonBottom});
    border: 1px solid ${ButtonBorder}; border-radius: ${Radius}px; padding: 3px 8px;
}
QPushButton:hover, QToolButton:hover {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${HoverTop}, stop:1 ${HoverBottom});
    border-color: ${Accent};
}
QPushButton:pressed, QToolButton:pressed { background: ${Pressed}; }
QPushButton:disabled, QToolButton:disabled {
    color: ${DisabledText}; background: ${ReadOnly}; border-color: ${Frame};
}
QToolButton#btnBrowseFolder, QToolButton#btnOpenFolder { padding: 2px; }
QToolButton#btnStart {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${StartTop}, stop:1 ${StartBottom});
    border: 1px solid ${AccentDark}; color: ${StartText}; font-size: 17px; font-weight: bold;
    border-radius: ${Radius}px; padding: 6px;
}
QToolButton#btnStart:hover { border-color: ${Text}; }
QToolButton#btnStart:pressed { background: ${StartBottom}; }
QToolButton#btnStart:disabled {
    background: ${ReadOnly}; color: ${DisabledText}; border-color: ${Frame};
}
QPushButton#btnAddPanel {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${Base}, stop:1 ${InfoBack});
    border: 1px dashed ${Accent}; border-radius: ${Radius}px; color: ${AccentDark};
}
QPushButton#btnAddPanel:hover { background: ${HoverTop}; border-style: solid; }
QLineEdit, QComboBox {
    background: ${Base}; border: 1px solid ${Frame}; border-radius: 3px; padding: 1px 4px;
    selection-background-color: ${Highlight}; selection-color: ${HighlightText};
}
QLineEdit:focus, QComboBox:focus { border-color: ${Accent}; }
QLineEdit:read-only { background: ${ReadOnly}; color: ${MutedText}; }
QComboBox::drop-down {
    subcontrol-origin: padding; subcontrol-position: top right; width: 20px;
    border: none; border-left: 1px solid ${InfoBorder};
}
QComboBox::down-arrow { image: url(:/skin/arrow-down.png); width: 10px; height: 6px; }
QComboBox::down-arrow:on { top: 1px; }
QComboBox QAbstractItemView {
    background: ${Base}; border: 1px solid ${Frame}; outline: 0;
    selection-background-color: ${Highlight}; selection-color: ${HighlightText};
}
QTreeWidget {
    background: ${Base}; alternate-background-color: ${Alternate}; border: 1px solid ${Frame};
    border-radius: 3px; selection-background-color: ${Highlight}; selection-color: ${HighlightText};
}
QHeaderView::section {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 ${HeaderTop}, stop:1 ${HeaderBottom});
    color: ${Text}; border: none; border-right: 1px solid ${Frame}; border-bottom: 1px solid ${Frame};
    padding: 3px 4px;
}
QToolTip { background: ${ToolTip}; color: ${Text}; border: 1px solid ${Frame}; padding: 3px; }
)";

QString Hex(const QColor& Colour) { return Colour.name(QColor::HexRgb); }

QColor Adjusted(const char* Base, const TColourAdjustment& Adjustment)
{
    return AdjustedColour(QColor(QString::fromLatin1(Base)), Adjustment);
}

}  // namespace

QColor AdjustedColour(const QColor& Base, const TColourAdjustment& Adjustment)
{
    int hue = 0;
    int saturation = 0;
    int value = 0;
    Base.getHsv(&hue, &saturation, &value);
    if (hue >= 0)  // grey has no hue to turn
        hue = ((hue + Adjustment.HueOffset) % 360 + 360) % 360;
    const int factor = 100 + std::clamp(Adjustment.Saturation, -100, 100);
    saturation = std::clamp(saturation * factor / 100, 0, 255);
    return QColor::fromHsv(hue, saturation, value);
}

TSkin MakeSkin(const QString& Name, const TColourAdjustment& Adjustment)
{
    TSkin skin;
    skin.Name = Name;
    skin.Adjustment = Adjustment;
    const TSkinColours& colours = Name == QStringLiteral("Topaz") ? TopazColours
                                  : Name == QStringLiteral("WLM") ? WlmColours
                                                                  : Topaz2Colours;
    const TColourAdjustment& a = skin.Adjustment;
    const QMap<QString, QColor> named{
        {QStringLiteral("Text"), Adjusted(colours.Text, a)},
        {QStringLiteral("MutedText"), Adjusted(colours.MutedText, a)},
        {QStringLiteral("DisabledText"), Adjusted(colours.DisabledText, a)},
        {QStringLiteral("WindowTop"), Adjusted(colours.WindowTop, a)},
        {QStringLiteral("WindowBottom"), Adjusted(colours.WindowBottom, a)},
        {QStringLiteral("Panel"), Adjusted(colours.Panel, a)},
        {QStringLiteral("Base"), Adjusted(colours.Base, a)},
        {QStringLiteral("Alternate"), Adjusted(colours.Alternate, a)},
        {QStringLiteral("ReadOnly"), Adjusted(colours.ReadOnly, a)},
        {QStringLiteral("Frame"), Adjusted(colours.Frame, a)},
        {QStringLiteral("Accent"), Adjusted(colours.Accent, a)},
        {QStringLiteral("AccentDark"), Adjusted(colours.AccentDark, a)},
        {QStringLiteral("HeaderTop"), Adjusted(colours.HeaderTop, a)},
        {QStringLiteral("HeaderBottom"), Adjusted(colours.HeaderBottom, a)},
        {QStringLiteral("ButtonTop"), Adjusted(colours.ButtonTop, a)},
        {QStringLiteral("ButtonBottom"), Adjusted(colours.ButtonBottom, a)},
        {QStringLiteral("ButtonBorder"), Adjusted(colours.ButtonBorder, a)},
        {QStringLiteral("HoverTop"), Adjusted(colours.HoverTop, a)},
        {QStringLiteral("HoverBottom"), Adjusted(colours.HoverBottom, a)},
        {QStringLiteral("Pressed"), Adjusted(colours.Pressed, a)},
        {QStringLiteral("Highlight"), Adjusted(colours.Highlight, a)},
        {QStringLiteral("HighlightText"), Adjusted(colours.HighlightText, a)},
        {QStringLiteral("StartTop"), Adjusted(colours.StartTop, a)},
        {QStringLiteral("StartBottom"), Adjusted(colours.StartBottom, a)},
        {QStringLiteral("StartText"), Adjusted(colours.StartText, a)},
        {QStringLiteral("InfoBack"), Adjusted(colours.InfoBack, a)},
        {QStringLiteral("InfoBorder"), Adjusted(colours.InfoBorder, a)},
        {QStringLiteral("ToolTip"), Adjusted(colours.ToolTip, a)},
    };

    QString sheet = QString::fromLatin1(StyleSheetTemplate);
    for (auto it = named.cbegin(); it != named.cend(); ++it)
        sheet.replace(QStringLiteral("${") + it.key() + QLatin1Char('}'), Hex(it.value()));
    sheet.replace(QStringLiteral("${Radius}"), QString::number(colours.Radius));
    sheet.replace(QStringLiteral("${Font}"), InterfaceFontFamily());
    sheet.replace(QStringLiteral("${FontPx}"), QString::number(InterfaceFontPixels));
    skin.AddButtonHasOwnFont = Name == QStringLiteral("Topaz");
    if (skin.AddButtonHasOwnFont)
        sheet += QStringLiteral("QPushButton#btnAddPanel { font-size: 18px; font-weight: bold; }\n");
    skin.StyleSheet = sheet;

    QPalette& p = skin.Palette;
    p.setColor(QPalette::Window, named.value(QStringLiteral("WindowTop")));
    p.setColor(QPalette::WindowText, named.value(QStringLiteral("Text")));
    p.setColor(QPalette::Base, named.value(QStringLiteral("Base")));
    p.setColor(QPalette::AlternateBase, named.value(QStringLiteral("Alternate")));
    p.setColor(QPalette::Text, named.value(QStringLiteral("Text")));
    p.setColor(QPalette::Button, named.value(QStringLiteral("ButtonBottom")));
    p.setColor(QPalette::ButtonText, named.value(QStringLiteral("Text")));
    p.setColor(QPalette::Highlight, named.value(QStringLiteral("Highlight")));
    p.setColor(QPalette::HighlightedText, named.value(QStringLiteral("HighlightText")));
    p.setColor(QPalette::ToolTipBase, named.value(QStringLiteral("ToolTip")));
    p.setColor(QPalette::ToolTipText, named.value(QStringLiteral("Text")));
    p.setColor(QPalette::Light, named.value(QStringLiteral("ButtonTop")));
    p.setColor(QPalette::Mid, named.value(QStringLiteral("Frame")));
    p.setColor(QPalette::Dark, named.value(QStringLiteral("AccentDark")));
    p.setColor(QPalette::Link, named.value(QStringLiteral("Accent")));
    p.setColor(QPalette::PlaceholderText, named.value(QStringLiteral("DisabledText")));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, named.value(QStringLiteral("DisabledText")));
    return skin;
}

void ApplySkin(QWidget& Window, const TSkin& Skin)
{
    Window.setPalette(Skin.Palette);
    Window.setStyleSheet(Skin.StyleSheet);
}

QString InterfaceFontFamily()
{
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
        for (const char* preferred :
             {"Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Micro Hei", "WenQuanYi Zen Hei"}) {
            if (installed.contains(QString::fromLatin1(preferred), Qt::CaseInsensitive))
                return QString::fromLatin1(preferred);
        }
        // Any family that can show the interface, leaving aside the fixed-width and bitmap ones.
        for (const QString& candidate : installed) {
            if (!QFontDatabase::isFixedPitch(candidate) && QFontDatabase::isSmoothlyScalable(candidate))
                return candidate;
        }
        return installed.isEmpty() ? QApplication::font().family() : installed.first();
    }();
    return family;
}

void InstallApplicationLook(QApplication& Application)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        Application.setStyle(fusion);
    QFont font(InterfaceFontFamily());
    font.setPixelSize(InterfaceFontPixels);
    Application.setFont(font);
}

}  // namespace kv::app
