// The output tabs' choice turned into a task's option records.
#include "presets/OutputResolution.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

#include "media/AVProbe.h"
#include "presets/AnalysedCodecs.h"
#include "presets/AudioEncoders.h"
#include "presets/FrameRates.h"
#include "presets/IniFile.h"
#include "presets/Numbers.h"
#include "presets/OutputKinds.h"
#include "presets/OutputTables.h"
#include "presets/ProfileFiles.h"
#include "presets/Text.h"

namespace kv::presets {

namespace {

// Halving with truncation, then doubling: the even number at or below (towards zero).
int MakeEven(int Value) { return Value / 2 * 2; }

// "W<Separator>H" with surrounding blanks allowed: both positive, or false. Separators: "x", or either
// letter case of it.
bool SplitSize(const std::string& Text, const char* Separators, int& Width, int& Height)
{
    const size_t at = Text.find_first_of(Separators);
    if (at == std::string::npos)
        return false;
    const std::optional<int> parsedWidth = ParseInt(Text.substr(0, at));
    const std::optional<int> parsedHeight = ParseInt(Text.substr(at + 1));
    Width = parsedWidth.value_or(0);
    Height = parsedHeight.value_or(0);
    return parsedWidth && parsedHeight && Width > 0 && Height > 0;
}

constexpr const char* AnyCaseX = "xX";
constexpr const char* LowerX = "x";

std::string SizeText(int Width, int Height) { return std::to_string(Width) + "X" + std::to_string(Height); }

void Apply(TOutputParams& Params, const TOutputEntry& Entry)
{
    Params.Ext = Entry.Ext;
    Params.Size = Entry.Size;
    Params.VCodec = Entry.VCodec;
    Params.VBitrate = Entry.VBitrate;
    Params.Fps = Entry.Fps;
    if (Entry.ACodec)
        Params.ACodec = Entry.ACodec;
    Params.FrameRate.clear();
    Params.OptionLines = Entry.OptionLines ? Entry.OptionLines : "";
    Params.FollowSource = Entry.FollowSource;
    Params.AudioChosen = false;
}

// The tab's own settings that no other tab carries over.
void ClearQualitySettings(TOutputParams& Params)
{
    Params.FrameRate.clear();
    Params.OptionLines.clear();
    Params.FollowSource = false;
    Params.AudioChosen = false;
}

// The highest frame rate of a preset that follows the source.
constexpr int HighestFollowedRate = 60;

// The frame rate of the probe's file as a preset that follows the source keeps it; "" when the file cannot
// be opened or names no rate (the engine then keeps the source's own). The records are built at Start just
// before the task opens the same file on the same thread, so this opening holds the window no longer.
std::string SourceFrameRate(const std::string& FileName, const std::string& Format)
{
    try {
        kv::TCustomAVProbe probe;
        if (FileName.empty() || !probe.OpenFile(FileName, Format))
            return {};
        const AVRational rate = probe.GetVideoFrameRate();
        return FollowedFrameRate(rate.num, rate.den, HighestFollowedRate);
    } catch (const std::exception&) {
        return {};  // the libraries are not loaded: the task will say so when it is queued
    }
}

// A bitrate read as a number, rounded; 0 for none, and at most what the engine takes.
int RoundedBitrate(double Value)
{
    if (!(Value > 0))
        return 0;
    return Value >= INT32_MAX ? INT32_MAX : static_cast<int>(std::lround(Value));
}

}  // namespace

TOutputResolver::TOutputResolver(TErrorMessage ShowError) : m_showError(std::move(ShowError)) {}

void TOutputResolver::ResolveOutputPreset(const TOutputChoice& Choice)
{
    auto error = [this](const std::string& Text) {
        if (m_showError)
            m_showError(Text);
    };

    switch (Choice.Tab) {
    case otPreset:
        if (const TOutputEntry* entry = PresetEntry(Choice.Index1, Choice.Index2))
            Apply(m_params, *entry);
        break;
    case otDevice:
        if (const TOutputEntry* entry = DeviceEntry(Choice.Index1, Choice.Index2))
            Apply(m_params, *entry);
        break;
    case otAnalysis: {
        const TIniFile ini(Choice.ExtFilePath);
        ClearQualitySettings(m_params);
        // A file whose kind the analysis could not name is written as an AVI file.
        const std::string type = Trimmed(ini.ReadString("mediatype", "Type", {}));
        m_params.Ext = type.empty() ? ".avi" : "." + type;
        m_params.Size = ini.ReadString("video", "Width", "320") + "x" + ini.ReadString("video", "Height", "240");
        // The analysed codecs where there is an encoder for them, else MPEG-4 video and the label's audio.
        const std::string video = VideoEncoderOfAnalysedCodec(Trimmed(ini.ReadString("video", "VideoCodec", {})));
        m_params.VCodec = video.empty() ? "mpeg4" : video;
        if (const std::string audio = AudioEncoderOfAnalysedCodec(Trimmed(ini.ReadString("audio", "AudioCodec", {})));
            !audio.empty()) {
            m_params.ACodec = audio;
            m_params.AudioChosen = true;
        }
        m_params.VBitrate = RoundedBitrate(ini.ReadFloat("video", "VideoBitrate", 512000));
        // The analysed rate as the video was made with it (29.97 is 30000/1001).
        const double fps = ini.ReadFloat("video", "FPS", 24);
        m_params.FrameRate = AnalysedFrameRate(fps);
        m_params.Fps = m_params.FrameRate.empty() ? 0 : static_cast<int>(std::lround(fps));
        break;
    }
    case otCustom: {
        if (!Choice.CustomPanelShown) {
            error("请设定对应视频参数！");
            return;
        }
        const std::string width = Trimmed(Choice.CustomWidth), height = Trimmed(Choice.CustomHeight);
        const std::string bitrate = Trimmed(Choice.CustomBitrate), fps = Trimmed(Choice.CustomFps);
        if (width.empty() || height.empty()) {
            error("请设定输入视频尺寸！");
            return;
        }
        if (bitrate.empty()) {
            error("请输入视频比特率！");
            return;
        }
        if (fps.empty()) {
            error("请输入帧速率！");
            return;
        }
        m_params.ACodec = "libmp3lame";
        ClearQualitySettings(m_params);
        const auto& types = CustomTypes();
        if (Choice.Index1 < 0 || Choice.Index1 >= static_cast<int>(types.size()))
            return;
        const TCustomType& type = types[static_cast<size_t>(Choice.Index1)];
        m_params.Ext = type.Ext;
        if (type.VCodec)
            m_params.VCodec = type.VCodec;
        m_params.Size = width + "x" + height;
        m_params.VBitrate = ParseInt(bitrate).value_or(0);
        m_params.Fps = ParseInt(fps).value_or(0);
        break;
    }
    default: break;
    }
}

std::optional<int> TOutputResolver::ComputeLetterbox(const std::string& BaseName, const std::string& TargetSize,
                                                     const std::vector<TFileRowInfo>& Rows)
{
    const std::string wanted = AsciiUpper(Trimmed(BaseName));
    const TFileRowInfo* row = nullptr;
    for (const TFileRowInfo& candidate : Rows)
        if (AsciiUpper(Trimmed(candidate.Caption)) == wanted)
            row = &candidate;  // the last matching row counts
    if (!row)
        return std::nullopt;
    return ComputeLetterbox(*row, TargetSize);
}

std::optional<int> TOutputResolver::ComputeLetterbox(const TFileRowInfo& Row, const std::string& TargetSize)
{
    int sourceWidth = 0, sourceHeight = 0, width = 0, height = 0;
    if (!SplitSize(Row.Resolution, AnyCaseX, sourceWidth, sourceHeight) ||
        !SplitSize(TargetSize, LowerX, width, height))
        return std::nullopt;

    const double ratio = std::round(static_cast<double>(sourceWidth) / sourceHeight * 100.0) / 100.0;
    // A source more than 200 times as high as wide has no shape at this precision: fitting would divide by
    // zero and leave a picture 0 lines high.
    if (ratio <= 0)
        return std::nullopt;
    const int scaledHeight = MakeEven(static_cast<int>(std::lround(width / ratio)));
    if (scaledHeight - height < 0) {
        // Letterbox: bands at the top and bottom.
        m_params.PadVertical = true;
        const int total = height - scaledHeight;
        const int even = MakeEven(total);
        const int half = even / 2;
        const int fitted = half % 2 != 0 ? height - even + 2 : height - total;
        m_params.FittedSize = SizeText(width, fitted);
        return half;
    }
    // Pillarbox: bands at the left and right (also when the heights meet exactly).
    m_params.PadVertical = false;
    const int scaledWidth = MakeEven(static_cast<int>(std::lround(height * ratio)));
    const int total = std::abs(scaledWidth - width);
    const int even = MakeEven(total);
    const int half = even / 2;
    const int fitted = half % 2 != 0 ? width - even + 2 : width - total;
    m_params.FittedSize = SizeText(fitted, height);
    return half;
}

std::optional<std::string> TOutputResolver::SourceSizeWithin(const TFileRowInfo& Row, const std::string& TargetSize)
{
    int sourceWidth = 0, sourceHeight = 0, width = 0, height = 0;
    if (!SplitSize(Row.Resolution, AnyCaseX, sourceWidth, sourceHeight) ||
        !SplitSize(TargetSize, LowerX, width, height) || sourceWidth > width || sourceHeight > height)
        return std::nullopt;
    // Encoders of 4:2:0 pictures take even sizes only; a picture of 1 line keeps 2.
    return SizeText(std::max(2, MakeEven(sourceWidth)), std::max(2, MakeEven(sourceHeight)));
}

bool TOutputResolver::ClipApplies(const TOutputChoice& Choice)
{
    return Choice.ClipEnabled && Choice.ClipChecked && Choice.SelEnd > 0 && Choice.SelEnd > Choice.SelStart;
}

std::string TOutputResolver::OutputBaseName(const std::string& FilePath)
{
    return AsciiUpper(CompleteBaseName(Trimmed(FilePath)));
}

std::string TOutputResolver::OutputFileName(const std::string& Folder, const std::string& Base,
                                            const std::string& Suffix)
{
    // A link counts as an existing file even when what it points to is gone. A name holding a NUL byte
    // names no file (the system would read it only up to that byte): it is not taken, and the engine
    // refuses it when it opens the output.
    auto taken = [](const std::string& Path) {
        if (Path.find('\0') != std::string::npos)
            return false;
        std::error_code error;
        const std::filesystem::file_type type = std::filesystem::symlink_status(Path, error).type();
        return type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none;
    };
    std::string name = JoinPath(Folder, Base + "_(new)" + Suffix);
    for (int n = 1; taken(name); ++n)
        name = JoinPath(Folder, Base + "_(new_" + std::to_string(n) + ")" + Suffix);
    return name;
}

kv::TOutputOptions TOutputResolver::BuildOutputOptions(const TOutputChoice& Choice)
{
    kv::TOutputOptions options;
    kv::ResetOutputOptions(options);
    ResolveOutputPreset(Choice);

    std::string suffix = m_params.Ext;
    options.VideoCodec = m_params.VCodec;
    options.AudioCodec = m_params.ACodec;

    // The picture keeps the source's shape inside the target size; the bands are black. A picture that
    // cannot be fitted (its row is gone, its size is unknown, no target yet) gets the plain target size.
    const std::string base = OutputBaseName(Choice.ProbeFileName);
    // Files of one name in different folders have rows of their own: the probe's row is the one that counts;
    // without it, the last row of the file's name.
    const TFileRowInfo* row = nullptr;
    if (Choice.ProbeRow >= 0 && Choice.ProbeRow < static_cast<int>(Choice.Rows.size())) {
        row = &Choice.Rows[static_cast<size_t>(Choice.ProbeRow)];
    } else {
        const std::string wanted = AsciiUpper(Trimmed(base));
        for (const TFileRowInfo& candidate : Choice.Rows)
            if (AsciiUpper(Trimmed(candidate.Caption)) == wanted)
                row = &candidate;
    }
    auto fit = [&](const std::string& Target) {
        options.PadTop = options.PadBottom = options.PadLeft = options.PadRight = -1;
        const std::optional<int> half = row ? ComputeLetterbox(*row, Target) : std::nullopt;
        if (half) {
            options.FrameSize = m_params.FittedSize;
            const int pad = MakeEven(*half);
            if (m_params.PadVertical)
                options.PadTop = options.PadBottom = pad;
            else
                options.PadLeft = options.PadRight = pad;
            return;
        }
        int width = 0, height = 0;
        if (SplitSize(Target, LowerX, width, height)) {
            m_params.FittedSize = SizeText(width, height);
            options.FrameSize = Trimmed(Target);
        } else {
            // No usable size at all: the source's own size.
            m_params.FittedSize.clear();
            options.FrameSize.clear();
        }
        m_params.PadVertical = false;
    };
    // A preset that never enlarges takes a source that fits into it as it is, without bands.
    if (const std::optional<std::string> own =
            m_params.FollowSource && row ? SourceSizeWithin(*row, m_params.Size) : std::nullopt) {
        options.PadTop = options.PadBottom = options.PadLeft = options.PadRight = -1;
        options.FrameSize = m_params.FittedSize = *own;
        m_params.PadVertical = false;
    } else {
        fit(m_params.Size);
    }
    options.PadColor = 0;

    if (m_params.VBitrate > 0)
        options.VideoBitrate = m_params.VBitrate;
    // A frame rate of 0 (an analysed file without video) keeps the source's rate.
    if (m_params.FollowSource)
        options.FrameRate = SourceFrameRate(Choice.ProbeFileName, Choice.ProbeFormat);
    else if (!m_params.FrameRate.empty())
        options.FrameRate = m_params.FrameRate;
    else if (m_params.Fps > 0)
        options.FrameRate = std::to_string(m_params.Fps);
    options.ExtOptions = m_params.OptionLines;

    if (const std::string encoder = EncoderOfProfileCodec(Choice.AudioCodec); !encoder.empty() && !m_params.AudioChosen)
        options.AudioCodec = encoder;

    options.CustomHook = false;
    options.CopyTimestamp = false;
    if (ClipApplies(Choice))
        options.RecordingTime = Choice.ClipLengthMs;

    if (const TOutputKind* kind = OutputKind(suffix)) {
        if (kind->FlashSampleRate && options.AudioSampleRate != 11025 && options.AudioSampleRate != 22050 &&
            options.AudioSampleRate != 44100)
            options.AudioSampleRate = 22050;
        if (kind->ForceFormat)
            options.ForceFormat = kind->ForceFormat;
        if (kind->VideoCodec)
            options.VideoCodec = kind->VideoCodec;
        if (kind->AudioCodec)
            options.AudioCodec = kind->AudioCodec;
        if (kind->SampleRate)
            options.AudioSampleRate = kind->SampleRate;
        if (kind->FrameRate)
            options.FrameRate = kind->FrameRate;
        if (kind->FitInto)
            fit(kind->FitInto);
        if (kind->Channels)
            options.AudioChannels = kind->Channels;
        if (kind->AudioBitrate)
            options.AudioBitrate = kind->AudioBitrate;
        if (kind->NoVideo)
            options.DisableVideo = true;
        if (kind->Suffix)
            suffix = kind->Suffix;
        if (kind->Disc) {
            const char* norm = options.TargetNorm == 1   ? "_pal.mpg"
                               : options.TargetNorm == 2 ? "_ntsc.mpg"
                                                         : "_auto.mpg";
            suffix = "_" + suffix.substr(1) + norm;
        }
    }

    options.Info.Timestamp = 0;  // now

    options.AudioCodec = AudioEncoderFor(suffix, options.AudioCodec);
    options.FileExt = suffix;
    options.FileName = OutputFileName(Choice.OutputFolder, base, suffix);
    options.DisableSubtitle = true;
    return options;
}

kv::TInputOptions TOutputResolver::BuildInputOptions(const TOutputChoice& Choice) const
{
    kv::TInputOptions options;
    kv::ResetInputOptions(options);
    options.FileName = Choice.ProbeFileName;
    options.ForceFormat = Choice.ProbeFormat;
    if (ClipApplies(Choice))
        options.StartTime = Choice.ClipStartMs;
    return options;
}

}  // namespace kv::presets
