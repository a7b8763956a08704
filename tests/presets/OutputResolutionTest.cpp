// Output resolution: the tables behind the tabs, fitting the picture into the target size, the
// adjustments by output kind, the clip range and output names that never meet an existing file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FileHelpers.h"
#include "TestSupport.h"
#include "presets/IniFile.h"
#include "presets/OutputResolution.h"
#include "presets/OutputTables.h"

namespace {

using namespace kv::presets;
namespace fs = std::filesystem;

// A choice on the preset tab for the file /videos/clip.avi, listed with the given resolution.
TOutputChoice ChoiceFor(const std::string& Resolution, int FileType = 1, int Preset = 0)
{
    TOutputChoice choice;
    choice.Tab = otPreset;
    choice.Index1 = FileType;
    choice.Index2 = Preset;
    choice.ProbeFileName = "/videos/clip.avi";
    choice.OutputFolder = "/nonexistent-output";
    choice.Rows = {{"OTHER", "100 X 100"}, {"CLIP", Resolution}};
    return choice;
}

// A custom-tab choice of Width x Height for a listed source.
TOutputChoice CustomChoice(const std::string& Resolution, const std::string& Width, const std::string& Height)
{
    TOutputChoice choice = ChoiceFor(Resolution);
    choice.Tab = otCustom;
    choice.Index1 = 2;  // AVI
    choice.CustomPanelShown = true;
    choice.CustomWidth = Width;
    choice.CustomHeight = Height;
    choice.CustomBitrate = "38400";
    choice.CustomFps = "15";
    return choice;
}

TEST(OutputResolutionTest, PictureIsLetterboxedOrPillarboxedIntoTheTarget)
{
    const struct {
        const char* Source;
        const char* Width;
        const char* Height;
        const char* Fitted;  // FrameSize of the record
        int Half;            // what the fitting returns
        bool Vertical;       // bands at top and bottom
        int Pad;             // each band
    } cases[] = {
        {"1280 X 720", "320", "240", "320X180", 30, true, 30},   // 16:9 into 4:3
        {"720 X 400", "320", "240", "320X180", 31, true, 30},    // ratio 1.8: odd half
        {"640 X 480", "320", "240", "320X240", 1, false, 0},     // same shape
        {"640 X 480", "480", "272", "364X272", 59, false, 58},   // 4:3 into a wide screen
        {"1920 X 1080", "1280", "720", "1280X720", 1, true, 0},  // 16:9 into 16:9
        {"1280 X 720", "176", "144", "176X100", 23, true, 22},   // into a small phone screen
        {"321 X 241", "320", "240", "320X240", 1, false, 0},     // odd source
        {"480 X 640", "320", "240", "180X240", 70, false, 70},   // upright source
        {"720 X 576", "640", "360", "452X360", 95, false, 94},   // 5:4 into 16:9
        {"1280 X 720", "1280", "730", "1280X718", 6, true, 6},   // a target of odd shape
        {"1280X720", "400", "240", "400X224", 8, true, 8},       // resolution written without blanks
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Source) + " into " + c.Width + "x" + c.Height);
        TOutputResolver resolver;
        const std::optional<int> half =
            resolver.ComputeLetterbox("CLIP", std::string(c.Width) + "x" + c.Height, ChoiceFor(c.Source).Rows);
        ASSERT_TRUE(half.has_value());
        EXPECT_EQ(*half, c.Half);
        EXPECT_EQ(resolver.Params().PadVertical, c.Vertical);

        const kv::TOutputOptions options = resolver.BuildOutputOptions(CustomChoice(c.Source, c.Width, c.Height));
        EXPECT_EQ(options.FrameSize, c.Fitted);
        EXPECT_EQ(c.Vertical ? options.PadTop : options.PadLeft, c.Pad);
        EXPECT_EQ(c.Vertical ? options.PadBottom : options.PadRight, c.Pad);
        EXPECT_EQ(c.Vertical ? options.PadLeft : options.PadTop, -1);
        EXPECT_EQ(c.Vertical ? options.PadRight : options.PadBottom, -1);
        EXPECT_EQ(options.PadColor, 0u);
        // Picture and bands fill the target.
        const int fitted =
            std::stoi(std::string(options.FrameSize).substr(c.Vertical ? options.FrameSize.find('X') + 1 : 0));
        EXPECT_EQ(fitted + 2 * c.Pad, std::stoi(c.Vertical ? c.Height : c.Width));
    }
}

