// What the window's logic asks of the desktop: message boxes, dialogs, the shell, power-off, notifications
// and keeping the computer awake. The window implements these with Qt widgets and the desktop's message
// bus; tests put recorders in their place and answer for the user.
#pragma once

#include <QString>
#include <QStringList>

namespace kv::app {

// The caption of every message box of the program.
inline const QString MessageCaption = QStringLiteral("KelvaneV1.3");

// Message boxes captioned MessageCaption, each with its icon; each returns when the user has closed it.
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    virtual void Error(const QString& Text) = 0;
    virtual void Information(const QString& Text) = 0;
    virtual void Warning(const QString& Text) = 0;
    // A question answered with Yes or No, No unless the user picks Yes; true for Yes.
    virtual bool Question(const QString& Text) = 0;
};

// The folder-browse dialog, opened at StartFolder. Returns the chosen folder, or an empty text when the
// user cancels.
class IFolderBrowser {
public:
    virtual ~IFolderBrowser() = default;
    virtual QString BrowseFolder(const QString& Title, const QString& StartFolder) = 0;
};

// The open-file dialog. Filter is written as "Video Files|*.AVI;*.MP4;..." (one description, then the
// patterns, matched in any letter case). Returns the chosen files, none when the user cancels; more than
// one only when MultiSelect is true.
class IOpenFileDialog {
public:
    virtual ~IOpenFileDialog() = default;
    virtual QStringList OpenFiles(const QString& Filter, bool MultiSelect) = 0;
};

// Turns the computer off at the end of a batch when the user asked for it. Returns once the system has
// answered the request; false when it could not be made or was refused, with the reason in Reason.
class IPowerOff {
public:
    virtual ~IPowerOff() = default;
    virtual bool PowerOff(QString& Reason) = 0;
};

// The box that counts down to the power-off ("N 秒后关机", with 立即关机 and 取消). Returns when the count
// reached zero or the user answered: true to power off now, false when the user cancelled.
class IPowerOffCountdown {
public:
    virtual ~IPowerOffCountdown() = default;
    virtual bool PowerOffCountdown(int Seconds) = 0;
};

// The desktop shell: opening a folder in the file manager or a web address in the browser, and the
// system's warning sound.
class IDesktop {
public:
    virtual ~IDesktop() = default;
    virtual bool OpenFolder(const QString& Folder) = 0;
    virtual bool OpenUrl(const QString& Url) = 0;
    virtual void Beep() = 0;
};

// A desktop notification with Text, for a user who is looking at another window.
class INotifier {
public:
    virtual ~INotifier() = default;
    virtual void Notify(const QString& Text) = 0;
};

// Keeps the computer from going to sleep or idle while a batch converts. Hold takes the hold when it is
// not held (where the system offers none, nothing happens); Release lets it go. Both may be called in any
// order and as often as they come.
class ISleepInhibitor {
public:
    virtual ~ISleepInhibitor() = default;
    virtual void Hold() = 0;
    virtual void Release() = 0;
};

// The ports handed to the window's logic. Each must outlive the logic that uses it.
struct TPorts {
    IMessageBoxes* Messages = nullptr;
    IFolderBrowser* FolderBrowser = nullptr;
    IOpenFileDialog* OpenFileDialog = nullptr;
    IPowerOff* PowerOff = nullptr;
    IDesktop* Desktop = nullptr;
    IPowerOffCountdown* PowerOffCountdown = nullptr;
    INotifier* Notifier = nullptr;
    ISleepInhibitor* SleepInhibitor = nullptr;
};

}  // namespace kv::app
