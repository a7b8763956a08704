// Damaged INI files from a fixed seed (the program's settings, a profile and the analysis result with bits
// flipped, cut short, zeroed, repeated, their lines broken or joined, odd bytes put in): reading them never
// fails, a value that does not read falls back to the default it was asked with, and a write sets its key
// and keeps every other line of the file as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "FileHelpers.h"
#include "IniDamage.h"
#include "TestSupport.h"
#include "presets/IniFile.h"

namespace {

using kv::presets::TIniFile;
using kvtest::Damaged;
using kvtest::KeepsEveryOtherLine;
using kvtest::Lines;

// clang-format off
const char* const Originals[] = {
    "[savepath]\r\nnewfilepath=/home/user/Videos/输出视频\r\n[skin]\r\nname=WLM\r\n[select]\r\ncombobox1=1\r\n"
    "combobox2=2\r\ncombobox3=0\r\ncombobox4=1\r\ntabindex=2\r\n",
    "; a preset\n[mediatype]\nType=mp4\n\n[video]\nVideoCodec=MPEG4\nVideoBitrate=384000\nWidth=320\nHeight=240\n"
    "FPS=29.97\nAspectRatio=1.333\n[audio]\nAudioCodec=AAC\nAudioBitrate=64000\nSampleRate=44100\nChannel=2\n"
    "Volume=256\n",
    "[mediatype]\nType=\"avi\"\n[video]\nVideoCodec=\xCA\xD3\xC6\xB5\nVideoBitrate=1e6\nWidth=640\nHeight=480\n"
    "FPS=25\n[audio]\nAudioCodec=MPEG Audio",
};

// The keys the program reads and writes, by section.
const struct { const char* Section; const char* Key; } Keys[] = {
    {"savepath", "newfilepath"}, {"skin", "name"}, {"select", "combobox1"}, {"select", "combobox4"},
    {"select", "tabindex"}, {"mediatype", "Type"}, {"video", "VideoBitrate"}, {"video", "Width"},
    {"video", "FPS"}, {"audio", "AudioCodec"}, {"audio", "Channel"}, {"new section", "key"},
};
// clang-format on

TEST(IniFuzzTest, DamagedFilesReadWithoutFaultAndWritesKeepEveryOtherLine)
{
    kvtest::TempFolder folder("ini_fuzz");
    const std::string path = folder.Path + "/damaged.ini";
    std::mt19937 random(5150);
    int rounds = 0, defaults = 0;
    for (; rounds < 1500; ++rounds) {
        const std::string before = Damaged(Originals[rounds % std::size(Originals)], random);
        kvtest::WriteBytes(path, before);
        SCOPED_TRACE("round " + std::to_string(rounds));
        const TIniFile ini(path);
        for (const auto& [section, key] : Keys) {
            const std::string text = ini.ReadString(section, key, "default");
            EXPECT_EQ(text.find('\n'), std::string::npos) << "a value runs over its line";
            // A number that does not read gives the default, whatever the default.
            const int low = ini.ReadInteger(section, key, -7), high = ini.ReadInteger(section, key, 7);
            EXPECT_TRUE(low == high || (low == -7 && high == 7)) << key << "=" << text;
            defaults += low != high;
            const double real = ini.ReadFloat(section, key, 0.5);
            EXPECT_TRUE(std::isfinite(real)) << key << "=" << text;
            EXPECT_TRUE(real == ini.ReadFloat(section, key, -0.5) || (real == 0.5)) << key << "=" << text;
        }

        // A write sets its key and keeps the rest of the file.
        const auto& [section, key] = Keys[static_cast<size_t>(rounds) % std::size(Keys)];
        TIniFile writer(path);
        ASSERT_TRUE(writer.WriteString(section, key, "written"));
        const std::string after = kvtest::ReadBytes(path);
        EXPECT_EQ(TIniFile(path).ReadString(section, key, ""), "written") << section << "/" << key;
        EXPECT_TRUE(KeepsEveryOtherLine(Lines(before), Lines(after))) << section << "/" << key;
    }
    RecordProperty("damaged_files", rounds);
    // The damage reaches the numbers often enough to mean something.
    EXPECT_GT(defaults, 1000);
}

}  // namespace