TEST(OutputResolutionTest, PictureThatCannotBeFittedGetsThePlainTargetSize)
{
    const struct {
        const char* Name;
        std::vector<TFileRowInfo> Rows;
        bool PanelShown;
        const char* FrameSize;
    } cases[] = {
        {"row deleted", {{"OTHER", "1280 X 720"}}, true, "320x240"},
        {"no video", {{"CLIP", "0 X 0"}}, true, "320x240"},
        {"broken resolution", {{"CLIP", "unknown"}}, true, "320x240"},
        {"too narrow to have a shape", {{"CLIP", "1 X 300"}}, true, "320x240"},
        {"nothing chosen yet", {{"CLIP", "1280 X 720"}}, false, ""},
    };
    for (const auto& c : cases) {
        TOutputResolver resolver;
        TOutputChoice choice = CustomChoice("", "320", "240");
        choice.Rows = c.Rows;
        choice.CustomPanelShown = c.PanelShown;
        EXPECT_FALSE(resolver.ComputeLetterbox("CLIP", c.PanelShown ? "320x240" : "", c.Rows).has_value()) << c.Name;
        const kv::TOutputOptions options = resolver.BuildOutputOptions(choice);
        EXPECT_EQ(options.FrameSize, c.FrameSize) << c.Name;
        for (int pad : {options.PadTop, options.PadBottom, options.PadLeft, options.PadRight})
            EXPECT_EQ(pad, -1) << c.Name;
        EXPECT_FALSE(options.FileName.empty()) << c.Name;
    }
}

TEST(OutputResolutionTest, TheLastMatchingRowGivesTheSourceSize)
{
    TOutputResolver resolver;
    const std::vector<TFileRowInfo> rows = {{"CLIP", "640 X 480"}, {" clip ", "1280 X 720"}, {"CLIPS", "480 X 640"}};
    ASSERT_EQ(resolver.ComputeLetterbox("CLIP", "320x240", rows), 30);
    EXPECT_EQ(resolver.Params().FittedSize, "320X180");
}

TEST(OutputResolutionTest, FilesOfOneNameInDifferentFoldersAreEachFittedByTheirOwnRow)
{
    // /a/clip.avi is 4:3, /b/clip.avi is 16:9; each task names its own row.
    const struct {
        int ProbeRow;
        const char* FrameSize;
        int PadTop, PadLeft;
    } cases[] = {
        {0, "320X240", -1, 0},    // the 4:3 source has the target's shape
        {1, "320X180", 30, -1},   // the 16:9 source is letterboxed
        {-1, "320X180", 30, -1},  // no row given: the last of the name, as before
    };
    for (const auto& c : cases) {
        TOutputResolver resolver;
        TOutputChoice choice = ChoiceFor("1280 X 720");
        choice.Rows = {{"CLIP", "640 X 480"}, {"CLIP", "1280 X 720"}};
        choice.ProbeRow = c.ProbeRow;
        const kv::TOutputOptions options = resolver.BuildOutputOptions(choice);
        EXPECT_EQ(options.FrameSize, c.FrameSize) << c.ProbeRow;
        EXPECT_EQ(options.PadTop, c.PadTop) << c.ProbeRow;
        EXPECT_EQ(options.PadLeft, c.PadLeft) << c.ProbeRow;
    }
}

// Builds the output record for an analysed file of the given kind ("Type" in extfile.ini).
kv::TOutputOptions BuildForType(const std::string& Folder, const std::string& Type)
{
    const std::string extfile = Folder + "/extfile.ini";
    fs::remove(extfile);
    TIniFile(extfile).WriteString("mediatype", "Type", Type);
    TOutputChoice choice = ChoiceFor("1280 X 720");
    choice.Tab = otAnalysis;
    choice.ExtFilePath = extfile;
    choice.OutputFolder = Folder;
    TOutputResolver resolver;
    return resolver.BuildOutputOptions(choice);
}

