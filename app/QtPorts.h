// The desktop services the window's logic asks for, done with Qt: message boxes, the folder and file
// dialogs, the shell and power-off.
#pragma once

#include "app/logic/Ports.h"

class QWidget;

namespace kv::app {

// Turns "Video Files|*.AVI;*.MP4" into a Qt dialog filter whose patterns match in any letter case
// ("Video Files (*.[aA][vV][iI] *.[mM][pP]4)").
QString QtFileDialogFilter(const QString& Filter);

class TQtPorts final : public IMessageBoxes,
                       public IFolderBrowser,
                       public IOpenFileDialog,
                       public IPowerOff,
                       public IDesktop {
public:
    // Dialogs and message boxes are owned by Window and centred on it.
    explicit TQtPorts(QWidget* Window) : m_window(Window) {}

    void Error(const QString& Text) override;
    void Information(const QString& Text) override;
    void Warning(const QString& Text) override;
    bool Question(const QString& Text) override;
    QString BrowseFolder(const QString& Title) override;
    QStringList OpenFiles(const QString& Filter, bool MultiSelect) override;
    bool PowerOff() override;
    bool OpenFolder(const QString& Folder) override;
    bool OpenUrl(const QString& Url) override;
    void Beep() override;

    // All five, for the logic.
    TPorts Ports() { return {this, this, this, this, this}; }

private:
    QWidget* m_window;
};

}  // namespace kv::app
