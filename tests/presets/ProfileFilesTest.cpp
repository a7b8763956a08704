// Preset profiles: the listing order that meets the tables, the profile record, and the texts and numbers
// they are made of.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FileHelpers.h"
#include "TestSupport.h"
#include "presets/Numbers.h"
#include "presets/ProfileFiles.h"
#include "presets/Text.h"

namespace {

using namespace kv::presets;
using TNames = std::vector<std::string>;
namespace fs = std::filesystem;

TNames Relative(const TNames& Paths, const std::string& Root)
{
    TNames result;
    for (const std::string& path : Paths)
        result.push_back(fs::path(path).lexically_relative(Root).string());
    return result;
}

TEST(ProfileFilesTest, SubFolderFilesComeFirstAndEachFolderIsSortedIgnoringCase)
{
    kvtest::TempFolder temp("profiles");
    const std::string root = temp.Path + "/AVI";
    for (const char* name : {"b.ini", "A.INI", "a.txt", "c.ini.bak", "sub/y.ini", "sub/deeper/w.iNi", "Sub2/z.Ini",
                             "Sub2/notes.txt", "C.ini"})
        kvtest::WriteBytes(root + "/" + name);
    fs::create_directories(root + "/empty");

    TNames list;
    GetFileList(list, root, ".ini");
    EXPECT_EQ(Relative(list, root), TNames({"sub/deeper/w.iNi", "sub/y.ini", "Sub2/z.Ini", "A.INI", "b.ini", "C.ini"}));

    // The extension may be given without its dot; the list is appended to.
    TNames appended = {"kept"};
    GetFileList(appended, root + "/sub", "INI");
    EXPECT_EQ(appended.size(), 3u);
    EXPECT_EQ(appended.front(), "kept");

    // A missing folder clears the list.
    GetFileList(appended, root + "/missing", ".ini");
    EXPECT_TRUE(appended.empty());
}

TEST(ProfileFilesTest, BrandsAreTheSubFoldersSortedIgnoringCase)
{
    kvtest::TempFolder temp("profiles");
    const std::string root = temp.Path + "/devices";
    for (const char* name : {"zeta/m.ini", "Alpha/m.ini", "beta/m.ini", "loose.ini"})
        kvtest::WriteBytes(root + "/" + name);
    fs::create_directories(root + "/Gamma");

    TNames brands;
    GetFileList2(brands, root);
    EXPECT_EQ(brands, TNames({"Alpha", "beta", "Gamma", "zeta"}));
    GetFileList2(brands, root + "/missing");
    EXPECT_TRUE(brands.empty());
}

TEST(ProfileFilesTest, ALinkBackToAParentFolderIsListedOnce)
{
    kvtest::TempFolder temp("profiles");
    const std::string root = temp.Path + "/MP4";
    kvtest::WriteBytes(root + "/x.ini");
    kvtest::WriteBytes(root + "/sub/y.ini");
    fs::create_directory_symlink(root, root + "/sub/loop");
    TNames list;
    GetFileList(list, root, ".ini");
    EXPECT_EQ(Relative(list, root), TNames({"sub/y.ini", "x.ini"}));
}

TEST(ProfileFilesTest, TextBeforeTheDelimiter)
{
    const struct {
        const char* Text;
        const char* Delimiter;
        const char* Expected;
    } cases[] = {
        {"AVI (适合电脑和部分手机 MP4播放器)", "(", "AVI "},
        {"MPEG  (VCD、DVD播放机)", "(", "MPEG  "},
        {"no delimiter", "(", "no delimiter"},
        {"(starts", "(", ""},
        {"a(b(c", "(", "a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextBefore(c.Text, c.Delimiter), std::string(c.Expected)) << c.Text;
}

TEST(ProfileFilesTest, AProfileIsReadIntoItsRecord)
{
    kvtest::TempFolder temp("profiles");
    kvtest::WriteBytes(temp.Path + "/ntsc.ini",
                       "[mediatype]\nType=mp4\n[video]\nVideoCodec=MPEG4\nVideoBitrate=384000\n"
                       "Width=352\nHeight=288\nFPS=29.97\nAspectRatio=1.22\n"
                       "[audio]\nAudioCodec=AAC\nAudioBitrate=96000\nSampleRate=44100\nChannel=2\nVolume=256\n");
    const TProfile ntsc = ReadProfile(temp.Path + "/ntsc.ini");
    EXPECT_EQ(ntsc.Type, "mp4");
    EXPECT_EQ(ntsc.Width, 352);
    EXPECT_DOUBLE_EQ(ntsc.AspectRatio, 1.22);
    EXPECT_EQ(ntsc.SampleRate, 44100);
    EXPECT_EQ(ntsc.Channel, 2);
    EXPECT_EQ(ntsc.Volume, 256);
    EXPECT_EQ(ntsc.AudioBitrate, 96000);
}

TEST(ProfileFilesTest, ShortestDecimalText)
{
    const std::pair<double, const char*> cases[] = {{15, "15"}, {29.97, "29.97"},     {23.976, "23.976"},
                                                    {0, "0"},   {1800000, "1800000"}, {12000000, "12000000"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(ShortestDecimal(value), std::string(text)) << text;
}

}  // namespace