TEST(OutputResolutionTest, EachOutputKindAdjustsItsRecord)
{
    kvtest::TempFolder folder("resolve");
    const struct {
        const char* Type;
        const char* Suffix;
        const char* Format;
        const char* Video;
        const char* Audio;
        int SampleRate, Channels, AudioBitrate;
        const char* FrameRate;
        const char* FrameSize;
        bool NoVideo;
    } cases[] = {
        {"flv", ".flv", "", "mpeg4", "", 22050, -1, -1, "24", "320X180", false},
        {"swf", ".swf", "", "mpeg4", "", 22050, -1, -1, "24", "320X180", false},
        {"ogg", ".ogg", "", "libtheora", "flac", -1, -1, -1, "24", "320X180", false},
        {"psp", "_psp.mp4", "psp", "mpeg4", "libfaac", 24000, -1, -1, "15000/1001", "320X180", false},
        {"ipod", "_ipod.mp4", "", "mpeg4", "libfaac", -1, -1, -1, "24", "320X180", false},
        {"rm10", "_rv10.rm", "", "rv10", "", -1, -1, -1, "24", "320X180", false},
        {"rm20", "_rv20.rm", "", "rv20", "", -1, -1, -1, "24", "320X180", false},
        {"mp4", ".mp4", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},
        {"wmv", ".wmv", "", "wmv2", "wmav2", -1, -1, -1, "24", "320X180", false},
        {"mkv", ".mkv", "", "libx264", "", -1, -1, -1, "24", "320X180", false},
        {"wma", ".wma", "", "mpeg4", "wmav2", -1, -1, -1, "24", "320X180", true},
        {"3gp", ".3gp", "", "mpeg4", "", 8000, 1, 7400, "24", "320X180", false},
        {"vcd", "_vcd_auto.mpg", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},
        {"svcd", "_svcd_auto.mpg", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},
        {"dvd", "_dvd_auto.mpg", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},
        {"MP4", ".MP4", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},  // compared exactly
        {"WMV", ".WMV", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},
        {"avi", ".avi", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},
        {"", ".avi", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},  // a kind nobody could name
        {"d", ".d", "", "mpeg4", "", -1, -1, -1, "24", "320X180", false},   // not one of the disc kinds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Type);
        const kv::TOutputOptions options = BuildForType(folder.Path, c.Type);
        EXPECT_EQ(options.FileExt, c.Suffix);
        EXPECT_EQ(options.FileName, folder.Path + "/CLIP_(new)" + c.Suffix);
        EXPECT_EQ(options.ForceFormat, c.Format);
        EXPECT_EQ(options.VideoCodec, c.Video);
        EXPECT_EQ(options.AudioCodec, c.Audio);
        EXPECT_EQ(options.AudioSampleRate, c.SampleRate);
        EXPECT_EQ(options.AudioChannels, c.Channels);
        EXPECT_EQ(options.AudioBitrate, c.AudioBitrate);
        EXPECT_EQ(options.FrameRate, c.FrameRate);
        EXPECT_EQ(options.FrameSize, c.FrameSize);
        EXPECT_EQ(options.PadTop, 30);
        EXPECT_EQ(options.DisableVideo, c.NoVideo);
        EXPECT_EQ(options.Target, 0);
        EXPECT_TRUE(options.DisableSubtitle);
        EXPECT_FALSE(options.CustomHook);
        EXPECT_EQ(options.Info.Timestamp, 0.0);
    }
}

TEST(OutputResolutionTest, AnIpodFileIsFittedInto320x240WhateverSizeWasChosen)
{
    kvtest::TempFolder folder("resolve");
    const std::string extfile = folder.Path + "/extfile.ini";
    TIniFile ini(extfile);
    ini.WriteString("mediatype", "Type", "ipod");
    ini.WriteInteger("video", "Width", 640);
    ini.WriteInteger("video", "Height", 480);
    TOutputChoice choice = ChoiceFor("1280 X 720");
    choice.Tab = otAnalysis;
    choice.ExtFilePath = extfile;
    TOutputResolver resolver;
    const kv::TOutputOptions options = resolver.BuildOutputOptions(choice);
    EXPECT_EQ(options.FrameSize, "320X180");
    EXPECT_EQ(options.PadTop, 30);
    EXPECT_EQ(options.PadBottom, 30);
}

TEST(OutputResolutionTest, OutputNamesNeverMeetAnExistingFile)
{
    kvtest::TempFolder temp("names");
    const std::string folder = temp.Path + "/输出视频";
    ASSERT_TRUE(fs::create_directories(folder));
    EXPECT_EQ(TOutputResolver::OutputBaseName(" /videos/my clip.avi "), "MY CLIP");
    EXPECT_EQ(TOutputResolver::OutputBaseName("/videos/片头 clip.v2.mkv"), "片头 CLIP.V2");

    auto touch = [&](const std::string& Name) { kvtest::WriteBytes(folder + "/" + Name); };
    EXPECT_EQ(TOutputResolver::OutputFileName(folder, "MY CLIP", ".mp4"), folder + "/MY CLIP_(new).mp4");
    touch("MY CLIP_(new).mp4");
    EXPECT_EQ(TOutputResolver::OutputFileName(folder, "MY CLIP", ".mp4"), folder + "/MY CLIP_(new_1).mp4");
    touch("MY CLIP_(new_1).mp4");
    EXPECT_EQ(TOutputResolver::OutputFileName(folder, "MY CLIP", ".mp4"), folder + "/MY CLIP_(new_2).mp4");
    // A gap further on does not matter; a link to nothing is a file all the same; a folder too.
    touch("MY CLIP_(new_4).mp4");
    fs::create_symlink(folder + "/gone", folder + "/MY CLIP_(new_2).mp4");
    ASSERT_TRUE(fs::create_directories(folder + "/MY CLIP_(new_3).mp4"));
    EXPECT_EQ(TOutputResolver::OutputFileName(folder, "MY CLIP", ".mp4"), folder + "/MY CLIP_(new_5).mp4");
    // Another kind of output starts afresh; a folder given with its final "/" joins the same way.
    EXPECT_EQ(TOutputResolver::OutputFileName(folder + "/", "MY CLIP", "_dvd_auto.mpg"),
              folder + "/MY CLIP_(new)_dvd_auto.mpg");
    // A folder whose name holds a NUL byte names no file: the first name is given, not one found free
    // after counting past every file of the folder the name stops at.
    const std::string cut = std::string("/\0", 2) + temp.Path;
    EXPECT_EQ(TOutputResolver::OutputFileName(cut, "MY CLIP", ".mp4"), cut + "/MY CLIP_(new).mp4");

    // Through the builder, for the probe's file.
    TOutputChoice choice = ChoiceFor("1280 X 720");
    choice.ProbeFileName = "/videos/my clip.avi";
    choice.OutputFolder = folder;
    TOutputResolver resolver;
    EXPECT_EQ(resolver.BuildOutputOptions(choice).FileName, folder + "/MY CLIP_(new_5).mp4");
}

