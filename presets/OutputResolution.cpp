#include "presets/OutputResolution.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "presets/AudioEncoders.h"
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
bool SplitSize(const std::string& Text, const char* Separators, int& Width, int& Height) {
    const size_t At = Text.find_first_of(Separators);
    if (At == std::string::npos)
        return false;
    const std::optional<int> ParsedWidth = ParseInt(Text.substr(0, At));
    const std::optional<int> ParsedHeight = ParseInt(Text.substr(At + 1));
    Width = ParsedWidth.value_or(0);
    Height = ParsedHeight.value_or(0);
    return ParsedWidth && ParsedHeight && Width > 0 && Height > 0;
}

constexpr const char* AnyCaseX = "xX";
constexpr const char* LowerX = "x";

std::string SizeText(int Width, int Height) { return std::to_string(Width) + "X" + std::to_string(Height); }

void Apply(TOutputParams& Params, const TOutputEntry& Entry) {
    Params.Ext = Entry.Ext;
    Params.Size = Entry.Size;
    Params.VCodec = Entry.VCodec;
    Params.VBitrate = Entry.VBitrate;
    Params.Fps = Entry.Fps;
}

}  // namespace

TOutputResolver::TOutputResolver(TErrorMessage ShowError) : m_showError(std::move(ShowError)) {}

void TOutputResolver::ResolveOutputPreset(const TOutputChoice& Choice) {
    auto Error = [this](const std::string& Text) {
        if (m_showError)
            m_showError(Text);
    };

    switch (Choice.Tab) {
    case OutputTabPreset:
        if (const TOutputEntry* Entry = PresetEntry(Choice.Index1, Choice.Index2))
            Apply(m_params, *Entry);
        break;
    case OutputTabDevice:
        if (const TOutputEntry* Entry = DeviceEntry(Choice.Index1, Choice.Index2))
            Apply(m_params, *Entry);
        break;
    case OutputTabAnalysis: {
        const TIniFile Ini(Choice.ExtFilePath);
        // A file whose kind the analysis could not name is written as an AVI file.
        const std::string Type = Trimmed(Ini.ReadString("mediatype", "Type", {}));
        m_params.Ext = Type.empty() ? ".avi" : "." + Type;
        m_params.Size = Ini.ReadString("video", "Width", "320") + "x" + Ini.ReadString("video", "Height", "240");
        m_params.VCodec = "mpeg4";
        m_params.VBitrate = Ini.ReadInteger("video", "VideoBitrate", 512000);
        m_params.Fps = Ini.ReadInteger("video", "FPS", 24);
        break;
    }
    case OutputTabCustom: {
        if (!Choice.CustomPanelShown) {
            Error("请设定对应视频参数！");
            return;
        }
        const std::string Width = Trimmed(Choice.CustomWidth), Height = Trimmed(Choice.CustomHeight);
        const std::string Bitrate = Trimmed(Choice.CustomBitrate), Fps = Trimmed(Choice.CustomFps);
        if (Width.empty() || Height.empty()) {
            Error("请设定输入视频尺寸！");
            return;
        }
        if (Bitrate.empty()) {
            Error("请输入视频比特率！");
            return;
        }
        if (Fps.empty()) {
            Error("请输入帧速率！");
            return;
        }
        m_params.ACodec = "libmp3lame";
        const auto& Types = CustomTypes();
        if (Choice.Index1 < 0 || Choice.Index1 >= static_cast<int>(Types.size()))
            return;
        const TCustomType& Type = Types[static_cast<size_t>(Choice.Index1)];
        m_params.Ext = Type.Ext;
        if (Type.VCodec)
            m_params.VCodec = Type.VCodec;
        m_params.Size = Width + "x" + Height;
        m_params.VBitrate = ParseInt(Bitrate).value_or(0);
        m_params.Fps = ParseInt(Fps).value_or(0);
        break;
    }
    default:
        break;
    }
}

std::optional<int> TOutputResolver::ComputeLetterbox(const std::string& BaseName, const std::string& TargetSize,
                                                     const std::vector<TFileRowInfo>& Rows) {
    const std::string Wanted = AsciiUpper(Trimmed(BaseName));
    const TFileRowInfo* Row = nullptr;
    for (const TFileRowInfo& Candidate : Rows)
        if (AsciiUpper(Trimmed(Candidate.Caption)) == Wanted)
            Row = &Candidate;  // the last matching row counts
    int SourceWidth = 0, SourceHeight = 0, Width = 0, Height = 0;
    if (!Row || !SplitSize(Row->Resolution, AnyCaseX, SourceWidth, SourceHeight) ||
        !SplitSize(TargetSize, LowerX, Width, Height))
        return std::nullopt;

    const double Ratio = std::round(static_cast<double>(SourceWidth) / SourceHeight * 100.0) / 100.0;
    const int ScaledHeight = MakeEven(static_cast<int>(std::lround(Width / Ratio)));
    if (ScaledHeight - Height < 0) {
        // Letterbox: bands at the top and bottom.
        m_params.PadVertical = true;
        const int Total = Height - ScaledHeight;
        const int Even = MakeEven(Total);
        const int Half = Even / 2;
        const int Fitted = Half % 2 != 0 ? Height - Even + 2 : Height - Total;
        m_params.FittedSize = SizeText(Width, Fitted);
        return Half;
    }
    // Pillarbox: bands at the left and right (also when the heights meet exactly).
    m_params.PadVertical = false;
    const int ScaledWidth = MakeEven(static_cast<int>(std::lround(Height * Ratio)));
    const int Total = std::abs(ScaledWidth - Width);
    const int Even = MakeEven(Total);
    const int Half = Even / 2;
    const int Fitted = Half % 2 != 0 ? Width - Even + 2 : Width - Total;
    m_params.FittedSize = SizeText(Fitted, Height);
    return Half;
}

