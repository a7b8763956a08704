// The preset and device combos: their lists, the labels, the output tabs, and which choices are remembered
// and brought back on the next start.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "WindowLogicSupport.h"
#include "app/logic/ProfileChoices.h"
#include "component/DIdezuDOR.h"
#include "presets/OutputTables.h"

namespace {

using kv::app::TWindowLogic;
using kvtest::TDesktopRecorder;
using kvtest::TProgramFolder;

// A window's logic started as the window starts it.
struct TStartedLogic {
    explicit TStartedLogic(const TProgramFolder& Folder) : Logic(Desktop.Ports(), Folder.Paths())
    {
        Logic.Create(Engine);
        Logic.Show();
    }
    TDesktopRecorder Desktop;
    kv::TDIdezuDOR Engine;
    TWindowLogic Logic;
};

std::map<QString, QString> Selections(const TProgramFolder& Folder)
{
    std::map<QString, QString> values;
    for (const char* key : {"combobox1", "combobox2", "combobox3", "combobox4", "tabindex"}) {
        const QString value = Folder.Setting(QStringLiteral("select"), QString::fromLatin1(key));
        if (!value.isEmpty())
            values[QString::fromLatin1(key)] = value;
    }
    return values;
}

TEST(ProfileChoicesTest, CombosListTheProfileFolders)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    EXPECT_EQ(TWindowLogic::FileTypeItems().size(), 11);
    EXPECT_EQ(TWindowLogic::FileTypeItems()[2], QStringLiteral("AVI (适合电脑和部分手机 MP4播放器)"));