TEST(OutputResolutionTest, PresetAndDeviceTabsFollowTheTables)
{
    TOutputResolver resolver;
    const struct {
        int Tab, Index1, Index2;
        const char* Ext;
        const char* Size;
        const char* VCodec;
        int VBitrate, Fps;
    } cases[] = {
        {otPreset, 0, 2, ".3gp", "352x288", "h263", 384000, 18},
        {otPreset, 2, 1, ".avi", "320x240", "mpeg4", 384000, 15},
        {otPreset, 1, 1, ".mp4", "320x240", "mpeg4", 384000, 18},
        {otPreset, 8, 0, ".flv", "176x144", "flv", 18000, 18},
        {otPreset, 5, 0, ".rm10", "320x240", "rv10", 384000, 15},
        {otPreset, 5, 3, ".rm20", "640x480", "rv20", 768000, 25},
        {otPreset, 5, 4, ".rm20", "640x480", "rv20", 768000, 25},   // no such preset: unchanged
        {otPreset, 11, 0, ".rm20", "640x480", "rv20", 768000, 25},  // no such file type
        {otPreset, -1, 0, ".rm20", "640x480", "rv20", 768000, 25},
        {otPreset, 9, 1, ".mp4", "1280x720", "libx264", 0, 0},
        {otPreset, 10, 0, ".mkv265", "1920x1080", "libx265", 0, 0},
        {otPreset, 10, 4, ".webm", "1920x1080", "libsvtav1", 0, 0},
        {otPreset, 10, 5, ".webm", "1920x1080", "libsvtav1", 0, 0},  // no such preset: unchanged
        {otDevice, 14, 1, ".mp4", "1280x730", "mpeg4", 2400000, 25},
        {otDevice, 21, 1, ".mp4", "320x240", "avc", 288000, 18},
        {otDevice, 5, 0, ".wmv", "320x240", "wmv2", 384000, 18},
        {otDevice, 25, 3, ".wmv", "320x240", "wmv2", 384000, 18},  // no such model
        {otDevice, 26, 0, ".wmv", "320x240", "wmv2", 384000, 18},  // no such brand
    };
    for (const auto& c : cases) {
        TOutputChoice choice;
        choice.Tab = c.Tab;
        choice.Index1 = c.Index1;
        choice.Index2 = c.Index2;
        resolver.ResolveOutputPreset(choice);
        const TOutputParams& p = resolver.Params();
        EXPECT_EQ(p.Ext, c.Ext) << c.Tab << "/" << c.Index1 << "/" << c.Index2;
        EXPECT_EQ(p.Size, c.Size) << c.Tab << "/" << c.Index1 << "/" << c.Index2;
        EXPECT_EQ(p.VCodec, c.VCodec) << c.Tab << "/" << c.Index1 << "/" << c.Index2;
        EXPECT_EQ(p.VBitrate, c.VBitrate) << c.Tab << "/" << c.Index1 << "/" << c.Index2;
        EXPECT_EQ(p.Fps, c.Fps) << c.Tab << "/" << c.Index1 << "/" << c.Index2;
    }
    EXPECT_EQ(PresetTable().size(), 11u);
    EXPECT_EQ(DeviceTable().size(), 26u);
}

