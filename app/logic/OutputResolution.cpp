#include "app/logic/OutputResolution.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/logic/IniFile.h"
#include "app/logic/OutputTables.h"

namespace kv::app {

namespace {

QString AsciiUpper(const QString& Text) {
    QString Result = Text;
    for (QChar& C : Result)
        if (C >= u'a' && C <= u'z')
            C = QChar(C.unicode() - (u'a' - u'A'));
    return Result;
}

// Halving with truncation, then doubling: the even number at or below (towards zero).
int MakeEven(int Value) { return Value / 2 * 2; }

// "W<Separator>H" with surrounding blanks allowed: both positive, or false.
bool SplitSize(const QString& Text, Qt::CaseSensitivity Case, int& Width, int& Height) {
    const qsizetype At = Text.indexOf('x', 0, Case);
    if (At < 0)
        return false;
    bool WidthOk = false, HeightOk = false;
    Width = Text.left(At).trimmed().toInt(&WidthOk);
    Height = Text.mid(At + 1).trimmed().toInt(&HeightOk);
    return WidthOk && HeightOk && Width > 0 && Height > 0;
}

void Apply(TOutputParams& Params, const TOutputEntry& Entry) {
    Params.Ext = QString::fromUtf8(Entry.Ext);
    Params.Size = QString::fromUtf8(Entry.Size);
    Params.VCodec = QString::fromUtf8(Entry.VCodec);
    Params.VBitrate = Entry.VBitrate;
    Params.Fps = Entry.Fps;
}

std::string Std(const QString& Text) { return Text.toStdString(); }

// Containers that refuse some audio encoders, and what they get instead. The audio label of the profile
// or analysis shown last chooses the encoder whatever the container, so a choice on the analysis or custom
// tab can name one its container cannot hold.
struct TAudioRule {
    const char* Ending;
    bool Only;                       // Names are all the container holds (else: the ones it refuses)
    std::vector<std::string> Names;
    const char* Instead;
};

const std::vector<TAudioRule>& AudioRules() {
    static const std::vector<TAudioRule> Rules = {
        {".3gp", true, {"libfaac", "aac", "libopencore_amrnb", "amr_nb"}, "libfaac"},
        {".rm", true, {"ac3", "libfaac", "aac"}, "ac3"},
        {".mpeg", true, {"libmp3lame", "mp3", "mp2", "mp1", "ac3", "dts"}, "libmp3lame"},
        {".mpg", true, {"libmp3lame", "mp3", "mp2", "mp1", "ac3", "dts"}, "libmp3lame"},
        {".flv", true, {"libmp3lame", "mp3", "libfaac", "aac", "nellymoser", "speex", "adpcm_swf"}, "libmp3lame"},
        {".swf", true, {"libmp3lame", "mp3"}, "libmp3lame"},
        {".mp4", false, {"flac"}, "libfaac"},
        {".mov", false, {"flac"}, "libfaac"},
        {".avi", false, {"flac"}, "libmp3lame"},
    };
    return Rules;
}

// The audio encoder Codec, or the one its container holds instead.
std::string AudioFor(const QString& Suffix, const std::string& Codec) {
    if (Codec.empty())
        return Codec;  // the container's own default
    for (const TAudioRule& Rule : AudioRules()) {
        if (!Suffix.endsWith(QLatin1String(Rule.Ending)))
            continue;
        const bool Named = std::find(Rule.Names.begin(), Rule.Names.end(), Codec) != Rule.Names.end();
        return Named == Rule.Only ? Codec : Rule.Instead;
    }
    return Codec;
}

}  // namespace

TOutputResolver::TOutputResolver(TErrorMessage ShowError) : m_showError(std::move(ShowError)) {}

void TOutputResolver::ResolveOutputPreset(const TOutputChoice& Choice) {
    auto Error = [this](const QString& Text) {
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
        const QString Type = Ini.ReadString("mediatype", "Type", QString()).trimmed();
        m_params.Ext = Type.isEmpty() ? QStringLiteral(".avi") : "." + Type;
        m_params.Size = Ini.ReadString("video", "Width", "320") + "x" + Ini.ReadString("video", "Height", "240");
        m_params.VCodec = QStringLiteral("mpeg4");
        m_params.VBitrate = Ini.ReadInteger("video", "VideoBitrate", 512000);
        m_params.Fps = Ini.ReadInteger("video", "FPS", 24);
        break;
    }
    case OutputTabCustom: {
        if (!Choice.CustomPanelShown) {
            Error(QStringLiteral("请设定对应视频参数！"));
            return;
        }
        const QString Width = Choice.CustomWidth.trimmed(), Height = Choice.CustomHeight.trimmed();
        const QString Bitrate = Choice.CustomBitrate.trimmed(), Fps = Choice.CustomFps.trimmed();
        if (Width.isEmpty() || Height.isEmpty()) {
            Error(QStringLiteral("请设定输入视频尺寸！"));
            return;
        }
        if (Bitrate.isEmpty()) {
            Error(QStringLiteral("请输入视频比特率！"));
            return;
        }
        if (Fps.isEmpty()) {
            Error(QStringLiteral("请输入帧速率！"));
            return;
        }
        m_params.ACodec = QStringLiteral("libmp3lame");
        const auto& Types = CustomTypes();
        if (Choice.Index1 < 0 || Choice.Index1 >= static_cast<int>(Types.size()))
            return;
        const TCustomType& Type = Types[static_cast<size_t>(Choice.Index1)];
        m_params.Ext = QString::fromUtf8(Type.Ext);
        if (Type.VCodec)
            m_params.VCodec = QString::fromUtf8(Type.VCodec);
        m_params.Size = Width + "x" + Height;
        m_params.VBitrate = Bitrate.toInt();
        m_params.Fps = Fps.toInt();
        break;
    }
    default:
        break;
    }
}

