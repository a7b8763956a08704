#include "engine/OptionHandlers.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>

#include "media/LibraryBindings.h"
#include "media/TextAndPath.h"
#include "media/TextFormat.h"
#include "engine/FFmpegException.h"
#include "media/OptionValues.h"

namespace kv {

namespace {

[[noreturn]] void Fail(const std::string& Message) { throw FFmpegException(Message); }

std::string FormatName(TCustomFFmpeg& Task, const std::string& Name)
{
    if (Name != "pgmyuv")
        return Name;
    Task.Options().UsingPgmYuv = true;
    Task.Log(1, "pgmyuv format is deprecated, use image2");
    return "image2";
}

// The media type an option name is for, by its first letter: v, a, s (and d for data frames).
AVMediaType TypeOfName(const std::string& Name)
{
    switch (Name.empty() ? 'v' : Name[0]) {
    case 'a': return AVMEDIA_TYPE_AUDIO;
    case 's': return AVMEDIA_TYPE_SUBTITLE;
    case 'd': return AVMEDIA_TYPE_DATA;
    default: return AVMEDIA_TYPE_VIDEO;
    }
}

TBand BandOfName(const std::string& Name, size_t PrefixLength)
{
    const std::string band = Name.substr(PrefixLength);
    if (band == "top")
        return bdTop;
    if (band == "bottom")
        return bdBottom;
    return band == "left" ? bdLeft : bdRight;
}

const char* const BandNames[] = {"Top", "Bottom", "Left", "Right"};

// Reads integers with the base their text gives (0x hexadecimal, leading 0 octal), each followed by
// exactly one separator character of any kind.
class TIndexReader {
public:
    explicit TIndexReader(const std::string& Text) : m_position(Text.c_str()) {}
    int Next()
    {
        char* end = nullptr;
        const long value = rt::my_strtol(m_position, &end, 0);
        m_position = end;
        if (*m_position)
            ++m_position;
        return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
    }
    bool AtEnd() const { return *m_position == '\0'; }
    const char* Rest() const { return m_position; }

private:
    const char* m_position;
};

int FloorDiv1024(int Value) { return Value >= 0 ? Value / 1024 : -((-Value + 1023) / 1024); }

// The padded picture with one band replaced, each side at least 1 (no frame size known yet).
bool PaddedPictureAccepted(const TTaskOptions& o, TBand Band, int Value)
{
    int64_t bands[] = {o.FramePadTop, o.FramePadBottom, o.FramePadLeft, o.FramePadRight};
    bands[Band] = Value;
    const int64_t width = int64_t{o.FrameWidth} + bands[bdLeft] + bands[bdRight];
    const int64_t height = int64_t{o.FrameHeight} + bands[bdTop] + bands[bdBottom];
    return PictureSizeAccepted(std::max<int64_t>(width, 1), std::max<int64_t>(height, 1));
}

}  // namespace

void SetInputFormat(TCustomFFmpeg& Task, const std::string& Name)
{
    if (Name.empty())
        return;
    const std::string name = FormatName(Task, Name);
    Task.Options().FileIFormat = lav::av_find_input_format(name.c_str());
    if (!Task.Options().FileIFormat)
        Fail("Unknown input format: " + name);
}

void SetOutputFormat(TCustomFFmpeg& Task, const std::string& Name)
{
    if (Name.empty())
        return;
    const std::string name = FormatName(Task, Name);
    Task.Options().FileOFormat = lav::av_guess_format(name.c_str(), nullptr, nullptr);
    if (!Task.Options().FileOFormat)
        Fail("Unknown output format: " + name);
}

void SetFrameRate(TCustomFFmpeg& Task, const std::string& Text)
{
    if (Text.empty())
        return;
    AVRational rate{0, 0};
    if (lav::av_parse_video_rate(&rate, Text.c_str()) < 0)
        Fail("Incorrect frame rate");
    Task.Options().FrameRate = rate;
}

void SetFrameSize(TCustomFFmpeg& Task, const std::string& Text)
{
    if (Text.empty())
        return;
    int width = 0;
    int height = 0;
    if (lav::av_parse_video_size(&width, &height, Text.c_str()) < 0)
        Fail("Incorrect frame size");
    // Refused before it is stored: the encoder size adds the pads to it.
    if (!PictureSizeAccepted(width, height))
        Fail(kv::Format("Frame size %dx%d is too large (option s)", width, height));
    TTaskOptions& o = Task.Options();
    const int64_t paddedWidth = int64_t{width} + o.FramePadLeft + o.FramePadRight;
    const int64_t paddedHeight = int64_t{height} + o.FramePadTop + o.FramePadBottom;
    if (!PictureSizeAccepted(paddedWidth, paddedHeight))
        Fail(kv::Format("Frame size %dx%d is too large with the pads, %lldx%lld (option s)", width, height,
                        static_cast<long long>(paddedWidth), static_cast<long long>(paddedHeight)));
    Task.Options().FrameWidth = width;
    Task.Options().FrameHeight = height;
    if (width % 2 != 0 || height % 2 != 0)
        Fail("Frame size must be a multiple of 2");
}

void SetAspectRatio(TCustomFFmpeg& Task, const std::string& Text)
{
    if (Text.empty())
        return;
    double value = 0.0;
    const size_t colon = Text.find(':');
    if (colon == std::string::npos) {
        value = StrToFloatDef(Text, 0.0);
    } else {
        const int a = StrToIntDef(Text.substr(0, colon), 0);
        const int b = StrToIntDef(Text.substr(colon + 1), 0);
        value = b > 0 ? static_cast<double>(a) / b : 0.0;
    }
    // Stored as a Single: infinities, NaN and values beyond its range are no ratio either.
    if (value == 0.0 || !std::isfinite(value) || std::fabs(value) > FLT_MAX)
        Fail("Incorrect aspect ratio specification.");
    Task.Options().FrameAspectRatio = static_cast<float>(value);
}

void SetCropBand(TCustomFFmpeg& Task, TBand Band, int Value)
{
    if (Value < 0)
        return;
    if (Value % 2 != 0)
        Fail(std::string(BandNames[Band]) + " crop size must be a multiple of 2");
    TTaskOptions& o = Task.Options();
    const bool vertical = Band == bdTop || Band == bdBottom;
    if (Value >= (vertical ? o.FrameHeight : o.FrameWidth))
        Fail(std::string(vertical ? "Vertical" : "Horizontal") +
             " crop dimensions are outside the range of the original image.\n"
             "Remember to crop first and scale second.");
    int* bands[] = {&o.FrameTopBand, &o.FrameBottomBand, &o.FrameLeftBand, &o.FrameRightBand};
    *bands[Band] = Value;
    (vertical ? o.FrameHeight : o.FrameWidth) -= Value;
}

void SetPadBand(TCustomFFmpeg& Task, TBand Band, int Value)
{
    if (Value < 0)
        return;
    if (Value % 2 != 0)
        Fail(std::string(BandNames[Band]) + " pad size must be a multiple of 2");
    TTaskOptions& o = Task.Options();
    if (!PaddedPictureAccepted(o, Band, Value)) {
        std::string option = std::string("pad") + BandNames[Band];
        std::transform(option.begin(), option.end(), option.begin(), [](unsigned char c) { return std::tolower(c); });
        Fail(kv::Format("%s pad size %d is too large for a %dx%d frame (option %s)", BandNames[Band], Value,
                        o.FrameWidth, o.FrameHeight, option.c_str()));
    }
    int* bands[] = {&o.FramePadTop, &o.FramePadBottom, &o.FramePadLeft, &o.FramePadRight};
    *bands[Band] = Value;
}

void SetPadColor(TCustomFFmpeg& Task, uint32_t RGB)
{
    const int r = static_cast<int>(RGB & 0xFF);
    const int g = static_cast<int>((RGB >> 8) & 0xFF);
    const int b = static_cast<int>((RGB >> 16) & 0xFF);
    Task.Options().PaddingColor = {
        (307 * r + 602 * g + 117 * b + 512) / 1024,
        FloorDiv1024(-173 * r - 340 * g + 512 * b + 511) + 128,
        FloorDiv1024(512 * r - 429 * g - 84 * b + 511) + 128,
    };
}

void SetCodecName(TCustomFFmpeg& Task, AVMediaType Type, const std::string& Name)
{
    if (Name.empty())
        return;
    TTaskOptions& o = Task.Options();
    std::string& name = Type == AVMEDIA_TYPE_AUDIO      ? o.AudioCodecName
                        : Type == AVMEDIA_TYPE_SUBTITLE ? o.SubtitleCodecName
                                                        : o.VideoCodecName;
    bool& copy = Type == AVMEDIA_TYPE_AUDIO      ? o.AudioStreamCopy
                 : Type == AVMEDIA_TYPE_SUBTITLE ? o.SubtitleStreamCopy
                                                 : o.VideoStreamCopy;
    name.clear();
    if (Name == "copy")
        copy = true;
    else
        name = Name;
}

void SetCodecTag(TCustomFFmpeg& Task, AVMediaType Type, const std::string& Tag)
{
    const bool audio = Type == AVMEDIA_TYPE_AUDIO;
    if (Tag.size() != 4)
        throw EAssertionFailed(
            Format("%s tag parameter must be 4 chars (%s, line %d)", audio ? "audio" : "video", __FILE__, __LINE__));
    const uint32_t tag = static_cast<uint8_t>(Tag[0]) | static_cast<uint8_t>(Tag[1]) << 8 |
                         static_cast<uint8_t>(Tag[2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(Tag[3])) << 24;
    (audio ? Task.Options().AudioCodecTag : Task.Options().VideoCodecTag) = tag;
}

void AddMetadata(TCustomFFmpeg& Task, const std::string& Key, const std::string& Value)
{
    Task.Options().MetaData.emplace_back(Key, Value);
}

void SetStartTimeUS(TCustomFFmpeg& Task, int64_t Microseconds)
{
    if (Microseconds > 0)
        Task.Options().StartTime = Microseconds;
}

void SetRecordingTimeUS(TCustomFFmpeg& Task, int64_t Microseconds)
{
    if (Microseconds <= 0)
        return;
    Task.Options().RecordingTime = Microseconds;
    Task.SetTotalDurationMS(static_cast<int>(std::min<int64_t>(Microseconds / 1000, INT_MAX)));
}

namespace opt {

void NoEffect(TCustomFFmpeg& Task, const std::string& Name, const std::string&)
{
    Task.Log(1, "Do nothing: option - " + Name);
}

void Todo(TCustomFFmpeg&, const std::string& Name, const std::string&) { Fail("TODO: option - " + Name); }

void Format(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    const std::string name = FormatName(Task, Value);
    TTaskOptions& o = Task.Options();
    o.FileIFormat = lav::av_find_input_format(name.c_str());
    o.FileOFormat = lav::av_guess_format(name.c_str(), nullptr, nullptr);
    if (!o.FileIFormat && !o.FileOFormat)
        Fail("Unknown input or output format: " + name);
}

void Map(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    TTaskOptions& o = Task.Options();
    if (o.NbStreamMaps >= MAX_SLOTS)
        Fail(kv::Format("Too many stream maps (at most %d)", MAX_SLOTS));
    TIndexReader reader(Value);
    TStreamMap map;
    map.FileIndex = reader.Next();
    map.StreamIndex = reader.Next();
    if (!reader.AtEnd()) {
        map.SyncFileIndex = reader.Next();
        map.SyncStreamIndex = reader.Next();
    } else {
        map.SyncFileIndex = map.FileIndex;
        map.SyncStreamIndex = map.StreamIndex;
    }
    o.StreamMaps[o.NbStreamMaps++] = map;
}

void MapMetaData(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    TTaskOptions& o = Task.Options();
    if (o.NbMetaDataMaps >= MAX_META_DATA_MAPS)
        Fail(kv::Format("Too many metadata maps (at most %d)", MAX_META_DATA_MAPS));
    TIndexReader reader(Value);
    TMetaDataMap map;
    map.OutFile = reader.Next();
    map.InFile = reader.Next();
    o.MetaDataMaps[o.NbMetaDataMaps++] = map;
}

void Time(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    const bool date = Name == "timestamp";
    int64_t us = 0;
    if (lav::av_parse_time(&us, Value.c_str(), date ? 0 : 1) < 0 || us == INT64_MIN)
        Fail(
            kv::Format("Invalid %s specification for %s: %s", date ? "date" : "duration", Name.c_str(), Value.c_str()));
    TTaskOptions& o = Task.Options();
    if (Name == "t")
        SetRecordingTimeUS(Task, us);
    else if (Name == "ss")
        o.StartTime = us;
    else if (Name == "itsoffset")
        o.InputTsOffset = us;
    else
        o.RecTimestamp = std::llround(static_cast<double>(us) / 1000000.0);
}

void TimestampScale(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    TIndexReader reader(Value);
    const int stream = reader.Next();
    const double scale = StrToFloatDef(reader.Rest(), 0.0);
    if (static_cast<unsigned>(stream) >= static_cast<unsigned>(MAX_STREAMS))
        Fail(kv::Format("stream index over MAX_STREAMS(%d)", MAX_STREAMS));
    TTaskOptions& o = Task.Options();
    if (Task.Files().NbInputFiles >= MAX_FILES)
        Fail(kv::Format("Too many input files (at most %d)", MAX_FILES));
    o.InputFilesTsScale[Task.Files().NbInputFiles][stream] = scale;
}

void Metadata(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    const size_t equals = Value.find('=');
    if (equals == std::string::npos)
        Fail("Missing =");
    AddMetadata(Task, Value.substr(0, equals), Value.substr(equals + 1));
}

void MaxFrames(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    Task.Options().MaxFrames[MaxFramesIndex(TypeOfName(Name))] = StrToInt(Value);
}

void Verbosity(TCustomFFmpeg& Task, const std::string&, const std::string& Value) { Task.SetLogLevel(StrToInt(Value)); }

void Target(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    std::string target = TrimText(Value);
    std::string norm = "auto";
    for (const char* prefix : {"pal", "ntsc", "film"}) {
        const std::string withDash = std::string(prefix) + "-";
        if (target.rfind(withDash, 0) == 0) {
            norm = prefix;
            target.erase(0, withDash.size());
            break;
        }
    }
    Task.ApplyTargetPreset(target, norm, "ntsc");
}

void BitRate(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    if (Name.empty() || Value.empty() || !Task.SetGenericOption(Name, Value) || !Task.LogSlot)
        return;
    const AVMediaType type = Name[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO;
    int64_t rate = 0;
    if (lav::av_opt_get_int(Task.OptionStore().CodecOptions[type].get(), "b", 0, &rate) >= 0 && rate < 1000)
        Task.Log(1, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void FrameRate(TCustomFFmpeg& Task, const std::string&, const std::string& Value) { SetFrameRate(Task, Value); }
void FrameSize(TCustomFFmpeg& Task, const std::string&, const std::string& Value) { SetFrameSize(Task, Value); }
void Aspect(TCustomFFmpeg& Task, const std::string&, const std::string& Value) { SetAspectRatio(Task, Value); }

void PixelFormat(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    if (Value != "list") {
        Task.Options().FramePixFmt = lav::av_get_pix_fmt(Value.c_str());
        return;
    }
    if (!Task.LogSlot)
        return;
    char line[128];
    for (int format = -1; format < 0 || lav::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format)); ++format)
        Task.Log(1, TrimText(lav::av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(format))));
}

void SampleFormat(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    if (Value != "list") {
        Task.Options().AudioSampleFmt = lav::av_get_sample_fmt(Value.c_str());
        return;
    }
    if (!Task.LogSlot)
        return;
    char line[128];
    for (int format = -1; format < AV_SAMPLE_FMT_NB; ++format)
        Task.Log(1, TrimText(lav::av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(format))));
}

void Crop(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    SetCropBand(Task, BandOfName(Name, 4), StrToInt(Value));
}

void Pad(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    SetPadBand(Task, BandOfName(Name, 3), StrToInt(Value));
}

void PadColor(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    SetPadColor(Task, static_cast<uint32_t>(StrToInt(Value)));
}

void QScale(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    const double scale = StrToFloat(Value);
    if (!(scale > 0.0 && scale <= 255.0))
        Fail("qscale must be > 0.0 and <= 255");
    Task.Options().VideoQScale = static_cast<float>(scale);
}

void Codec(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    SetCodecName(Task, TypeOfName(Name), Value);
}

void Pass(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    const int pass = StrToInt(Value);
    if (pass != 1 && pass != 2)
        Fail("pass number can be only 1 or 2");
    Task.Options().DoPass = pass;
}

void VStats(TCustomFFmpeg& Task, const std::string&, const std::string&)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char clock[16];
    std::strftime(clock, sizeof clock, "%H%M%S", &local);
    Task.Options().VStatsFilename = kv::Format("%svstats_%s.log", ProgramFolder().c_str(), clock);
}

void VStatsFile(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    Task.Options().VStatsFilename = Value;
}

void VideoHook(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    const char separator = Value.find('|') != std::string::npos ? '|' : ' ';
    std::vector<std::string> args;
    size_t start = 0;
    while (start <= Value.size()) {
        size_t end = Value.find(separator, start);
        if (end == std::string::npos)
            end = Value.size();
        if (end > start)
            args.push_back(Value.substr(start, end - start));
        start = end + 1;
    }
    // A module gets at most 63 arguments, its name included, as older converters allowed.
    if (args.size() > 63 || AddVideoHook(Task.HookState().Chain, args) != 0)
        Fail("Failed to add video hook function: " + Value);
    Task.Options().UsingVHook = true;
}

void VideoFilters(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    if (!Value.empty())
        Task.Options().VFilters = Value;
}

void Matrix(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    std::optional<std::array<uint16_t, 64>>& matrix =
        Name == "intra_matrix" ? Task.Options().IntraMatrix : Task.Options().InterMatrix;
    matrix.emplace();
    matrix->fill(0);
    const char* p = Value.c_str();
    for (int i = 0; i < 64; ++i) {
        while (*p == ' ')
            ++p;
        int coefficient = 0;
        while (*p >= '0' && *p <= '9' && coefficient <= 65535)
            coefficient = coefficient * 10 + (*p++ - '0');
        (*matrix)[static_cast<size_t>(i)] = static_cast<uint16_t>(std::min(coefficient, 65535));
        if (i == 63)
            break;
        p = std::strchr(p, ',');
        if (!p)
            Fail(kv::Format("Syntax error in matrix \"%s\" at coeff %d", Value.c_str(), i));
        ++p;
    }
}

void Tag(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    SetCodecTag(Task, TypeOfName(Name), Value);
}

void NewStream(TCustomFFmpeg& Task, const std::string& Name, const std::string&)
{
    const AVMediaType type = Name == "newaudio"      ? AVMEDIA_TYPE_AUDIO
                             : Name == "newsubtitle" ? AVMEDIA_TYPE_SUBTITLE
                                                     : AVMEDIA_TYPE_VIDEO;
    Task.NewOutputStream(type);
}

void SampleRate(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    const int rate = StrToInt(Value);
    if (rate > 0)
        Task.Options().AudioSampleRate = rate;
}

void Channels(TCustomFFmpeg& Task, const std::string&, const std::string& Value)
{
    const int channels = StrToInt(Value);
    if (channels > 0)
        Task.Options().AudioChannels = channels;
}

void BitstreamFilter(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value)
{
    if (Value.empty() || Value[0] == '=')
        return;
    const std::string name = Value.substr(0, Value.find('='));
    const AVBitStreamFilter* filter = lav::av_bsf_get_by_name(name.c_str());
    AVBSFContext* context = nullptr;
    if (!filter || lav::av_bsf_alloc(filter, &context) < 0)
        Fail("Unknown bitstream filter " + TrimText(Value));
    Task.Options().PendingBitstreamFilters[PendingFiltersIndex(TypeOfName(Name))].emplace_back(context);
}

}  // namespace opt

}  // namespace kv