TEST(OutputResolutionTest, QualityPresetsNeverEnlargeAndKeepTheSourcesShape)
{
    const struct {
        int FileType, Preset;
        const char* Source;
        const char* FrameSize;
        int PadTopBottom, PadLeftRight;
    } cases[] = {
        {9, 2, "320 X 180", "320X180", -1, -1},      // small: as it is, no bands
        {9, 2, "1920 X 1080", "1920X1080", -1, -1},  // the preset's own size
        {9, 2, "2560 X 1440", "1920X1080", 0, -1},   // larger: made smaller
        {9, 2, "321 X 181", "320X180", -1, -1},      // odd sizes made even
        {9, 2, "640 X 480", "640X480", -1, -1},      // 4:3, small: no bands either
        {9, 1, "1440 X 1080", "960X720", -1, 160},   // 4:3, taller than 720 lines: pillarboxed
        {9, 1, "1920 X 800", "1280X532", 94, -1},    // 2.4:1, wider than 1280: letterboxed
        {10, 1, "3840 X 2160", "3840X2160", -1, -1},
        {10, 1, "7680 X 4320", "3840X2156", 2, -1},  // the shape to two decimals, as every preset fits it
        {9, 2, "0 X 0", "1920x1080", -1, -1},        // size unknown: the preset's size
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Source) + " with preset " + std::to_string(c.FileType) + "/" +
                     std::to_string(c.Preset));
        TOutputResolver resolver;
        const kv::TOutputOptions options = resolver.BuildOutputOptions(ChoiceFor(c.Source, c.FileType, c.Preset));
        EXPECT_EQ(options.FrameSize, c.FrameSize);
        EXPECT_EQ(options.PadTop, c.PadTopBottom);
        EXPECT_EQ(options.PadBottom, c.PadTopBottom);
        EXPECT_EQ(options.PadLeft, c.PadLeftRight);
        EXPECT_EQ(options.PadRight, c.PadLeftRight);
    }
}