std::optional<int> TOutputResolver::ComputeLetterbox(const QString& BaseName, const QString& TargetSize,
                                                     const QList<TFileRowInfo>& Rows) {
    const QString Wanted = AsciiUpper(BaseName.trimmed());
    const TFileRowInfo* Row = nullptr;
    for (const TFileRowInfo& Candidate : Rows)
        if (AsciiUpper(Candidate.Caption.trimmed()) == Wanted)
            Row = &Candidate;  // the last matching row counts
    int SourceWidth = 0, SourceHeight = 0, Width = 0, Height = 0;
    if (!Row || !SplitSize(Row->Resolution, Qt::CaseInsensitive, SourceWidth, SourceHeight) ||
        !SplitSize(TargetSize, Qt::CaseSensitive, Width, Height))
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
        m_params.FittedSize = QStringLiteral("%1X%2").arg(Width).arg(Fitted);
        return Half;
    }
    // Pillarbox: bands at the left and right (also when the heights meet exactly).
    m_params.PadVertical = false;
    const int ScaledWidth = MakeEven(static_cast<int>(std::lround(Height * Ratio)));
    const int Total = std::abs(ScaledWidth - Width);
    const int Even = MakeEven(Total);
    const int Half = Even / 2;
    const int Fitted = Half % 2 != 0 ? Width - Even + 2 : Width - Total;
    m_params.FittedSize = QStringLiteral("%1X%2").arg(Fitted).arg(Height);
    return Half;
}

bool TOutputResolver::ClipApplies(const TOutputChoice& Choice) {
    return Choice.ClipEnabled && Choice.ClipChecked && Choice.SelEnd > 0 && Choice.SelEnd > Choice.SelStart;
}

QString TOutputResolver::OutputBaseName(const QString& FilePath) {
    return AsciiUpper(QFileInfo(FilePath.trimmed()).completeBaseName());
}

QString TOutputResolver::OutputFileName(const QString& Folder, const QString& Base, const QString& Suffix) {
    const QDir Dir(Folder);
    // A link counts as an existing file even when what it points to is gone.
    auto Taken = [](const QString& Path) {
        const QFileInfo Info(Path);
        return Info.exists() || Info.isSymLink();
    };
    QString Name = Dir.filePath(Base + "_(new)" + Suffix);
    for (int N = 1; Taken(Name); ++N)
        Name = Dir.filePath(Base + "_(new_" + QString::number(N) + ")" + Suffix);
    return Name;
}

