#include "ShippedProfiles.h"

namespace kvtest {

std::string ShippedProfiles() { return KELVANE_PROFILES_DIR; }

namespace {

// The encoders of the quality-based presets, their labels and what ffprobe calls their streams.
struct TQualityEncoder {
    const char* Encoder;
    const char* Label;
    const char* Family;
};
const TQualityEncoder QualityEncoders[] = {
    {"libx264", "H264", "h264"}, {"libx265", "H265", "hevc"}, {"libvpx-vp9", "VP9", "vp9"},
    {"libsvtav1", "AV1", "av1"}, {"libfaac", "AAC", "aac"},   {"libopus", "OPUS", "opus"},
};

const TQualityEncoder* QualityEncoder(const char* Encoder)
{
    for (const TQualityEncoder& entry : QualityEncoders)
        if (Encoder && std::string(Encoder) == entry.Encoder)
            return &entry;
    return nullptr;
}

}  // namespace

QString ProfileType(const kv::presets::TOutputEntry& Entry)
{
    const QString ext = QString::fromUtf8(Entry.Ext).mid(1);
    if (ext == "mkv265")
        return QStringLiteral("mkv");
    return ext.startsWith("rm") ? QStringLiteral("rm") : ext;
}

QString VideoLabel(const kv::presets::TOutputEntry& Entry)
{
    if (const TQualityEncoder* quality = QualityEncoder(Entry.VCodec))
        return quality->Label;
    const std::string ext = Entry.Ext, codec = Entry.VCodec;
    if (ext == ".mkv" || codec == "avc")
        return "H264";
    return QString::fromStdString(codec).toUpper();
}

QString AudioLabel(const kv::presets::TOutputEntry& Entry)
{
    if (const TQualityEncoder* quality = QualityEncoder(Entry.ACodec))
        return quality->Label;
    const std::string ext = Entry.Ext;
    if (ext == ".avi" || ext == ".flv")
        return "MP3";
    if (ext == ".mpeg")
        return std::string(Entry.Size).rfind("720x", 0) == 0 ? "AC3" : "MP3";
    if (ext == ".wmv")
        return "WMA";
    if (ext == ".rm10" || ext == ".rm20")
        return "AC3";
    return "AAC";
}

std::string VideoFamily(const kv::presets::TOutputEntry& Entry)
{
    if (const TQualityEncoder* quality = QualityEncoder(Entry.VCodec))
        return quality->Family;
    const std::string ext = Entry.Ext, codec = Entry.VCodec;
    if (ext == ".mkv" || codec == "avc")
        return "h264";
    if (ext == ".wmv")
        return "wmv2";
    if (ext == ".rm10")
        return "rv10";
    if (ext == ".rm20")
        return "rv20";
    if (codec == "flv")
        return "flv1";
    return codec;
}

std::string AudioFamily(const QString& AudioLabel, const QString& Ext)
{
    if (Ext == ".wmv")
        return "wmav2";
    if (AudioLabel == "AAC")
        return "aac";
    if (AudioLabel == "AC3")
        return "ac3";
    if (AudioLabel == "FLAC")
        return "flac";
    if (AudioLabel == "OPUS")
        return "opus";
    return "mp3";
}

}  // namespace kvtest