    struct TCase {
        int FileType;
        QStringList Presets;
    };
    const TCase cases[] = {
        {0, {QStringLiteral("a"), QStringLiteral("b")}},
        {1, {QStringLiteral("y"), QStringLiteral("x")}},  // the sub-folder's files first
        {2, {QStringLiteral("A")}},                       // upper-case extension listed, note.txt not
        {3, {}},                                          // no folder
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.FileType);
        logic.FileTypeChanged(c.FileType, true);
        EXPECT_EQ(logic.FileTypeIndex(), c.FileType);
        EXPECT_EQ(logic.PresetItems(), c.Presets);
        EXPECT_EQ(logic.PresetIndex(), c.Presets.isEmpty() ? -1 : 0);
    }
    EXPECT_EQ(logic.BrandItems(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    logic.BrandChanged(1, true);
    EXPECT_EQ(logic.ModelItems(), QStringList{QStringLiteral("n1")});
}

TEST(ProfileChoicesTest, OnlyTheUsersChoicesAreWrittenBack)
{
    using TSelections = std::map<QString, QString>;
    struct TCase {
        const char* Name;
        std::function<void(TWindowLogic&)> Act;
        TSelections Expected;
    };
    const TCase cases[] = {
        {"start-up alone", [](TWindowLogic&) {}, {}},
        {"file type chosen by the program", [](TWindowLogic& l) { l.FileTypeChanged(1, false); }, {}},
        {"file type chosen by the user",
         [](TWindowLogic& l) { l.FileTypeChanged(1, true); },
         {{"combobox1", "1"}, {"combobox2", "0"}}},
        {"file type after a click on its combo",
         [](TWindowLogic& l) {
             l.FileTypeClicked();
             l.FileTypeChanged(1, false);
         },
         {{"combobox1", "1"}, {"combobox2", "0"}}},
        {"preset chosen by the user",
         [](TWindowLogic& l) { l.PresetChanged(1, true); },
         {{"combobox1", "0"}, {"combobox2", "1"}}},
        {"preset chosen by the program", [](TWindowLogic& l) { l.PresetChanged(1, false); }, {}},
        {"the mark goes with the change it was for",
         [](TWindowLogic& l) {
             l.PresetChanged(1, true);
             l.FileTypeChanged(1, false);
         },
         {{"combobox1", "0"}, {"combobox2", "1"}}},
        {"model chosen by the user",
         [](TWindowLogic& l) { l.ModelChanged(1, true); },
         {{"combobox3", "0"}, {"combobox4", "1"}}},
        {"brand after a click on the model combo",
         [](TWindowLogic& l) {
             l.BrandClicked();
             l.BrandChanged(1, false);
         },
         {{"combobox3", "1"}, {"combobox4", "0"}}},
        {"brand chosen by the program", [](TWindowLogic& l) { l.BrandChanged(1, false); }, {}},
        {"a click on the file type does not remember the brand",
         [](TWindowLogic& l) {
             l.FileTypeClicked();
             l.BrandChanged(1, false);
         },
         {}},
        {"tab change", [](TWindowLogic& l) { l.TabChanged(3); }, {{"tabindex", "3"}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TProgramFolder folder;
        TStartedLogic started(folder);
        c.Act(started.Logic);
        EXPECT_EQ(Selections(folder), c.Expected);
    }
}

TEST(ProfileChoicesTest, ARestartBringsBackTheUsersChoicesAndOpensOnTheFirstTab)
{
    TProgramFolder folder;
    {
        TStartedLogic first(folder);
        first.Logic.FileTypeChanged(1, true);
        first.Logic.PresetChanged(1, true);
        first.Logic.TabChanged(1);
        first.Logic.BrandChanged(1, true);
        first.Logic.ModelChanged(0, true);
    }
    TStartedLogic second(folder);
    TWindowLogic& logic = second.Logic;
    EXPECT_EQ(logic.FileTypeIndex(), 1);
    EXPECT_EQ(logic.PresetItems(), (QStringList{QStringLiteral("y"), QStringLiteral("x")}));
    EXPECT_EQ(logic.PresetIndex(), 1);
    EXPECT_EQ(logic.BrandIndex(), 1);
    EXPECT_EQ(logic.ModelItems(), QStringList{QStringLiteral("n1")});
    EXPECT_EQ(logic.ModelIndex(), 0);
    EXPECT_EQ(logic.ActiveTab(), 0);
    // The labels show the restored preset (x.ini), the tab the window opens on.
    EXPECT_EQ(logic.Labels().FrameSize, QStringLiteral("视频像素：320X240"));
    EXPECT_EQ(logic.Labels().FrameRate, QStringLiteral("帧速率：18"));
    // Bringing the choices back wrote nothing.
    EXPECT_EQ(folder.Setting(QStringLiteral("select"), QStringLiteral("tabindex")), QStringLiteral("1"));
}

TEST(ProfileChoicesTest, ARememberedIndexBeyondTheItemsSelectsTheFirst)
{
    struct TCase {
        const char* Name;
        QByteArray Select;
        int FileType, Preset, Brand, Model;
    };
    const TCase cases[] = {
        {"all within", "combobox1=1\ncombobox2=1\ncombobox3=0\ncombobox4=1\n", 1, 1, 0, 1},
        {"file type beyond the nine", "combobox1=42\ncombobox2=1\n", 0, 1, 0, 0},
        {"preset beyond its folder", "combobox1=2\ncombobox2=5\n", 2, 0, 0, 0},
        {"brand and model beyond", "combobox3=7\ncombobox4=3\n", 0, 0, 0, 0},
        {"model beyond its brand", "combobox3=1\ncombobox4=1\n", 0, 0, 1, 0},
        {"negative and broken", "combobox1=-1\ncombobox2=x\ncombobox3=-5\n", 0, 0, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TProgramFolder folder;
        folder.WriteFile(QStringLiteral("config.ini"), "[select]\n" + c.Select);
        TStartedLogic started(folder);
        EXPECT_EQ(started.Logic.FileTypeIndex(), c.FileType);
        EXPECT_EQ(started.Logic.PresetIndex(), c.Preset);
        EXPECT_EQ(started.Logic.BrandIndex(), c.Brand);
        EXPECT_EQ(started.Logic.ModelIndex(), c.Model);
        EXPECT_FALSE(started.Logic.Labels().FrameSize.isEmpty());
    }
}

TEST(ProfileChoicesTest, LabelsFollowTheTabShown)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    logic.PresetChanged(1, true);  // 3GP b.ini: 352x288, 29.97, MP3
    logic.BrandChanged(1, true);   // Beta n1.ini: 800x480, 29.97, AAC
    struct TStep {
        int Tab;
        QString FrameSize;
        QString FrameRate;
        QString AudioCodec;
    };
    const TStep steps[] = {
        {0, QStringLiteral("视频像素：352X288"), QStringLiteral("帧速率：29.97"), QStringLiteral("音频编码：MP3")},
        {1, QStringLiteral("视频像素：800X480"), QStringLiteral("桢速率：29.97"), QStringLiteral("音频编码：AAC")},
        // The analysis tab shows its analysis (none yet), the custom tab its edits and its type's codecs.
        {2, QString(), QString(), QString()},
        {0, QStringLiteral("视频像素：352X288"), QStringLiteral("帧速率：29.97"), QStringLiteral("音频编码：MP3")},
        {3, QStringLiteral("视频像素：220X176"), QStringLiteral("帧速率：15"), QStringLiteral("音频编码：AAC")},
        {1, QStringLiteral("视频像素：800X480"), QStringLiteral("桢速率：29.97"), QStringLiteral("音频编码：AAC")},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Tab);
        logic.TabChanged(step.Tab);
        EXPECT_EQ(logic.ActiveTab(), step.Tab);
        EXPECT_EQ(logic.Labels().FrameSize, step.FrameSize);
        EXPECT_EQ(logic.Labels().FrameRate, step.FrameRate);
        EXPECT_EQ(logic.Labels().AudioCodec, step.AudioCodec);
        EXPECT_EQ(folder.Setting(QStringLiteral("select"), QStringLiteral("tabindex")), QString::number(step.Tab));
    }
    EXPECT_EQ(TWindowLogic::TabImage(1, 1), 5);
    EXPECT_EQ(TWindowLogic::TabImage(2, 1), 2);
}

TEST(ProfileChoicesTest, AFileTypeWithoutPresetsKeepsTheLabelsAndTheProfiles)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    logic.PresetChanged(1, true);
    const kv::app::TInfoLabels before = logic.Labels();
    logic.FileTypeChanged(3, true);  // MPEG: no folder
    EXPECT_TRUE(logic.PresetItems().isEmpty());
    EXPECT_EQ(logic.Labels().FrameSize, before.FrameSize);
    EXPECT_EQ(logic.Labels().AudioCodec, before.AudioCodec);
}

TEST(ProfileChoicesTest, EachFileTypeListsTheFolderItsCaptionNames)
{
    const QStringList& captions = kv::app::FileTypeCaptions();
    ASSERT_EQ(captions.size(), 11);
    for (int type = 0; type < captions.size(); ++type)
        EXPECT_EQ(captions[type].left(captions[type].indexOf('(')).trimmed().toStdString(),
                  kv::presets::FileTypeFolder(type));
    EXPECT_EQ(captions[9], QStringLiteral("MP4-H264  (现代手机、平板、电视)"));
    EXPECT_EQ(captions[10], QStringLiteral("MKV-WEBM  (H.265, VP9, AV1 高效编码)"));
    // The custom tab keeps the nine types it can make.
    EXPECT_EQ(kv::app::CustomTypeCaptions(), captions.mid(0, 9));
    EXPECT_EQ(kv::app::CustomTypeCaptions().size(), static_cast<int>(kv::presets::CustomTypes().size()));
}

TEST(ProfileChoicesTest, AQualityPresetShowsItsQualityWhereOthersShowABitrate)
{
    TProgramFolder folder;
    folder.WriteFile(QStringLiteral("profiles/videoconvert/MP4-H264/01 q.ini"),
                     "[mediatype]\nType=mp4\n[video]\nVideoCodec=H264\nVideoBitrate=0\nQuality=CRF 23\n"
                     "Width=1280\nHeight=720\nFPS=0\n[audio]\nAudioCodec=AAC\n");
    folder.WriteFile(QStringLiteral("profiles/videoconvert/MP4-H264/02 r.ini"),
                     "[video]\nVideoCodec=H264\nQuality=CRF 20\nFPS=30\n");
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    logic.FileTypeChanged(9, true);
    EXPECT_EQ(logic.PresetItems(), (QStringList{QStringLiteral("01 q"), QStringLiteral("02 r")}));
    EXPECT_EQ(logic.Labels().VideoBitrate, QStringLiteral("视频码率：CRF 23"));
    EXPECT_EQ(logic.Labels().FrameRate, QStringLiteral("帧速率：同原视频 (最高60)"));
    EXPECT_EQ(logic.Labels().FrameSize, QStringLiteral("视频像素：1280X720"));
    logic.PresetChanged(1, true);
    EXPECT_EQ(logic.Labels().VideoBitrate, QStringLiteral("视频码率：CRF 20"));
    EXPECT_EQ(logic.Labels().FrameRate, QStringLiteral("帧速率：30"));
    // A preset of a bitrate shows its bitrate again.
    logic.FileTypeChanged(1, true);
    EXPECT_EQ(logic.Labels().VideoBitrate, QStringLiteral("视频码率：384000"));
    EXPECT_EQ(logic.Labels().FrameRate, QStringLiteral("帧速率：24"));
}

TEST(ProfileChoicesTest, AConfigurationFromBeforeTheNewTypesRestoresTheSameChoices)
{
    TProgramFolder folder;
    folder.WriteFile(QStringLiteral("profiles/videoconvert/MP4-H264/01 q.ini"), "[video]\nQuality=CRF 23\n");
    folder.WriteFile(QStringLiteral("config.ini"),
                     "[select]\ncombobox1=1\ncombobox2=1\ncombobox3=1\ncombobox4=0\ntabindex=0\n");
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    EXPECT_EQ(logic.FileTypeIndex(), 1);
    EXPECT_EQ(logic.PresetIndex(), 1);
    EXPECT_EQ(logic.PresetItems(), (QStringList{QStringLiteral("y"), QStringLiteral("x")}));
    EXPECT_EQ(logic.BrandIndex(), 1);
    EXPECT_EQ(logic.ModelIndex(), 0);
    EXPECT_EQ(logic.Labels().FrameSize, QStringLiteral("视频像素：320X240"));
    // And a new type is remembered by its own index.
    logic.FileTypeChanged(9, true);
    EXPECT_EQ(folder.Setting(QStringLiteral("select"), QStringLiteral("combobox1")), QStringLiteral("9"));
}

}  // namespace
