// Start-up of the window's logic: where the settings live, the output folder, the skin, the libraries,
// and choosing and opening the output folder.
#include <gtest/gtest.h>

#include "WindowLogicSupport.h"
#include "app/logic/Settings.h"
#include "component/DIdezuDOR.h"

namespace {

using kvtest::TDesktopRecorder;
using kvtest::TProgramFolder;

TEST(StartupSettingsTest, SettingsLiveBesideTheProgramOnlyWhenItsFolderCanBeWrittenAndIsNotInstalled)
{
    TProgramFolder folder;
    const QString xdg = folder.ConfigHome() + QStringLiteral("/kelvane/");
    // An installed program: PREFIX/bin/ with its data in PREFIX/share/kelvane/; the test can write bin/.
    const QString installed = folder.Root() + QStringLiteral("prefix/bin/");
    QDir().mkpath(installed);
    QDir().mkpath(folder.Root() + QStringLiteral("prefix/share/kelvane/profiles"));
    struct TCase {
        const char* Name;
        QString ProgramFolder;
        QString ConfigHome;
        QString Expected;
    };
    const TCase cases[] = {
        {"writable program folder", folder.Program(), folder.ConfigHome(), folder.Program()},
        // Nobody, the administrator included, can make files directly in /proc.
        {"program folder that takes no files", QStringLiteral("/proc/"), folder.ConfigHome(), xdg},
        {"missing program folder", folder.Root() + QStringLiteral("gone/"), folder.ConfigHome(), xdg},
        {"installed program folder that could be written", installed, folder.ConfigHome(), xdg},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(kv::app::ChooseDataFolder(c.ProgramFolder, c.ConfigHome), c.Expected);
    }
    EXPECT_TRUE(QFileInfo(xdg).isDir()) << "the configuration folder is made when it is needed";

    // Without $XDG_CONFIG_HOME the folder is ~/.config/kelvane/.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", folder.Root().toUtf8());
    const QString chosen = kv::app::ChooseDataFolder(QStringLiteral("/proc/"), QString());
    qputenv("HOME", home);
    EXPECT_EQ(chosen, folder.Root() + QStringLiteral(".config/kelvane/"));
}

TEST(StartupSettingsTest, ChoicesAreRememberedInTheConfigurationFolderWhenTheProgramFolderIsReadOnly)
{
    TProgramFolder folder;
    TDesktopRecorder desktop;
    kv::app::TWindowPaths paths = folder.Paths();
    paths.ProgramFolder = QStringLiteral("/proc/");
    kv::app::TWindowLogic logic(desktop.Ports(), paths);
    EXPECT_EQ(logic.ConfigFile(), folder.ConfigHome() + QStringLiteral("/kelvane/config.ini"));
    EXPECT_EQ(logic.ExtFile(), folder.ConfigHome() + QStringLiteral("/kelvane/extfile.ini"));
    logic.TabChanged(2);
    EXPECT_EQ(kv::presets::TIniFile(logic.ConfigFile().toStdString()).ReadInteger("select", "tabindex", -1), 2);
}

TEST(StartupSettingsTest, TheDefaultOutputFolderIsMadeInTheVideoFolderAndRemembered)
{
    TProgramFolder folder;
    TDesktopRecorder desktop;
    kv::app::TWindowPaths paths = folder.Paths();
    paths.VideosFolder = folder.Root() + QStringLiteral("home/Videos/");  // its parents are missing too
    kv::app::TWindowLogic logic(desktop.Ports(), paths);
    kv::TDIdezuDOR engine;
    logic.Create(engine);

    const QString expected = folder.Root() + QStringLiteral("home/Videos/输出视频");
    EXPECT_TRUE(desktop.Errors.isEmpty()) << desktop.Errors.join('\n').toStdString();
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_EQ(logic.OutputFolder(), expected);
    EXPECT_EQ(logic.OutputFolderText(), expected);
    EXPECT_EQ(folder.Setting(QStringLiteral("savepath"), QStringLiteral("newfilepath")), expected);
}

TEST(StartupSettingsTest, StartUpCompletesWhenTheOutputFolderCannotBeMade)
{
    TProgramFolder folder;
    struct TCase {
        const char* Name;
        QString VideosFolder;  // default folder comes from here
        QByteArray Config;     // config.ini as found
        QString Folder;        // the folder that cannot be made
    };
    const TCase cases[] = {
        {"default folder", QStringLiteral("/proc/none"), QByteArray(), QStringLiteral("/proc/none/输出视频")},
        {"remembered folder", folder.Videos(), "[savepath]\nnewfilepath=/proc/none/kept\n",
         QStringLiteral("/proc/none/kept")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile::remove(folder.Config());
        if (!c.Config.isEmpty())
            folder.WriteFile(QStringLiteral("config.ini"), c.Config);
        TDesktopRecorder desktop;
        kv::app::TWindowPaths paths = folder.Paths();
        paths.VideosFolder = c.VideosFolder;
        kv::app::TWindowLogic logic(desktop.Ports(), paths);
        kv::TDIdezuDOR engine;
        logic.Create(engine);
        EXPECT_EQ(desktop.Errors, QStringList{QStringLiteral("未能创建 ") + c.Folder + QStringLiteral(" 目录！")});
        EXPECT_EQ(logic.OutputFolderText(), c.Folder);

        // The rest of start-up still happens: libraries, automatic codec threads, the lists.
        EXPECT_TRUE(engine.LibrariesLoaded()) << engine.LastError();
        EXPECT_EQ(engine.CodecThreads(), 0);
        logic.Show();
        EXPECT_EQ(logic.PresetItems(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        EXPECT_EQ(logic.BrandItems(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    }
}

TEST(StartupSettingsTest, AConfigurationWrittenInGbkReadsCorrectly)
{
    TProgramFolder folder;
    const QString output = folder.Root() + QStringLiteral("输出视频");
    // GBK bytes of the folder's last name; section and key names in another letter case.
    folder.WriteFile(QStringLiteral("config.ini"),
                     "; written by the Windows version\r\n[SavePath]\r\nNewFilePath=" + folder.Root().toUtf8() +
                         "\xca\xe4\xb3\xf6\xca\xd3\xc6\xb5\r\n[Skin]\r\nName=WLM\r\n");
    TDesktopRecorder desktop;
    kv::app::TWindowLogic logic(desktop.Ports(), folder.Paths());
    kv::TDIdezuDOR engine;
    logic.Create(engine);
    EXPECT_EQ(logic.OutputFolder(), output);
    EXPECT_TRUE(QFileInfo(output).isDir());
    EXPECT_TRUE(desktop.Errors.isEmpty()) << desktop.Errors.join('\n').toStdString();
    EXPECT_EQ(logic.Skin().Name, QStringLiteral("WLM"));
}

TEST(StartupSettingsTest, SkinsTakeTheirColourAdjustments)
{
    TProgramFolder folder;
    struct TCase {
        QByteArray Config;
        QString Name;
        int Saturation;
        int HueOffset;
    };
    const TCase cases[] = {
        {"", QStringLiteral("Topaz"), 100, 360},
        {"[skin]\nname=Topaz\n", QStringLiteral("Topaz"), 100, 360},
        {"[skin]\nname=WLM\n", QStringLiteral("WLM"), 33, 0},
        {"[skin]\nname=Topaz2\n", QStringLiteral("Topaz2"), 0, 0},
        {"[skin]\nname=Other\n", QStringLiteral("Other"), 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Config.toStdString());
        folder.WriteFile(QStringLiteral("config.ini"), c.Config);
        TDesktopRecorder desktop;
        const kv::app::TWindowLogic logic(desktop.Ports(), folder.Paths());
        const kv::app::TSkinChoice skin = logic.Skin();
        EXPECT_EQ(skin.Name, c.Name);
        EXPECT_EQ(skin.Saturation, c.Saturation);
        EXPECT_EQ(skin.HueOffset, c.HueOffset);
    }
}

TEST(StartupSettingsTest, BrowsingChoosesTheOutputFolderButNeverTheRoot)
{
    TProgramFolder folder;
    const QString chosen = folder.Root() + QStringLiteral("chosen");
    struct TCase {
        const char* Name;
        QString Answer;
        QString Expected;  // the output folder afterwards
    };
    const QString start = folder.Root() + QStringLiteral("start");
    const TCase cases[] = {
        {"a folder", chosen, chosen},
        {"a folder with a trailing slash", chosen + '/', chosen},
        {"cancelled", QString(), start},
        {"the root", QStringLiteral("/"), start},
        {"the root written twice", QStringLiteral("//"), start},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        folder.WriteFile(QStringLiteral("config.ini"), "[savepath]\nnewfilepath=" + start.toUtf8() + "\n");
        TDesktopRecorder desktop;
        kv::app::TWindowLogic logic(desktop.Ports(), folder.Paths());
        kv::TDIdezuDOR engine;
        logic.Create(engine);
        desktop.FolderAnswer = c.Answer;
        logic.BrowseClicked();
        EXPECT_EQ(desktop.BrowseTitles, QStringList{QStringLiteral("选择一个目录")});
        EXPECT_EQ(desktop.BrowseStarts, QStringList{start});
        EXPECT_EQ(logic.OutputFolder(), c.Expected);
        EXPECT_EQ(logic.OutputFolderText(), c.Expected);
        EXPECT_EQ(folder.Setting(QStringLiteral("savepath"), QStringLiteral("newfilepath")), c.Expected);
    }
}

TEST(StartupSettingsTest, ATypedFolderIsMadeRememberedAndOpenedWhereTheOutputsGo)
{
    TProgramFolder folder;
    const QString remembered = folder.Root() + QStringLiteral("remembered");
    folder.WriteFile(QStringLiteral("blocker"), "a file where a folder would have to be\n");
    struct TCase {
        const char* Name;
        bool ByOpenButton;  // else at Start
        QString Typed;
        bool Made;
    };
    const TCase cases[] = {
        {"open: a missing folder with missing parents", true, folder.Root() + QStringLiteral("typed/a/b"), true},
        {"start: a missing folder with missing parents", false, folder.Root() + QStringLiteral("typed/c/d"), true},
        {"open: under a file", true, folder.Program() + QStringLiteral("blocker/out"), false},
        {"start: under a file", false, folder.Program() + QStringLiteral("blocker/out"), false},
        {"start: nothing typed", false, QString(), false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        folder.WriteFile(QStringLiteral("config.ini"), "[savepath]\nnewfilepath=" + remembered.toUtf8() + "\n");
        TDesktopRecorder desktop;
        kv::app::TWindowLogic logic(desktop.Ports(), folder.Paths());
        kv::TDIdezuDOR engine;
        logic.Create(engine);
        logic.OutputFolderEdited(c.Typed);
        EXPECT_EQ(folder.Setting(QStringLiteral("savepath"), QStringLiteral("newfilepath")), remembered)
            << "typing alone remembers nothing";

        bool prepared = false;
        if (c.ByOpenButton)
            logic.OpenFolderClicked();
        else
            prepared = logic.PrepareOutputFolder();
        const QString expected = c.Made ? c.Typed : remembered;
        EXPECT_EQ(folder.Setting(QStringLiteral("savepath"), QStringLiteral("newfilepath")), expected);
        EXPECT_EQ(logic.OutputFolder(), expected);
        if (c.Made) {
            EXPECT_TRUE(QFileInfo(c.Typed).isDir());
            EXPECT_TRUE(desktop.Errors.isEmpty()) << desktop.Errors.join('\n').toStdString();
            EXPECT_EQ(desktop.OpenedFolders, c.ByOpenButton ? QStringList{c.Typed} : QStringList());
            EXPECT_EQ(prepared, !c.ByOpenButton);
        } else {
            EXPECT_EQ(desktop.Errors, QStringList{kv::app::FolderNotCreatedMessage(c.Typed)});
            EXPECT_TRUE(desktop.OpenedFolders.isEmpty());
            EXPECT_FALSE(prepared);
        }

        // The browse dialog opens where the outputs go, else at the remembered folder.
        logic.BrowseClicked();
        EXPECT_EQ(desktop.BrowseStarts, QStringList{c.Made ? c.Typed : remembered});
    }
}

}  // namespace
