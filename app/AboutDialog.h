// The About dialog: the program's name and version, a line inviting the user to the web site (a click opens
// it) and a button that closes the dialog.
#pragma once

#include <QDialog>

#include "app/Skins.h"

class QLabel;
class QPushButton;

namespace kv::app {

class IDesktop;

// The web site the About text leads to.
inline const QString AboutUrl = QStringLiteral("https://kelvane.org/");

class TAboutDialog : public QDialog {
public:
    // Centred on Owner, in the given skin; a click on the text asks Desktop to open AboutUrl.
    TAboutDialog(QWidget* Owner, const TSkin& Skin, IDesktop& Desktop);

    QLabel* Text() const { return m_text; }
    QPushButton* CloseButton() const { return m_close; }

private:
    QLabel* m_text = nullptr;
    QPushButton* m_close = nullptr;
};

}  // namespace kv::app
