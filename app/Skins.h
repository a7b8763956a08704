// Skins: the look of the program's windows, chosen by name in config.ini.
//
// A skin is a set of base colours and shapes turned into a palette and a style sheet. A colour adjustment
// (saturation and hue offset, chosen with the skin's name in the settings) is applied to every base colour
// before use.
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

class QApplication;
class QWidget;

namespace kv::app {

// Saturation: -100 (grey) .. 0 (unchanged) .. 100 (twice the saturation). Hue offset in degrees; a full
// turn (360) leaves the hue where it was.
struct TColourAdjustment {
    int Saturation = 0;
    int HueOffset = 0;
};

QColor AdjustedColour(const QColor& Base, const TColourAdjustment& Adjustment);

struct TSkin {
    QString Name;  // as asked for; unknown names fall back to the look of "Topaz2"
    TColourAdjustment Adjustment;
    QPalette Palette;
    QString StyleSheet;
    // The large "add files" button has a font of its own under "Topaz" only.
    bool AddButtonHasOwnFont = false;
};

// The skin of that name ("Topaz", "Topaz2", "WLM"; other names look like "Topaz2"), its colours adjusted.
TSkin MakeSkin(const QString& Name, const TColourAdjustment& Adjustment);
// Gives a top-level window (and so its children and the message boxes it owns) the skin's look.
void ApplySkin(QWidget& Window, const TSkin& Skin);

// The family used for the user interface: an installed font that can show simplified Chinese, or the
// application's default family when there is none.
QString InterfaceFontFamily();
// Style and font shared by all windows; called once after the application object exists.
void InstallApplicationLook(QApplication& Application);

}  // namespace kv::app