kv::TOutputOptions TOutputResolver::BuildOutputOptions(const TOutputChoice& Choice) {
    kv::TOutputOptions Options;
    kv::ResetOutputOptions(Options);
    ResolveOutputPreset(Choice);

    QString Suffix = m_params.Ext;
    Options.VideoCodec = Std(m_params.VCodec);
    Options.AudioCodec = Std(m_params.ACodec);

    // The picture keeps the source's shape inside the target size; the bands are black. A picture that
    // cannot be fitted (its row is gone, its size is unknown, no target yet) gets the plain target size.
    const QString Base = OutputBaseName(Choice.ProbeFileName);
    auto Fit = [&](const QString& Target) {
        Options.PadTop = Options.PadBottom = Options.PadLeft = Options.PadRight = -1;
        if (const std::optional<int> Half = ComputeLetterbox(Base, Target, Choice.Rows)) {
            Options.FrameSize = Std(m_params.FittedSize);
            const int Pad = MakeEven(*Half);
            if (m_params.PadVertical)
                Options.PadTop = Options.PadBottom = Pad;
            else
                Options.PadLeft = Options.PadRight = Pad;
            return;
        }
        int Width = 0, Height = 0;
        if (SplitSize(Target, Qt::CaseSensitive, Width, Height)) {
            m_params.FittedSize = QStringLiteral("%1X%2").arg(Width).arg(Height);
            Options.FrameSize = Std(Target.trimmed());
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

    if (Choice.AudioLabel == QStringLiteral("音频编码：AAC"))
        Options.AudioCodec = "libfaac";
    else if (Choice.AudioLabel == QStringLiteral("音频编码：AC3"))
        Options.AudioCodec = "ac3";
    else if (Choice.AudioLabel == QStringLiteral("音频编码：FLAC"))
        Options.AudioCodec = "flac";
    else if (Choice.AudioLabel == QStringLiteral("音频编码：MP3"))
        Options.AudioCodec = "libmp3lame";

    Options.CustomHook = false;
    Options.CopyTimestamp = false;
    if (ClipApplies(Choice))
        Options.RecordingTime = Choice.ClipLengthMs;

    if (Suffix == ".flv" || Suffix == ".swf") {
        if (Options.AudioSampleRate != 11025 && Options.AudioSampleRate != 22050 && Options.AudioSampleRate != 44100)
            Options.AudioSampleRate = 22050;
    } else if (Suffix == ".ogg") {
        Options.VideoCodec = "libtheora";
        Options.AudioCodec = "flac";
    } else if (Suffix == ".psp") {
        Options.ForceFormat = "psp";
        Options.VideoCodec = "mpeg4";
        Options.AudioCodec = "libfaac";
        Options.AudioSampleRate = 24000;
        Options.FrameRate = "15000/1001";
        Suffix = "_psp.mp4";
    } else if (Suffix == ".ipod") {
        Options.VideoCodec = "mpeg4";
        Options.AudioCodec = "libfaac";
        // The player takes 320x240 whole: the picture is fitted into that, not into the chosen size.
        Fit(QStringLiteral("320x240"));
        Suffix = "_ipod.mp4";
    } else if (Suffix == ".rm10") {
        Options.VideoCodec = "rv10";
        Suffix = "_rv10.rm";
    } else if (Suffix == ".rm20") {
        Options.VideoCodec = "rv20";
        Suffix = "_rv20.rm";
    } else if (Suffix == ".mp4") {
    } else if (Suffix == ".wmv") {
        Options.VideoCodec = "wmv2";
        Options.AudioCodec = "wmav2";
    } else if (Suffix == ".mkv") {
        Options.VideoCodec = "libx264";
    } else if (Suffix == ".wma") {
        Options.DisableVideo = true;
        Options.AudioCodec = "wmav2";
    } else if (Suffix == ".3gp") {
        Options.AudioChannels = 1;
        Options.AudioSampleRate = 8000;
        Options.AudioBitrate = 7400;
    }

    Options.Info.Timestamp = 0;  // now

    if (Suffix == ".vcd" || Suffix == ".svcd" || Suffix == ".dvd") {
        const char* Norm = Options.TargetNorm == 1 ? "_pal.mpg" : Options.TargetNorm == 2 ? "_ntsc.mpg" : "_auto.mpg";
        Suffix = "_" + Suffix.mid(1) + Norm;
    }
    Options.AudioCodec = AudioFor(Suffix, Options.AudioCodec);
    Options.FileExt = Std(Suffix);
    Options.FileName = Std(OutputFileName(Choice.OutputFolder, Base, Suffix));
    Options.DisableSubtitle = true;
    return Options;
}

kv::TInputOptions TOutputResolver::BuildInputOptions(const TOutputChoice& Choice) const {
    kv::TInputOptions Options;
    kv::ResetInputOptions(Options);
    Options.FileName = Std(Choice.ProbeFileName);
    Options.ForceFormat = Std(Choice.ProbeFormat);
    if (ClipApplies(Choice))
        Options.StartTime = Choice.ClipStartMs;
    return Options;
}

}  // namespace kv::app
