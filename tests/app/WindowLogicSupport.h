// What the window logic's tests share: a recorder that stands in for the desktop and answers for the
// user, and a program folder with a few profiles and its own settings.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "presets/IniFile.h"
#include "app/logic/Ports.h"
#include "app/logic/WindowLogic.h"

namespace kvtest {

class TDesktopRecorder : public kv::app::IMessageBoxes,
                         public kv::app::IFolderBrowser,
                         public kv::app::IOpenFileDialog,
                         public kv::app::IPowerOff,
                         public kv::app::IDesktop,
                         public kv::app::IPowerOffCountdown,
                         public kv::app::INotifier,
                         public kv::app::ISleepInhibitor {
public:
    // What the user answers.
    QString FolderAnswer;
    QStringList FilesAnswer;

    // What was shown or asked.
    QStringList Errors;
    QStringList Informations;
    QStringList Warnings;
    QStringList Questions;
    bool QuestionAnswer = false;
    QStringList BrowseTitles;
    QStringList BrowseStarts;  // the folder each browse dialog opened at
    QStringList FileFilters;
    QList<bool> MultiSelects;
    QStringList OpenedFolders;
    int Beeps = 0;
    QList<int> Countdowns;        // the seconds of every power-off countdown shown
    bool CountdownAnswer = true;  // true: it ran to zero; false: 取消
    QStringList Notifications;
    QStringList SleepHolds;  // "hold" and "release", in the order asked for

    void Error(const QString& Text) override { Errors << Text; }
    void Information(const QString& Text) override { Informations << Text; }
    void Warning(const QString& Text) override { Warnings << Text; }
    bool Question(const QString& Text) override
    {
        Questions << Text;
        return QuestionAnswer;
    }
    QString BrowseFolder(const QString& Title, const QString& StartFolder) override
    {
        BrowseTitles << Title;
        BrowseStarts << StartFolder;
        return FolderAnswer;
    }
    QStringList OpenFiles(const QString& Filter, bool MultiSelect) override
    {
        FileFilters << Filter;
        MultiSelects << MultiSelect;
        return FilesAnswer;
    }
    bool PowerOff(QString&) override { return true; }
    bool PowerOffCountdown(int Seconds) override
    {
        Countdowns << Seconds;
        return CountdownAnswer;
    }
    bool OpenFolder(const QString& Folder) override
    {
        OpenedFolders << Folder;
        return true;
    }
    bool OpenUrl(const QString&) override { return true; }
    void Beep() override { ++Beeps; }

    void Notify(const QString& Text) override { Notifications << Text; }
    void Hold() override { SleepHolds << QStringLiteral("hold"); }
    void Release() override { SleepHolds << QStringLiteral("release"); }

    // Every port answered here: tests never reach the desktop's buses.
    kv::app::TPorts Ports() { return {this, this, this, this, this, this, this, this}; }
    // The notification and the sleep hold left to the window's own, which talk to the desktop's buses.
    kv::app::TPorts PortsWithDesktopBus() { return {this, this, this, this, this, this, nullptr, nullptr}; }
};

// A program folder in a temporary folder, with profiles:
//   videoconvert/3GP: a.ini (176x144, 15 fps, AAC), b.ini (352x288, 29.97 fps, MP3)
//   videoconvert/MP4: x.ini, sub/y.ini (listed y, x)
//   videoconvert/AVI: A.INI, note.txt (listed A)
//   devices/Alpha: m1.ini, m2.ini; devices/Beta: n1.ini (29.97 fps)
// and a videos folder, a configuration home and a state home beside it.
class TProgramFolder {
public:
    TProgramFolder()
    {
        EXPECT_TRUE(m_root.isValid());
        QDir().mkpath(Program());
        WriteProfile("videoconvert/3GP/a.ini", 176, 144, "15", "AAC");
        WriteProfile("videoconvert/3GP/b.ini", 352, 288, "29.97", "MP3");
        WriteProfile("videoconvert/MP4/x.ini", 320, 240, "18", "AAC");
        WriteProfile("videoconvert/MP4/sub/y.ini", 480, 272, "24", "AAC");
        WriteProfile("videoconvert/AVI/A.INI", 640, 480, "25", "MP3");
        WriteFile("profiles/videoconvert/AVI/note.txt", "[video]\nWidth=1\n");
        WriteProfile("devices/Alpha/m1.ini", 320, 240, "24", "AAC");
        WriteProfile("devices/Alpha/m2.ini", 480, 272, "24", "MP3");
        WriteProfile("devices/Beta/n1.ini", 800, 480, "29.97", "AAC");
    }

    QString Root() const { return m_root.path() + '/'; }
    QString Program() const { return Root() + QStringLiteral("program/"); }
    QString ConfigHome() const { return Root() + QStringLiteral("config"); }
    QString Videos() const { return Root() + QStringLiteral("videos"); }
    QString Config() const { return Program() + QStringLiteral("config.ini"); }
    QString StateHome() const { return Root() + QStringLiteral("state"); }

    kv::app::TWindowPaths Paths() const
    {
        return {Program(), ConfigHome(), Videos(), QStringLiteral(KELVANE_CLI), StateHome()};
    }

    void WriteFile(const QString& RelativePath, const QByteArray& Content) const
    {
        const QString path = Program() + RelativePath;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(Content);
    }

    void WriteProfile(const QString& Name, int Width, int Height, const char* Fps, const char* AudioCodec) const
    {
        WriteFile(QStringLiteral("profiles/") + Name,
                  QStringLiteral("[mediatype]\nType=test\n[video]\nVideoCodec=MPEG4\nVideoBitrate=384000\n"
                                 "Width=%1\nHeight=%2\nFPS=%3\n[audio]\nAudioCodec=%4\n")
                      .arg(Width)
                      .arg(Height)
                      .arg(QString::fromLatin1(Fps), QString::fromLatin1(AudioCodec))
                      .toUtf8());
    }

    // A remembered value of config.ini, '' when it is not there.
    QString Setting(const QString& Section, const QString& Key) const
    {
        return QString::fromStdString(
            kv::presets::TIniFile(Config().toStdString()).ReadString(Section.toStdString(), Key.toStdString(), ""));
    }

private:
    QTemporaryDir m_root;
};

// The size of what is written for File: its hidden file while the output is written under one.
inline qint64 WrittenSize(const QString& File)
{
    const QFileInfo info(File);
    const QStringList hidden = info.dir().entryList(
        {QLatin1Char('.') + info.completeBaseName() + QStringLiteral(".kvtmp-*")}, QDir::Files | QDir::Hidden);
    return QFileInfo(hidden.isEmpty() ? File : info.dir().filePath(hidden.first())).size();
}

}  // namespace kvtest
