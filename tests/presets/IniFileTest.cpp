// INI files: GBK values written by the Windows version, names in any letter case, writes that keep the
// rest of the file.
#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "FileHelpers.h"
#include "TestSupport.h"
#include "presets/IniFile.h"

namespace {

using kv::presets::TIniFile;

std::string WriteFile(const std::string& Folder, const char* Name, const std::string& Content)
{
    const std::string path = Folder + "/" + Name;
    kvtest::WriteBytes(path, Content);
    return path;
}

std::string ReadFile(const std::string& Path) { return kvtest::ReadBytes(Path); }

// "视频编码" and "输出视频" in GBK.
const std::string GbkCodec("\xCA\xD3\xC6\xB5\xB1\xE0\xC2\xEB");
const std::string GbkFolder("\xCA\xE4\xB3\xF6\xCA\xD3\xC6\xB5");

TEST(IniFileTest, ValuesReadAsUtf8OrElseAsGbk)
{
    kvtest::TempFolder folder("ini");
    const std::string path =
        WriteFile(folder.Path, "config.ini",
                  "[savepath]\r\npath=/home/user/" + GbkFolder +
                      "\r\n"
                      "[video]\r\nVideoCodec=" +
                      GbkCodec + "\r\nUtf=" + std::string("视频编码") + "\r\nQuoted=\" spaced \"\r\n");
    const TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("savepath", "path", ""), std::string("/home/user/输出视频"));
    EXPECT_EQ(ini.ReadString("video", "VideoCodec", ""), std::string("视频编码"));
    EXPECT_EQ(ini.ReadString("video", "Utf", ""), std::string("视频编码"));
    EXPECT_EQ(ini.ReadString("video", "Quoted", ""), std::string(" spaced "));
}

TEST(IniFileTest, SectionAndKeyNamesMatchInAnyLetterCase)
{
    kvtest::TempFolder folder("ini");
    const TIniFile ini(WriteFile(folder.Path, "p.ini", "[Video]\nVideoBitrate = 384000\n[audio]\nAudioCodec=AAC\n"));
    const struct {
        const char* Section;
        const char* Key;
        const char* Expected;
    } cases[] = {
        {"video", "videobitrate", "384000"}, {"VIDEO", "VIDEOBITRATE", "384000"}, {" Video ", "VideoBitrate", "384000"},
        {"AUDIO", "audiocodec", "AAC"},      {"video", "AudioCodec", "none"},     {"vid", "VideoBitrate", "none"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, "none"), std::string(c.Expected)) << c.Section << "/" << c.Key;
    EXPECT_TRUE(ini.ValueExists("VIDEO", "videobitrate"));
    EXPECT_FALSE(ini.ValueExists("audio", "videobitrate"));
}

TEST(IniFileTest, NumbersThatDoNotReadGiveTheDefault)
{
    kvtest::TempFolder folder("ini");
    const TIniFile ini(WriteFile(folder.Path, "n.ini",
                                 "[v]\nplain=384000\nblanks=  25  \nnegative=-3\nfraction=29.97\ncomma=29,97\n"
                                 "text=abc\ntail=12a\nempty=\nhuge=99999999999\n"));
    const struct {
        const char* Key;
        int Integer;
        double Float;
    } cases[] = {
        {"plain", 384000, 384000}, {"blanks", 25, 25},  {"negative", -3, -3}, {"fraction", -1, 29.97},
        {"comma", -1, 29.97},      {"text", -1, -1},    {"tail", -1, -1},     {"empty", -1, -1},
        {"huge", -1, 99999999999}, {"missing", -1, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini.ReadInteger("v", c.Key, -1), c.Integer) << c.Key;
        EXPECT_DOUBLE_EQ(ini.ReadFloat("v", c.Key, -1), c.Float) << c.Key;
    }
}

TEST(IniFileTest, NumbersReadAndWriteTheSameInALocaleWithADecimalComma)
{
    const std::string before = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "no de_DE locale";
    kvtest::TempFolder folder("ini");
    TIniFile ini(WriteFile(folder.Path, "n.ini", "[v]\nfraction=29.97\ncomma=29,97\n"));
    const double fraction = ini.ReadFloat("v", "fraction", -1);
    const double comma = ini.ReadFloat("v", "comma", -1);
    const bool written = ini.WriteFloat("v", "written", 23.976);
    const std::string writtenText = ini.ReadString("v", "written", "");
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_DOUBLE_EQ(fraction, 29.97);
    EXPECT_DOUBLE_EQ(comma, 29.97);
    ASSERT_TRUE(written);
    EXPECT_EQ(writtenText, "23.976");
}

