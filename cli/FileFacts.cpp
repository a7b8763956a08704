// The facts of a file and of the program, for the text and the JSON forms alike.
#include "cli/FileFacts.h"

#include <cstdio>

#include "media/LibraryBindings.h"
#include "media/TextFormat.h"

namespace kv::cli {

namespace {

TFact Number(const std::string& Key, int64_t Value) { return {Key, Value, std::to_string(Value)}; }

TFact Text(const std::string& Key, const std::string& Value)
{
    // Library texts may hold anything: the JSON form keeps only valid UTF-8 (the rest is escaped as the
    // text form shows it).
    const std::string printable = PrintableValue(Value, std::string::npos);
    return {Key, printable, printable};
}

TFact Decimal(const std::string& Key, double Value, const char* Layout)
{
    char text[64];
    std::snprintf(text, sizeof text, Layout, Value);
    return {Key, Value, text};
}

// "57.28.100" from a version number as the libraries pack it.
std::string VersionText(unsigned Version)
{
    return std::to_string(Version >> 16) + "." + std::to_string((Version >> 8) & 0xFF) + "." +
           std::to_string(Version & 0xFF);
}

}  // namespace

TFacts ProbeFacts(TCustomAVProbe& Probe)
{
    TFacts facts = {
        Number("StreamCount", Probe.StreamCount),
        Number("ProgramCount", Probe.ProgramCount),
        Number("AudioStreamCount", Probe.AudioStreamCount),
        Number("VideoStreamCount", Probe.VideoStreamCount),
        Number("SubtitleStreamCount", Probe.SubtitleStreamCount),
        Number("FirstAudioStream", Probe.FirstAudioStream),
        Number("FirstVideoStream", Probe.FirstVideoStream),
        Number("FirstSubtitleStream", Probe.FirstSubtitleStream),
        Text("FormatName", Probe.GetFormatName()),
    };
    TFileStreamInfo info;
    Probe.GetFileStreamInfo(info);
    for (TFact fact :
         {Number("StartTime", info.StartTime), Number("Duration", info.Duration), Number("BitRate", info.BitRate),
          Number("Timestamp", info.Timestamp), Number("Year", info.Year), Number("Track", info.Track),
          Text("Title", info.Title), Text("Author", info.Author), Text("Copyright", info.Copyright),
          Text("Comment", info.Comment), Text("Album", info.Album), Text("Genre", info.Genre)})
        facts.push_back(std::move(fact));
    return facts;
}

TFacts MediaFactsOf(const TMediaFacts& Facts)
{
    TFacts facts = {
        Number("Width", Facts.Width),
        Number("Height", Facts.Height),
        Decimal("FrameRate", Facts.FrameRate, "%.3f"),
        Decimal("VideoBitRate", Facts.VideoBitRate, "%.0f"),
        Number("PlayTime", Facts.PlayTime),
        Text("FileExtension", Facts.FileExtension),
        Text("VideoCodec", Facts.VideoCodec),
    };
    for (size_t i = 0; i < Facts.AudioCodecs.size(); ++i)
        facts.push_back(Text("AudioCodec." + std::to_string(i), Facts.AudioCodecs[i]));
    return facts;
}

TFacts VersionFacts(const std::string& EngineVersion)
{
    TFacts facts = {
        Text("kelvane-cli", KELVANE_VERSION),
        Text("engine", EngineVersion),
        Text("FFmpeg", lav::av_version_info()),
    };
    const std::pair<const char*, unsigned (*)()> libraries[] = {
        {"libavutil", lav::avutil_version},     {"libavcodec", lav::avcodec_version},
        {"libavformat", lav::avformat_version}, {"libavfilter", lav::avfilter_version},
        {"libswscale", lav::swscale_version},   {"libswresample", lav::swresample_version},
    };
    for (const auto& [name, version] : libraries)
        facts.push_back(Text(name, VersionText(version())));
    return facts;
}

std::string FactLines(const TFacts& Facts)
{
    std::string lines;
    for (const TFact& fact : Facts)
        lines += fact.Key + "=" + fact.Text + "\n";
    return lines;
}

nlohmann::ordered_json FactObject(const TFacts& Facts)
{
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const TFact& fact : Facts)
        object[fact.Key] = fact.Value;
    return object;
}

}  // namespace kv::cli
