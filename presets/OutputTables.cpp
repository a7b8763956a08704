// The preset, device and custom type tables.
#include "presets/OutputTables.h"

#include <iterator>

namespace kv::presets {

namespace {

TOutputEntry E(const char* Ext, const char* Size, int VBitrate, int Fps, const char* VCodec = "mpeg4")
{
    return {Ext, Size, VBitrate, Fps, VCodec};
}

// MP4 and AVI share their presets but for the second one.
std::vector<TOutputEntry> PlayerPresets(const char* Ext, int SecondFps)
{
    return {E(Ext, "320x240", 288000, 18),   E(Ext, "320x240", 384000, SecondFps), E(Ext, "320x240", 384000, 18),
            E(Ext, "400x240", 336000, 18),   E(Ext, "400x240", 448000, 18),        E(Ext, "400x240", 448000, 18),
            E(Ext, "480x272", 384000, 24),   E(Ext, "480x272", 512000, 24),        E(Ext, "480x272", 512000, 24),
            E(Ext, "480x360", 512000, 24),   E(Ext, "480x360", 768000, 24),        E(Ext, "480x360", 768000, 24),
            E(Ext, "1280x720", 1800000, 25), E(Ext, "480x360", 576000, 25),        E(Ext, "640x360", 768000, 25),
            E(Ext, "640x480", 768000, 25),   E(Ext, "720x480", 1500000, 25)};
}

// A quality-based entry for today's players: no bitrate, the source's frame rate.
TOutputEntry Q(const char* Ext, const char* Size, const char* VCodec, const char* OptionLines, const char* ACodec)
{
    return {Ext, Size, 0, 0, VCodec, OptionLines, ACodec, true};
}

// The encoders' quality settings (the encoders of these presets take no bitrate unless given one, so the
// quality alone decides); the picture is 8-bit 4:2:0, the one format every hardware decoder plays.
// H.264 at a constant quality, capped (maxrate/bufsize) at what such a player's stream should carry, so that
// a busy picture does not make a file larger than the older presets' at that size.
#define KV_H264_LINES(MaxRate, BufSize) \
    "crf=23\npreset=medium\npix_fmt=yuv420p\nmaxrate=" MaxRate "\nbufsize=" BufSize "\nmovflags=+faststart\nab=128000"
constexpr const char* H264Lines480 = KV_H264_LINES("1000000", "2000000");
constexpr const char* H264Lines720 = KV_H264_LINES("1600000", "3200000");
constexpr const char* H264Lines1080 = KV_H264_LINES("4000000", "8000000");
#undef KV_H264_LINES
constexpr const char* H265Lines = "crf=26\npreset=fast\npix_fmt=yuv420p\nab=160000";
constexpr const char* Vp9Lines720 = "crf=32\ndeadline=good\ncpu-used=4\nrow-mt=1\npix_fmt=yuv420p\nab=96000\nar=48000";
constexpr const char* Vp9Lines1080 = "crf=31\ndeadline=good\ncpu-used=4\nrow-mt=1\npix_fmt=yuv420p\nab=96000\nar=48000";
constexpr const char* Av1Lines = "crf=32\npreset=8\npix_fmt=yuv420p\nab=96000\nar=48000";

}  // namespace

std::string FileTypeFolder(int FileType)
{
    static const char* const folders[] = {"3GP", "MP4", "AVI", "MPEG",     "WMV",     "RM",
                                          "MOV", "MKV", "FLV", "MP4-H264", "MKV-WEBM"};
    if (FileType < 0 || FileType >= static_cast<int>(std::size(folders)))
        return {};
    return folders[FileType];
}

const std::vector<std::vector<TOutputEntry>>& PresetTable()
{
    static const std::vector<std::vector<TOutputEntry>> table = {
        // 3GP
        {E(".3gp", "220x176", 384000, 15), E(".3gp", "320x240", 384000, 15), E(".3gp", "352x288", 384000, 18, "h263"),
         E(".3gp", "352x288", 384000, 18), E(".3gp", "176x144", 160000, 15, "h263"), E(".3gp", "176x144", 160000, 15)},
        // MP4
        PlayerPresets(".mp4", 18),
        // AVI
        PlayerPresets(".avi", 15),
        // MPEG
        {E(".mpeg", "720x480", 6000000, 29), E(".mpeg", "720x576", 6000000, 25), E(".mpeg", "480x480", 2040000, 29),
         E(".mpeg", "480x576", 2040000, 25), E(".mpeg", "352x240", 1150000, 29), E(".mpeg", "352x288", 1150000, 25)},
        // WMV
        {E(".wmv", "320x240", 384000, 18, "wmv2"), E(".wmv", "480x272", 512000, 25, "wmv2"),
         E(".wmv", "480x360", 768000, 25, "wmv2"), E(".wmv", "640x360", 1200000, 25, "wmv2"),
         E(".wmv", "640x480", 1500000, 25, "wmv2")},
        // RM: RealVideo 1.0 and 2.0, through the RealMedia output kinds
        {E(".rm10", "320x240", 384000, 15, "rv10"), E(".rm20", "320x240", 384000, 18, "rv20"),
         E(".rm20", "352x288", 512000, 25, "rv20"), E(".rm20", "640x480", 768000, 25, "rv20")},
        // MOV
        {E(".mov", "320x240", 288000, 18), E(".mov", "640x360", 512000, 24), E(".mov", "640x480", 768000, 24)},
        // MKV
        {E(".mkv", "1280x720", 1800000, 25), E(".mkv", "1280x720", 2400000, 25), E(".mkv", "480x360", 512000, 24),
         E(".mkv", "480x360", 768000, 25), E(".mkv", "640x360", 768000, 25), E(".mkv", "640x360", 1024000, 25),
         E(".mkv", "640x480", 864000, 25), E(".mkv", "640x480", 1152000, 25)},
        // FLV (the first one at 18000 bits/s, as it always was)
        {E(".flv", "176x144", 18000, 18, "flv"), E(".flv", "320x240", 384000, 18, "flv"),
         E(".flv", "640x480", 512000, 18, "flv")},
        // MP4-H264: H.264 High and AAC, the file's index at its start so that it plays while it loads
        {Q(".mp4", "854x480", "libx264", H264Lines480, "libfaac"),
         Q(".mp4", "1280x720", "libx264", H264Lines720, "libfaac"),
         Q(".mp4", "1920x1080", "libx264", H264Lines1080, "libfaac")},
        // MKV-WEBM: H.265 and AAC in Matroska; VP9 or AV1 and Opus in WebM
        {Q(".mkv265", "1920x1080", "libx265", H265Lines, "libfaac"),
         Q(".mkv265", "3840x2160", "libx265", H265Lines, "libfaac"),
         Q(".webm", "1280x720", "libvpx-vp9", Vp9Lines720, "libopus"),
         Q(".webm", "1920x1080", "libvpx-vp9", Vp9Lines1080, "libopus"),
         Q(".webm", "1920x1080", "libsvtav1", Av1Lines, "libopus")},
    };
    return table;
}

const std::vector<std::vector<TOutputEntry>>& DeviceTable()
{
    static const std::vector<std::vector<TOutputEntry>> table = {
        // 0
        {E(".avi", "480x272", 512000, 24), E(".mp4", "320x240", 384000, 24)},
        // 1
        {E(".avi", "320x240", 384000, 18), E(".avi", "320x240", 384000, 18), E(".avi", "480x272", 512000, 24),
         E(".mp4", "320x240", 512000, 24)},
        // 2
        {E(".avi", "320x240", 384000, 18), E(".avi", "480x272", 512000, 24), E(".avi", "800x480", 1800000, 24),
         E(".mp4", "720x480", 1600000, 24)},
        // 3
        {E(".mp4", "320x240", 384000, 24), E(".mp4", "480x320", 768000, 24), E(".mp4", "320x240", 384000, 24),
         E(".mp4", "320x240", 384000, 24), E(".mp4", "640x480", 768000, 24), E(".mp4", "640x480", 768000, 24)},
        // 4
        {E(".mp4", "320x240", 384000, 24), E(".mp4", "800x400", 1600000, 24)},
        // 5
        {E(".wmv", "320x240", 384000, 18, "wmv2")},
        // 6
        {E(".avi", "320x240", 384000, 24), E(".avi", "640x480", 1024000, 24)},
        // 7
        {E(".mp4", "800x480", 1200000, 24), E(".mp4", "400x240", 512000, 24), E(".mp4", "400x272", 512000, 24)},
        // 8
        {E(".mp4", "320x240", 384000, 25), E(".mp4", "480x320", 512000, 25)},
        // 9
        {E(".avi", "1280x720", 1800000, 25), E(".avi", "480x360", 576000, 25), E(".avi", "640x360", 768000, 25),
         E(".avi", "640x480", 768000, 25), E(".avi", "720x480", 1500000, 25)},
        // 10
        {E(".mp4", "480x360", 384000, 25), E(".mp4", "480x360", 512000, 24), E(".mp4", "640x480", 576000, 24),
         E(".mp4", "640x480", 768000, 24), E(".mp4", "800x480", 768000, 24), E(".mp4", "800x480", 1024000, 24),
         E(".mp4", "320x240", 384000, 18), E(".mp4", "320x240", 384000, 18)},
        // 11
        {E(".avi", "220x176", 256000, 10), E(".mp4", "480x272", 512000, 24)},
        // 12
        {E(".avi", "400x240", 384000, 18), E(".mp4", "800x480", 1200000, 24), E(".mp4", "320x240", 384000, 18),
         E(".mp4", "480x240", 512000, 18), E(".mp4", "400x240", 384000, 18), E(".mp4", "320x240", 384000, 18),
         E(".mp4", "800x480", 1000000, 24), E(".mp4", "400x240", 384000, 18), E(".mp4", "320x240", 288000, 18),
         E(".mp4", "320x240", 384000, 18)},
        // 13
        {E(".avi", "320x240", 384000, 18), E(".mp4", "320x240", 288000, 24), E(".mp4", "320x240", 384000, 24),
         E(".mp4", "480x320", 576000, 24), E(".mp4", "480x320", 768000, 24)},
        // 14 (the second one 1280x730, as it always was)
        {E(".mp4", "1280x720", 1800000, 25), E(".mp4", "1280x730", 2400000, 25), E(".mp4", "480x360", 576000, 25),
         E(".mp4", "480x360", 768000, 25), E(".mp4", "720x480", 1500000, 25), E(".mp4", "720x480", 2000000, 25),
         E(".mp4", "320x240", 384000, 25), E(".mp4", "320x240", 384000, 25), E(".mp4", "640x480", 512000, 25),
         E(".mp4", "640x480", 768000, 25)},
        // 15
        {E(".mp4", "320x240", 384000, 15), E(".mp4", "160x128", 128000, 15), E(".mp4", "320x240", 288000, 18),
         E(".mp4", "320x240", 384000, 18), E(".mp4", "320x240", 384000, 15), E(".mp4", "176x144", 256000, 15)},
        // 16
        {E(".3gp", "176x144", 192000, 15), E(".3gp", "352x288", 384000, 15), E(".mp4", "640x360", 768000, 25),
         E(".mp4", "176x144", 192000, 15), E(".mp4", "320x240", 384000, 15), E(".mp4", "320x240", 384000, 15),
         E(".mp4", "320x240", 288000, 18), E(".mp4", "320x240", 384000, 18), E(".mp4", "640x480", 1024000, 24),
         E(".mp4", "640x360", 768000, 24), E(".mp4", "480x320", 512000, 24), E(".mp4", "320x240", 384000, 24)},
        // 17
        {E(".avi", "320x240", 384000, 24), E(".avi", "800x480", 1500000, 24), E(".mp4", "400x240", 512000, 24),
         E(".mp4", "480x272", 512000, 24)},
        // 18
        {E(".avi", "320x240", 512000, 24), E(".avi", "432x240", 512000, 24), E(".avi", "400x240", 512000, 24),
         E(".avi", "320x240", 512000, 24), E(".avi", "800x576", 1500000, 24), E(".avi", "320x240", 512000, 24)},
        // 19
        {E(".mp4", "320x240", 384000, 18)},
        // 20
        {E(".avi", "400x240", 384000, 24), E(".mp4", "400x240", 512000, 24)},
        // 21
        {E(".mp4", "240x180", 256000, 18), E(".mp4", "320x240", 288000, 18, "avc"), E(".mp4", "320x240", 384000, 18),
         E(".mp4", "480x320", 576000, 24), E(".mp4", "480x360", 576000, 24), E(".mp4", "480x360", 768000, 24)},
        // 22
        {E(".avi", "320x240", 384000, 15), E(".mp4", "320x240", 288000, 18), E(".mp4", "320x240", 384000, 18),
         E(".mp4", "320x240", 384000, 15), E(".mp4", "480x272", 512000, 24)},
        // 23
        {E(".mp4", "1280x720", 1800000, 24), E(".mp4", "480x360", 576000, 24), E(".mp4", "720x480", 1500000, 24),
         E(".mp4", "368x208", 384000, 24), E(".mp4", "368x272", 320000, 24), E(".mp4", "368x272", 384000, 24),
         E(".mp4", "480x272", 384000, 24), E(".mp4", "320x240", 384000, 18), E(".mp4", "320x240", 384000, 18),
         E(".mp4", "320x240", 384000, 24), E(".mp4", "800x480", 1500000, 24), E(".mp4", "800x480", 1800000, 24)},
        // 24
        {E(".mp4", "320x240", 384000, 18), E(".mp4", "320x240", 288000, 18), E(".mp4", "320x240", 384000, 18),
         E(".mp4", "640x360", 512000, 24), E(".mp4", "160x128", 256000, 15), E(".mp4", "220x176", 384000, 15),
         E(".mp4", "320x240", 384000, 18)},
        // 25
        {E(".avi", "432x240", 512000, 24), E(".avi", "480x272", 512000, 24), E(".avi", "432x240", 512000, 24)},
    };
    return table;
}

namespace {
const TOutputEntry* EntryOf(const std::vector<std::vector<TOutputEntry>>& Table, int Row, int Column)
{
    if (Row < 0 || Row >= static_cast<int>(Table.size()))
        return nullptr;
    const auto& entries = Table[static_cast<size_t>(Row)];
    if (Column < 0 || Column >= static_cast<int>(entries.size()))
        return nullptr;
    return &entries[static_cast<size_t>(Column)];
}
}  // namespace

const TOutputEntry* PresetEntry(int FileType, int Preset) { return EntryOf(PresetTable(), FileType, Preset); }
const TOutputEntry* DeviceEntry(int Brand, int Model) { return EntryOf(DeviceTable(), Brand, Model); }

const std::vector<TCustomType>& CustomTypes()
{
    // MPEG goes into a program stream (".mpeg"), RM into RealVideo 2.0 and MOV into MPEG-4 video: each
    // type produces a file its container can hold whatever was chosen before.
    static const std::vector<TCustomType> types = {
        {".3gp", "mpeg4"}, {".mp4", "avc"},   {".avi", "mpeg4"}, {".mpeg", "mpeg4"}, {".wmv", "wmv2"},
        {".rm", "rv20"},   {".mov", "mpeg4"}, {".mkv", "avc"},   {".flv", "flv"},
    };
    return types;
}

}  // namespace kv::presets
