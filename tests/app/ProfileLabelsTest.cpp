// Preset profiles as the window shows them: listed in the order Qt sorted them, and their label texts.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/logic/ProfileLabels.h"
#include "presets/ProfileFiles.h"

namespace {

using namespace kv::app;
using namespace kv::presets;
using TNames = std::vector<std::string>;

void Touch(const QString& Path, const QByteArray& Content = {})
{
    QDir().mkpath(QFileInfo(Path).path());
    QFile file(Path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << Path.toStdString();
    file.write(Content);
}

TNames Relative(const TNames& Paths, const std::string& Root)
{
    TNames result;
    for (const std::string& path : Paths)
        result.push_back(
            QDir(QString::fromStdString(Root)).relativeFilePath(QString::fromStdString(path)).toStdString());
    return result;
}

// The order the window listed folders in, with Qt: by name ignoring case, then by UTF-16 code units.
TNames QtOrder(TNames Names)
{
    std::sort(Names.begin(), Names.end(), [](const std::string& A, const std::string& B) {
        const QString a = QString::fromStdString(A), b = QString::fromStdString(B);
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return Names;
}

TEST(ProfileFilesTest, FoldersAndFilesAreListedInTheOrderQtSortsThem)
{
    // Mixed case, letters beyond ASCII that fold (Kelvin sign, final sigma, titlecase digraphs, full-width
    // and Deseret letters), letters that do not (sharp s, dotted I), CJK brand names, digits, punctuation,
    // private use and characters beyond the BMP, whose UTF-16 order differs from their UTF-8 order.
    const TNames names = {"Zeta",  "alpha", "ALPHA2", "Äpfel", "apfel", "äpfel", "华为",   "三星",    "索尼",
                          "Ｓony", "sony",  "SONY2",  "Σ1",    "σ2",    "ς3",    "ǅa",     "ǆb",      "Ǆc",
                          "ß",     "ss",    "İx",     "ix",    "ıy",    "𐐀d",    "𐐨e",     "\uE000p", "😀",
                          "a_b",   "a-b",   "A1",     "a10",   "a2",    "Ω",     "ω1",     "\u212Ak", "kz",
                          "Bose",  "bose2", "BOSE3",  "長虹",  "TCL",   "tcl2",  ".hidden"};
    kvtest::TempFolder temp("order");
    const std::string root = temp.Path + "/devices";
    for (const std::string& name : names)
        Touch(QString::fromStdString(root + "/" + name + "/m.ini"));
    TNames brands;
    GetFileList2(brands, root);
    EXPECT_EQ(brands, QtOrder(names));

    const std::string files = temp.Path + "/MP4";
    TNames expected;
    for (const std::string& name : QtOrder(names)) {
        Touch(QString::fromStdString(files + "/" + name + ".ini"));
        expected.push_back(name + ".ini");
    }
    TNames listed;
    GetFileList(listed, files, ".ini");
    EXPECT_EQ(Relative(listed, files), QtOrder(expected));
}

TEST(ProfileFilesTest, LabelsOfAProfile)
{
    kvtest::TempFolder temp("profiles");
    const QString folder = QString::fromStdString(temp.Path);
    Touch(folder + "/ntsc.ini",
          "[mediatype]\nType=mp4\n[video]\nVideoCodec=MPEG4\nVideoBitrate=384000\n"
          "Width=352\nHeight=288\nFPS=29.97\nAspectRatio=1.22\n"
          "[audio]\nAudioCodec=AAC\nAudioBitrate=96000\nSampleRate=44100\nChannel=2\nVolume=256\n");
    // Written on Windows: GBK text ("视频编码"), "," as the decimal point, CRLF line ends.
    Touch(folder + "/gbk.ini", "[VIDEO]\r\nVideoCodec=\xCA\xD3\xC6\xB5\xB1\xE0\xC2\xEB\r\nFPS=15\r\n"
                               "VideoBitrate=12.5\r\n[Audio]\r\naudiocodec=MP3\r\n");

    const struct {
        const char* File;
        bool DeviceTab;
        const char* Size;
        const char* VideoCodec;
        const char* Bitrate;
        const char* FrameRate;
        const char* AudioCodec;
    } cases[] = {
        {"ntsc.ini", false, "视频像素：352X288", "视频编码：MPEG4", "视频码率：384000", "帧速率：29.97",
         "音频编码：AAC"},
        {"ntsc.ini", true, "视频像素：352X288", "视频编码：MPEG4", "视频码率：384000", "桢速率：29.97",
         "音频编码：AAC"},
        {"gbk.ini", false, "视频像素：0X0", "视频编码：视频编码", "视频码率：0", "帧速率：15", "音频编码：MP3"},
        {"missing.ini", true, "视频像素：0X0", "视频编码：", "视频码率：0", "桢速率：0", "音频编码："},
    };
    for (const auto& c : cases) {
        const TProfileLabels labels = ProfileLabels(ReadProfile((folder + "/" + c.File).toStdString()), c.DeviceTab);
        EXPECT_EQ(labels.FrameSize, QString::fromUtf8(c.Size)) << c.File;
        EXPECT_EQ(labels.VideoCodec, QString::fromUtf8(c.VideoCodec)) << c.File;
        EXPECT_EQ(labels.VideoBitrate, QString::fromUtf8(c.Bitrate)) << c.File;
        EXPECT_EQ(labels.FrameRate, QString::fromUtf8(c.FrameRate)) << c.File;
        EXPECT_EQ(labels.AudioCodec, QString::fromUtf8(c.AudioCodec)) << c.File;
    }
}

}  // namespace
