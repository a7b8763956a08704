// The desktop services the window's logic asks for, done with Qt: message boxes, the folder and file
// dialogs, the shell, and power-off with its countdown box.
#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <utility>

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
                       public IDesktop,
                       public IPowerOffCountdown {
public:
    // Dialogs and message boxes are owned by Window and centred on it. PowerOffCommand is the program and
    // its arguments that turn the computer off.
    explicit TQtPorts(QWidget* Window,
                      QStringList PowerOffCommand = {QStringLiteral("systemctl"), QStringLiteral("poweroff")})
        : m_window(Window), m_powerOffCommand(std::move(PowerOffCommand))
    {}

    void Error(const QString& Text) override;
    void Information(const QString& Text) override;
    void Warning(const QString& Text) override;
    bool Question(const QString& Text) override;
    QString BrowseFolder(const QString& Title, const QString& StartFolder) override;
    QStringList OpenFiles(const QString& Filter, bool MultiSelect) override;
    bool PowerOff(QString& Reason) override;
    bool PowerOffCountdown(int Seconds) override;
    bool OpenFolder(const QString& Folder) override;
    bool OpenUrl(const QString& Url) override;
    void Beep() override;

    // All of them, for the logic.
    TPorts Ports() { return {this, this, this, this, this, this}; }

    // The countdown box's texts.
    static QString CountdownText(int Seconds)
    {
        return QCoreApplication::translate("kv::app::TQtPorts", "%1 秒后关机").arg(Seconds);
    }
    static QString PowerOffNowCaption() { return QCoreApplication::translate("kv::app::TQtPorts", "立即关机"); }
    static QString CancelCaption() { return QCoreApplication::translate("kv::app::TQtPorts", "取消"); }

private:
    QWidget* m_window;
    QStringList m_powerOffCommand;
};

}  // namespace kv::app