bool TOutputResolver::ClipApplies(const TOutputChoice& Choice) {
    return Choice.ClipEnabled && Choice.ClipChecked && Choice.SelEnd > 0 && Choice.SelEnd > Choice.SelStart;
}

std::string TOutputResolver::OutputBaseName(const std::string& FilePath) {
    return AsciiUpper(CompleteBaseName(Trimmed(FilePath)));
}

std::string TOutputResolver::OutputFileName(const std::string& Folder, const std::string& Base,
                                            const std::string& Suffix) {
    // A link counts as an existing file even when what it points to is gone.
    auto Taken = [](const std::string& Path) {
        std::error_code Error;
        const std::filesystem::file_type Type = std::filesystem::symlink_status(Path, Error).type();
        return Type != std::filesystem::file_type::not_found && Type != std::filesystem::file_type::none;
    };
    std::string Name = JoinPath(Folder, Base + "_(new)" + Suffix);
    for (int N = 1; Taken(Name); ++N)
        Name = JoinPath(Folder, Base + "_(new_" + std::to_string(N) + ")" + Suffix);
    return Name;
}

kv::TOutputOptions TOutputResolver::BuildOutputOptions(const TOutputChoice& Choice) {
    kv::TOutputOptions Options;
    kv::ResetOutputOptions(Options);
    ResolveOutputPreset(Choice);

    std::string Suffix = m_params.Ext;
    Options.VideoCodec = m_params.VCodec;
    Options.AudioCodec = m_params.ACodec;

    // The picture keeps the source's shape inside the target size; the bands are black. A picture that
    // cannot be fitted (its row is gone, its size is unknown, no target yet) gets the plain target size.
    const std::string Base = OutputBaseName(Choice.ProbeFileName);
    auto Fit = [&](const std::string& Target) {
        Options.PadTop = Options.PadBottom = Options.PadLeft = Options.PadRight = -1;
        if (const std::optional<int> Half = ComputeLetterbox(Base, Target, Choice.Rows)) {
            Options.FrameSize = m_params.FittedSize;
            const int Pad = MakeEven(*Half);
            if (m_params.PadVertical)
                Options.PadTop = Options.PadBottom = Pad;
            else
                Options.PadLeft = Options.PadRight = Pad;
            return;
        }
        int Width = 0, Height = 0;
        if (SplitSize(Target, LowerX, Width, Height)) {
            m_params.FittedSize = SizeText(Width, Height);
            Options.FrameSize = Trimmed(Target);
        } else {
            // No usable size at all: the source's own size.
            m_params.FittedSize.clear();
            Options.FrameSize.clear();
        }
        m_params.PadVertical = false;
    };
    Fit(m_params.Size);
    Options.PadColor = 0;

    if (m_params.VBitrate > 0)
        Options.VideoBitrate = m_params.VBitrate;
    // A frame rate of 0 (an analysed file without video) keeps the source's rate.
    if (m_params.Fps > 0)
        Options.FrameRate = std::to_string(m_params.Fps);

    if (const std::string Encoder = EncoderOfProfileCodec(Choice.AudioCodec); !Encoder.empty())
        Options.AudioCodec = Encoder;

    Options.CustomHook = false;
    Options.CopyTimestamp = false;
    if (ClipApplies(Choice))
        Options.RecordingTime = Choice.ClipLengthMs;

    if (const TOutputKind* Kind = OutputKind(Suffix)) {
        if (Kind->FlashSampleRate && Options.AudioSampleRate != 11025 && Options.AudioSampleRate != 22050 &&
            Options.AudioSampleRate != 44100)
            Options.AudioSampleRate = 22050;
        if (Kind->ForceFormat)
            Options.ForceFormat = Kind->ForceFormat;
        if (Kind->VideoCodec)
            Options.VideoCodec = Kind->VideoCodec;
        if (Kind->AudioCodec)
            Options.AudioCodec = Kind->AudioCodec;
        if (Kind->SampleRate)
            Options.AudioSampleRate = Kind->SampleRate;
        if (Kind->FrameRate)
            Options.FrameRate = Kind->FrameRate;
        if (Kind->FitInto)
            Fit(Kind->FitInto);
        if (Kind->Channels)
            Options.AudioChannels = Kind->Channels;
        if (Kind->AudioBitrate)
            Options.AudioBitrate = Kind->AudioBitrate;
        if (Kind->NoVideo)
            Options.DisableVideo = true;
        if (Kind->Suffix)
            Suffix = Kind->Suffix;
        if (Kind->Disc) {
            const char* Norm =
                Options.TargetNorm == 1 ? "_pal.mpg" : Options.TargetNorm == 2 ? "_ntsc.mpg" : "_auto.mpg";
            Suffix = "_" + Suffix.substr(1) + Norm;
        }
    }

    Options.Info.Timestamp = 0;  // now

    Options.AudioCodec = AudioEncoderFor(Suffix, Options.AudioCodec);
    Options.FileExt = Suffix;
    Options.FileName = OutputFileName(Choice.OutputFolder, Base, Suffix);
    Options.DisableSubtitle = true;
    return Options;
}

kv::TInputOptions TOutputResolver::BuildInputOptions(const TOutputChoice& Choice) const {
    kv::TInputOptions Options;
    kv::ResetInputOptions(Options);
    Options.FileName = Choice.ProbeFileName;
    Options.ForceFormat = Choice.ProbeFormat;
    if (ClipApplies(Choice))
        Options.StartTime = Choice.ClipStartMs;
    return Options;
}

}  // namespace kv::presets
