// The profile data the program ships: one profile per table entry, listed in table order, each with
// labels that tell what the entry produces.
#include <gtest/gtest.h>

#include <QStringList>

#include "ShippedProfiles.h"
#include "app/logic/ProfileLabels.h"
#include "presets/OutputTables.h"
#include "presets/ProfileFiles.h"

namespace {

using namespace kv::app;
using namespace kv::presets;

void CheckProfile(const std::string& Path, const TOutputEntry& Entry, bool DeviceTab)
{
    SCOPED_TRACE(Path);
    const TProfile profile = ReadProfile(Path);
    const TProfileLabels labels = ProfileLabels(profile, DeviceTab);
    EXPECT_EQ(QString::fromStdString(profile.Type), kvtest::ProfileType(Entry));
    EXPECT_EQ(labels.FrameSize, QStringLiteral("视频像素：") + QString(Entry.Size).replace('x', 'X'));
    const QString rateLabel = DeviceTab ? QStringLiteral("桢速率：") : QStringLiteral("帧速率：");
    if (Entry.OptionLines) {
        EXPECT_EQ(labels.VideoBitrate, QStringLiteral("视频码率：") + QString::fromStdString(profile.Quality));
        EXPECT_EQ(labels.FrameRate, rateLabel + QStringLiteral("同原视频 (最高60)"));
    } else {
        EXPECT_EQ(labels.VideoBitrate, QStringLiteral("视频码率：%1").arg(Entry.VBitrate));
        EXPECT_EQ(labels.FrameRate, rateLabel + QString::number(Entry.Fps));
    }
    // A quality-based preset names its quality, which the window shows for the bitrate, and the quality
    // its encoder's options set; the others name none.
    if (Entry.OptionLines) {
        ASSERT_TRUE(QString::fromStdString(profile.Quality).startsWith("CRF ")) << profile.Quality;
        EXPECT_NE(std::string(Entry.OptionLines).find("crf=" + profile.Quality.substr(4) + "\n"), std::string::npos)
            << Entry.OptionLines;
    } else {
        EXPECT_EQ(profile.Quality, "");
    }
    EXPECT_EQ(labels.VideoCodec, QStringLiteral("视频编码：") + kvtest::VideoLabel(Entry));
    EXPECT_EQ(labels.AudioCodec, QStringLiteral("音频编码：") + kvtest::AudioLabel(Entry));
}

TEST(ShippedProfilesTest, EveryFileTypeListsOneProfilePerPresetInTableOrder)
{
    ASSERT_EQ(static_cast<int>(PresetTable().size()), 11);
    int presets = 0, qualityPresets = 0;
    for (int type = 0; type < static_cast<int>(PresetTable().size()); ++type) {
        const std::string folder = kvtest::ShippedProfiles() + "/videoconvert/" + FileTypeFolder(type);
        std::vector<std::string> files;
        GetFileList(files, folder, ".ini");
        const auto& entries = PresetTable()[static_cast<size_t>(type)];
        ASSERT_EQ(files.size(), entries.size()) << folder;
        for (size_t n = 0; n < files.size(); ++n)
            CheckProfile(files[n], entries[n], false);
        if (FileTypeFolder(type) == "RM") {
            EXPECT_GE(files.size(), 2) << "RealVideo 1.0 and 2.0";
            for (const TOutputEntry& entry : entries)
                EXPECT_TRUE(QString(entry.Ext) == ".rm10" || QString(entry.Ext) == ".rm20") << entry.Ext;
        } else if (type < ClassicFileTypes) {
            presets += static_cast<int>(files.size());
        } else {
            qualityPresets += static_cast<int>(files.size());
            for (const TOutputEntry& entry : entries)
                EXPECT_TRUE(entry.FollowSource && entry.OptionLines && entry.ACodec) << entry.Size;
        }
    }
    EXPECT_EQ(presets, 65);
    EXPECT_EQ(qualityPresets, 8);
}

TEST(ShippedProfilesTest, EveryBrandListsOneProfilePerModelInTableOrder)
{
    std::vector<std::string> brands;
    GetFileList2(brands, kvtest::ShippedProfiles() + "/devices");
    ASSERT_EQ(brands.size(), 26u);
    ASSERT_EQ(DeviceTable().size(), 26u);
    int models = 0;
    for (size_t brand = 0; brand < brands.size(); ++brand) {
        std::vector<std::string> files;
        GetFileList(files, kvtest::ShippedProfiles() + "/devices/" + brands[brand], ".ini");
        const auto& entries = DeviceTable()[brand];
        ASSERT_EQ(files.size(), entries.size()) << brands[brand];
        for (size_t n = 0; n < files.size(); ++n)
            CheckProfile(files[n], entries[n], true);
        models += static_cast<int>(files.size());
    }
    EXPECT_EQ(models, 130);
}

}  // namespace