TEST(OutputResolutionTest, QualityPresetsSetTheirEncodersOptionsAndNoBitrate)
{
    const struct {
        int FileType, Preset;
        const char* VideoCodec;
        const char* AudioCodec;
        const char* Suffix;
        std::vector<std::string> Lines;
    } cases[] = {
        {9,
         1,
         "libx264",
         "libfaac",
         ".mp4",
         {"crf=23", "preset=medium", "maxrate=1600000", "bufsize=3200000", "movflags=+faststart", "pix_fmt=yuv420p"}},
        {10, 0, "libx265", "libfaac", ".mkv", {"crf=26", "preset=fast", "pix_fmt=yuv420p"}},
        {10, 2, "libvpx-vp9", "libopus", ".webm", {"crf=32", "cpu-used=4", "ar=48000"}},
        {10, 4, "libsvtav1", "libopus", ".webm", {"crf=32", "preset=8", "ar=48000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.VideoCodec);
        TOutputResolver resolver;
        TOutputChoice choice = ChoiceFor("1920 X 1080", c.FileType, c.Preset);
        choice.AudioCodec = std::string(c.AudioCodec) == "libopus" ? "OPUS" : "AAC";  // the preset's own label
        const kv::TOutputOptions options = resolver.BuildOutputOptions(choice);
        EXPECT_EQ(options.VideoCodec, c.VideoCodec);
        EXPECT_EQ(options.AudioCodec, c.AudioCodec);
        EXPECT_EQ(options.VideoBitrate, -1);
        EXPECT_EQ(options.FileExt, c.Suffix);
        EXPECT_EQ(options.FileName, "/nonexistent-output/CLIP_(new)" + std::string(c.Suffix));
        // No file to probe: the engine keeps the source's rate.
        EXPECT_EQ(options.FrameRate, "");
        const std::string lines = "\n" + options.ExtOptions + "\n";
        for (const std::string& line : c.Lines)
            EXPECT_NE(lines.find("\n" + line + "\n"), std::string::npos) << line << " in " << options.ExtOptions;
    }
}

TEST(OutputResolutionTest, AQualityPresetLeavesNothingBehindForTheNextChoice)
{
    kvtest::TempFolder folder("resolve");
    const std::string extfile = folder.Path + "/extfile.ini";
    kvtest::WriteBytes(extfile, "[mediatype]\nType=avi\n[video]\nFPS=25\n[audio]\nAudioCodec=Vorbis\n");
    TOutputChoice quality = ChoiceFor("320 X 180", 10, 2);  // VP9 and Opus in WebM
    quality.AudioCodec = "OPUS";
    TOutputChoice classic = ChoiceFor("320 X 180", 1, 12);  // MP4 "高清 720P"
    classic.AudioCodec = "AAC";
    // The analysis tab keeps the labels of the preset shown before, and the analysed audio has no encoder.
    TOutputChoice analysis = ChoiceFor("320 X 180");
    analysis.Tab = otAnalysis;
    analysis.ExtFilePath = extfile;
    analysis.AudioCodec = "OPUS";
    TOutputChoice custom = CustomChoice("320 X 180", "220", "176");
    const struct {
        const TOutputChoice* Next;
        const char* FrameRate;
        const char* AudioCodec;
    } cases[] = {{&classic, "25", "libfaac"}, {&analysis, "25", "libmp3lame"}, {&custom, "15", "libmp3lame"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Next->Tab);
        TOutputResolver resolver;
        resolver.BuildOutputOptions(quality);
        const kv::TOutputOptions options = resolver.BuildOutputOptions(*c.Next);
        EXPECT_EQ(options.ExtOptions, "");
        EXPECT_EQ(options.AudioCodec, c.AudioCodec);
        EXPECT_EQ(options.FrameRate, c.FrameRate);
        EXPECT_FALSE(resolver.Params().FollowSource);
    }
}

TEST(OutputResolutionTest, AnalysisTabReadsExtfileEachTime)
{
    kvtest::TempFolder folder("resolve");
    const std::string extfile = folder.Path + "/extfile.ini";
    // Files as the analysis has always written them: the rate and the bitrate as decimals, the codecs as the
    // media information library names them.
    const struct {
        const char* Content;
        const char* Ext;
        const char* Size;
        const char* VCodec;
        int VBitrate, Fps;
        const char* FrameRate;  // of the record
        const char* ACodec;     // of the parameters
        const char* Audio;      // of the record: the analysed codec's encoder, else the label's
    } cases[] = {
        {"", ".avi", "320x240", "mpeg4", 512000, 24, "24", "ac3", "ac3"},
        {"[mediatype]\nType=mp4\n[video]\nWidth=640\nHeight=360\nVideoBitrate=1200000\nFPS=25\n", ".mp4", "640x360",
         "mpeg4", 1200000, 25, "25", "ac3", "ac3"},
        {"[video]\nFPS=29.97\nVideoBitrate=1234567.5\n", ".avi", "320x240", "mpeg4", 1234568, 30, "30000/1001", "ac3",
         "ac3"},
        {"[mediatype]\ntype=3gp\n[VIDEO]\nwidth=176\nheight=144\nfps=15\n", ".3gp", "176x144", "mpeg4", 512000, 15,
         "15", "ac3", "libfaac"},  // a 3GP file holds AAC
        {"[video]\nVideoCodec=AVC\nFPS=23.976\n[audio]\nAudioCodec=AAC\n", ".avi", "320x240", "avc", 512000, 24,
         "24000/1001", "libfaac", "libfaac"},
        {"[video]\nVideoCodec=H.263\nFPS=59.94\n[audio]\nAudioCodec=MP3\n", ".avi", "320x240", "h263", 512000, 60,
         "60000/1001", "libmp3lame", "libmp3lame"},
        {"[video]\nVideoCodec=WMV2\nFPS=12.5\n[audio]\nAudioCodec=WMA\n", ".avi", "320x240", "wmv2", 512000, 13, "25/2",
         "wmav2", "wmav2"},
        {"[video]\nVideoCodec=Sorenson Spark\n[audio]\nAudioCodec=AC3\n", ".avi", "320x240", "flv", 512000, 24, "24",
         "ac3", "ac3"},
        // Codecs without an encoder here: MPEG-4 video, and the audio of the label.
        {"[video]\nVideoCodec=HEVC\nFPS=50\n[audio]\nAudioCodec=Opus\n", ".avi", "320x240", "mpeg4", 512000, 50, "50",
         "ac3", "ac3"},
        {"[video]\nVideoCodec=avc\n[audio]\nAudioCodec=aac\n", ".avi", "320x240", "mpeg4", 512000, 24, "24", "ac3",
         "ac3"},
        {"[video]\nVideoBitrate=-5\nFPS=abc\n", ".avi", "320x240", "mpeg4", 0, 24, "24", "ac3", "ac3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Content);
        kvtest::WriteBytes(extfile, c.Content);
        TOutputChoice choice = ChoiceFor("320 X 240");
        choice.Tab = otAnalysis;
        choice.Index1 = 7;  // ignored
        choice.ExtFilePath = extfile;
        choice.AudioCodec = "AC3";  // the label shown last
        TOutputResolver resolver;
        resolver.Params().ACodec = "ac3";
        const kv::TOutputOptions options = resolver.BuildOutputOptions(choice);
        EXPECT_EQ(resolver.Params().Ext, c.Ext);
        EXPECT_EQ(resolver.Params().Size, c.Size);
        EXPECT_EQ(resolver.Params().VCodec, c.VCodec);
        EXPECT_EQ(resolver.Params().VBitrate, c.VBitrate);
        EXPECT_EQ(resolver.Params().Fps, c.Fps);
        EXPECT_EQ(resolver.Params().ACodec, c.ACodec);
        EXPECT_EQ(options.FrameRate, c.FrameRate);
        EXPECT_EQ(options.VideoCodec, c.VCodec);
        EXPECT_EQ(options.VideoBitrate, c.VBitrate > 0 ? c.VBitrate : -1);
        EXPECT_EQ(options.AudioCodec, c.Audio);
    }
}

TEST(OutputResolutionTest, AnalysedFileWithoutVideoKeepsTheSourceSizeAndRate)
{
    kvtest::TempFolder folder("resolve");
    const std::string extfile = folder.Path + "/extfile.ini";
    TIniFile ini(extfile);
    for (const char* key : {"Width", "Height", "FPS", "VideoBitrate"})
        ini.WriteInteger("video", key, 0);
    TOutputChoice choice = ChoiceFor("0 X 0");
    choice.Tab = otAnalysis;
    choice.ExtFilePath = extfile;
    TOutputResolver resolver;
    const kv::TOutputOptions options = resolver.BuildOutputOptions(choice);
    EXPECT_EQ(options.FrameSize, "");
    EXPECT_EQ(options.FrameRate, "");
    EXPECT_EQ(options.VideoBitrate, -1);
    EXPECT_EQ(options.PadTop, -1);
}

TEST(OutputResolutionTest, CustomTabChecksItsEditsAndKeepsTheParametersOnError)
{
    const struct {
        bool Shown;
        const char* Width;
        const char* Height;
        const char* Bitrate;
        const char* Fps;
        const char* Message;
    } cases[] = {
        {false, "220", "176", "38400", "15", "请设定对应视频参数！"},
        {true, " ", "176", "38400", "15", "请设定输入视频尺寸！"},
        {true, "220", "", "38400", "15", "请设定输入视频尺寸！"},
        {true, "220", "176", "", "", "请输入视频比特率！"},
        {true, "220", "176", "38400", " ", "请输入帧速率！"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> messages;
        TOutputResolver resolver([&](const std::string& Text) { messages.push_back(Text); });
        TOutputChoice preset;
        preset.Index1 = 2;
        resolver.ResolveOutputPreset(preset);
        resolver.Params().ACodec = "ac3";
        const TOutputParams before = resolver.Params();

        TOutputChoice choice = CustomChoice("1280 X 720", c.Width, c.Height);
        choice.CustomPanelShown = c.Shown;
        choice.CustomBitrate = c.Bitrate;
        choice.CustomFps = c.Fps;
        const kv::TOutputOptions options = resolver.BuildOutputOptions(choice);
        EXPECT_EQ(messages, std::vector<std::string>{c.Message}) << c.Message;
        EXPECT_EQ(resolver.Params().Ext, before.Ext) << c.Message;
        EXPECT_EQ(resolver.Params().Size, before.Size) << c.Message;
        EXPECT_EQ(resolver.Params().ACodec, "ac3") << c.Message;
        // The record is still built, from the parameters as they were.
        EXPECT_EQ(options.FileExt, ".avi") << c.Message;
        EXPECT_EQ(options.FrameSize, "320X180") << c.Message;
    }
}

TEST(OutputResolutionTest, CustomTypesChooseKindAndEncoder)
{
    const struct {
        int Type;
        const char* Ext;
        const char* VCodec;
    } cases[] = {
        {0, ".3gp", "mpeg4"}, {1, ".mp4", "avc"},  {2, ".avi", "mpeg4"}, {3, ".mpeg", "mpeg4"},
        {4, ".wmv", "wmv2"},  {5, ".rm", "rv20"},  {6, ".mov", "mpeg4"}, {7, ".mkv", "avc"},
        {8, ".flv", "flv"},   {9, ".wmv", "wmv2"},  // no such type: only the audio encoder changes
    };
    for (const auto& c : cases) {
        TOutputResolver resolver;
        TOutputChoice device;
        device.Tab = otDevice;
        device.Index1 = 5;  // a WMV player
        resolver.ResolveOutputPreset(device);
        TOutputChoice choice = CustomChoice("", " 0352 ", "288");
        choice.Index1 = c.Type;
        resolver.ResolveOutputPreset(choice);
        const TOutputParams& p = resolver.Params();
        EXPECT_EQ(p.Ext, c.Ext) << c.Type;
        EXPECT_EQ(p.VCodec, c.VCodec) << c.Type;
        EXPECT_EQ(p.ACodec, "libmp3lame") << c.Type;
        EXPECT_EQ(p.Size, c.Type <= 8 ? "0352x288" : "320x240") << c.Type;
        EXPECT_EQ(p.VBitrate, c.Type <= 8 ? 38400 : 384000) << c.Type;
        EXPECT_EQ(p.Fps, c.Type <= 8 ? 15 : 18) << c.Type;
    }
}

TEST(OutputResolutionTest, TheProfilesAudioCodecChoosesTheEncoderOnlyWhenItMatchesExactly)
{
    const std::pair<const char*, const char*> cases[] = {
        {"AAC", "libfaac"},  {"AC3", "ac3"},      {"FLAC", "flac"},   {"MP3", "libmp3lame"},
        {"aac", "earlier"},  {"AAC ", "earlier"}, {"mp3", "earlier"}, {"Flac", "earlier"},
        {" AC3", "earlier"}, {"WMA", "earlier"},  {"", "earlier"},
    };
    for (const auto& [profileCodec, codec] : cases) {
        TOutputResolver resolver;
        resolver.Params().ACodec = "earlier";
        TOutputChoice choice = ChoiceFor("1280 X 720", 7, 0);  // MKV holds them all
        choice.AudioCodec = profileCodec;
        EXPECT_EQ(resolver.BuildOutputOptions(choice).AudioCodec, codec) << profileCodec;
        EXPECT_EQ(resolver.Params().ACodec, "earlier") << profileCodec;
    }
}

TEST(OutputResolutionTest, TheAudioEncoderIsOneTheContainerHolds)
{
    // A label left by another tab meets the custom tab's type.
    const struct {
        int Type;
        const char* Label;
        const char* Suffix;
        const char* Audio;
    } cases[] = {
        {0, "", ".3gp", "libfaac"},
        {0, "MP3", ".3gp", "libfaac"},
        {0, "AAC", ".3gp", "libfaac"},
        {1, "FLAC", ".mp4", "libfaac"},
        {1, "AC3", ".mp4", "ac3"},
        {1, "", ".mp4", "libmp3lame"},
        {2, "FLAC", ".avi", "libmp3lame"},
        {3, "AAC", ".mpeg", "libmp3lame"},
        {3, "AC3", ".mpeg", "ac3"},
        {4, "AAC", ".wmv", "wmav2"},
        {5, "", ".rm", "ac3"},
        {5, "MP3", ".rm", "ac3"},
        {5, "AAC", ".rm", "libfaac"},
        {6, "FLAC", ".mov", "libfaac"},
        {6, "", ".mov", "libmp3lame"},
        {7, "FLAC", ".mkv", "flac"},
        {8, "AC3", ".flv", "libmp3lame"},
        {8, "AAC", ".flv", "libfaac"},
    };
    for (const auto& c : cases) {
        TOutputResolver resolver;
        TOutputChoice choice = CustomChoice("1280 X 720", "320", "240");
        choice.Index1 = c.Type;
        choice.AudioCodec = c.Label;
        const kv::TOutputOptions options = resolver.BuildOutputOptions(choice);
        EXPECT_EQ(options.FileExt, c.Suffix) << c.Type << " " << c.Label;
        EXPECT_EQ(options.AudioCodec, c.Audio) << c.Type << " " << c.Label;
    }
    // RealMedia presets and disc kinds by their final names; nothing chosen leaves the container's default.
    kvtest::TempFolder folder("resolve");
    const std::pair<const char*, const char*> kinds[] = {{"rm20", "ac3"}, {"vcd", "libmp3lame"}, {"swf", "libmp3lame"}};
    for (const auto& [type, audio] : kinds) {
        const std::string extfile = folder.Path + "/extfile.ini";
        fs::remove(extfile);
        TIniFile(extfile).WriteString("mediatype", "Type", type);
        TOutputChoice choice = ChoiceFor("1280 X 720");
        choice.Tab = otAnalysis;
        choice.ExtFilePath = extfile;
        choice.AudioCodec = "FLAC";
        TOutputResolver resolver;
        EXPECT_EQ(resolver.BuildOutputOptions(choice).AudioCodec, audio) << type;
        choice.AudioCodec.clear();
        EXPECT_EQ(resolver.BuildOutputOptions(choice).AudioCodec, "") << type;
    }
}

TEST(OutputResolutionTest, ClipRangeAppliesOnlyWithAValidSelection)
{
    const struct {
        bool Enabled, Checked;
        int SelStart, SelEnd;
        bool Applies;
    } cases[] = {
        {true, true, 10, 50, true},   {true, true, 0, 1, true},    {false, true, 10, 50, false},
        {true, false, 10, 50, false}, {true, true, 50, 50, false}, {true, true, 60, 50, false},
        {true, true, -5, 0, false},
    };
    for (const auto& c : cases) {
        TOutputChoice choice = ChoiceFor("1280 X 720");
        choice.ProbeFormat = "avi";
        choice.ClipEnabled = c.Enabled;
        choice.ClipChecked = c.Checked;
        choice.SelStart = c.SelStart;
        choice.SelEnd = c.SelEnd;
        choice.ClipStartMs = 1500;
        choice.ClipLengthMs = 4000;
        TOutputResolver resolver;
        const kv::TOutputOptions output = resolver.BuildOutputOptions(choice);
        const kv::TInputOptions input = resolver.BuildInputOptions(choice);
        EXPECT_EQ(output.RecordingTime, c.Applies ? 4000 : -1) << c.SelStart << "-" << c.SelEnd;
        EXPECT_EQ(input.StartTime, c.Applies ? 1500 : -1) << c.SelStart << "-" << c.SelEnd;
        EXPECT_EQ(input.FileName, "/videos/clip.avi");
        EXPECT_EQ(input.ForceFormat, "avi");
        EXPECT_EQ(input.StartTimeUS, -1);
    }
}

}  // namespace