TEST(IniFileTest, WritingAKeyKeepsEverythingElseOfTheFile)
{
    kvtest::TempFolder folder("ini");
    const std::string before = "; settings of the converter\r\n"
                               "[savepath]\r\n"
                               "; " +
                               GbkFolder +
                               " is where the files go\r\n"
                               "Path = /old\r\n"
                               "\r\n"
                               "[select]\r\n"
                               "combobox1=2\r\n"
                               "# remembered choices\r\n"
                               "\r\n";
    const std::string path = WriteFile(folder.Path, "config.ini", before);

    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("SAVEPATH", "path", std::string("/home/用户/输出视频")));
    ASSERT_TRUE(ini.WriteInteger("select", "combobox2", 7));
    ASSERT_TRUE(ini.WriteString("skin", "name", "Topaz"));
    const std::string expected = "; settings of the converter\r\n"
                                 "[savepath]\r\n"
                                 "; " +
                                 GbkFolder +
                                 " is where the files go\r\n"
                                 "Path=" +
                                 std::string("/home/用户/输出视频") +
                                 "\r\n"
                                 "\r\n"
                                 "[select]\r\n"
                                 "combobox1=2\r\n"
                                 "# remembered choices\r\n"
                                 "combobox2=7\r\n"
                                 "\r\n"
                                 "[skin]\r\n"
                                 "name=Topaz\r\n";
    EXPECT_EQ(ReadFile(path), expected);
    // What was written reads back, through this object and a new one.
    EXPECT_EQ(ini.ReadString("savepath", "Path", ""), std::string("/home/用户/输出视频"));
    EXPECT_EQ(TIniFile(path).ReadInteger("select", "combobox2", 0), 7);
}

TEST(IniFileTest, WritesKeepWhatAnotherWriterChangedMeanwhile)
{
    kvtest::TempFolder folder("ini");
    const std::string path = WriteFile(folder.Path, "config.ini", "[select]\ncombobox1=0\n");
    TIniFile first(path);
    TIniFile second(path);
    ASSERT_TRUE(first.WriteInteger("select", "combobox1", 3));
    ASSERT_TRUE(second.WriteInteger("select", "combobox3", 5));
    const TIniFile after(path);
    EXPECT_EQ(after.ReadInteger("select", "combobox1", -1), 3);
    EXPECT_EQ(after.ReadInteger("select", "combobox3", -1), 5);
}

TEST(IniFileTest, ANewFileIsCreatedAndAnUnwritableOneReportsFailure)
{
    kvtest::TempFolder folder("ini");
    const std::string fresh = folder.Path + "/extfile.ini";
    TIniFile ini(fresh);
    EXPECT_EQ(ini.ReadString("mediatype", "Type", "avi"), std::string("avi"));
    ASSERT_TRUE(ini.WriteString("mediatype", "Type", "mp4"));
    ASSERT_TRUE(ini.WriteFloat("video", "FPS", 29.97));
    EXPECT_EQ(ReadFile(fresh), std::string("[mediatype]\nType=mp4\n\n[video]\nFPS=29.97\n"));

    TIniFile nowhere(folder.Path + "/missing/config.ini");
    EXPECT_FALSE(nowhere.WriteInteger("select", "combobox1", 1));
    EXPECT_EQ(nowhere.ReadInteger("select", "combobox1", -1), -1);
}

TEST(IniFileTest, AWriteReplacesTheFileItLinksToAndKeepsItsPermissions)
{
    kvtest::TempFolder folder("ini");
    const std::string target = WriteFile(folder.Path, "real.ini", "[select]\ncombobox1=0\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const std::string link = folder.Path + "/config.ini";
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);

    TIniFile ini(link);
    ASSERT_TRUE(ini.WriteInteger("select", "combobox1", 4));
    EXPECT_EQ(ReadFile(target), std::string("[select]\ncombobox1=4\n"));
    struct stat info {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link stays a link";
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    // Nothing is left beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path), {}), 2);
}

TEST(IniFileTest, AValueWithALineBreakIsRefusedAndTheFileKept)
{
    kvtest::TempFolder folder("ini");
    const std::string before = "[savepath]\nnewfilepath=/old\n";
    const std::string path = WriteFile(folder.Path, "config.ini", before);
    TIniFile ini(path);
    for (const char* value : {"/home/a\n[select]\ncombobox1=7", "/home/a\rb"})
        EXPECT_FALSE(ini.WriteString("savepath", "newfilepath", value)) << value;
    EXPECT_FALSE(ini.WriteString("save\npath", "newfilepath", "/new"));
    EXPECT_FALSE(ini.WriteString("savepath", "new\nfilepath", "/new"));
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(ini.ReadString("savepath", "newfilepath", ""), "/old");
}

}  // namespace
