#include "media/AVProbe.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "media/Exception.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/LogLevels.h"
#include "media/TextFormat.h"
#include "media/UnicodeProtocol.h"

namespace kv {

namespace {

// The libraries the probe needs, with the message for each that is missing, in the order checked.
void CheckLibraries()
{
    static const struct {
        TLibrary Library;
        const char* Missing;
    } needed[] = {{libAVCodec, "LibAVCodec not loaded."},
                  {libAVFormat, "LibAVFormat not loaded."},
                  {libAVUtil, "LibAVUtil not loaded."},
                  {libSWScale, "LibSwScale not loaded."}};
    for (const auto& n : needed)
        if (!FFLoader().IsLibLoaded(n.Library))
            throw Exception(n.Missing);
}

// The leading decimal digits of a text ("2008-05-01" gives 2008, "3/12" gives 3); Default without any.
int LeadingNumber(const std::string& Text, int Default)
{
    if (Text.empty() || Text[0] < '0' || Text[0] > '9')
        return Default;
    return static_cast<int>(std::min(std::strtol(Text.c_str(), nullptr, 10), long{INT_MAX}));
}

}  // namespace

TCustomAVProbe::TCustomAVProbe() = default;

TCustomAVProbe::~TCustomAVProbe() = default;

void TCustomAVProbe::Fail(int Level, const std::string& Text)
{
    if (lav::av_log)
        lav::av_log(nullptr, LibraryLevelOf(Level), "%s", Text.c_str());
    m_lastError = Text;
    if (!m_lastError.empty() && m_lastError.back() == '\n')
        m_lastError.pop_back();
}

void TCustomAVProbe::CountStreams()
{
    StreamCount = ProgramCount = AudioStreamCount = VideoStreamCount = SubtitleStreamCount = -1;
    FirstAudioStream = FirstVideoStream = FirstSubtitleStream = -1;
    if (!m_context)
        return;
    StreamCount = static_cast<int>(m_context->nb_streams);
    ProgramCount = static_cast<int>(m_context->nb_programs);
    AudioStreamCount = VideoStreamCount = SubtitleStreamCount = 0;
    for (int i = 0; i < StreamCount; ++i) {
        const struct {
            AVMediaType Type;
            int& Count;
            int& First;
        } kinds[] = {{AVMEDIA_TYPE_VIDEO, VideoStreamCount, FirstVideoStream},
                     {AVMEDIA_TYPE_AUDIO, AudioStreamCount, FirstAudioStream},
                     {AVMEDIA_TYPE_SUBTITLE, SubtitleStreamCount, FirstSubtitleStream}};
        for (const auto& kind : kinds)
            if (m_context->streams[i]->codecpar->codec_type == kind.Type) {
                ++kind.Count;
                if (kind.First < 0)
                    kind.First = i;
            }
    }
}

bool TCustomAVProbe::OpenFile(const std::string& FileName, const std::string& Format)
{
    CheckLibraries();
    CloseFile();
    const AVInputFormat* format = nullptr;
    if (!Format.empty()) {
        format = lav::av_find_input_format(Format.c_str());
        if (!format) {
            m_lastError = "Unknown input format: " + Format;
            return false;
        }
    }
    AVFormatContext* context = lav::avformat_alloc_context();
    const std::string name = LibraryFileNameOf(FileName);
    const int opened = context ? lav::avformat_open_input(&context, name.c_str(), format, nullptr) : AVERROR(ENOMEM);
    if (opened < 0) {
        m_lastError = LibraryErrorText(FileName, opened);
        return false;
    }
    m_owned.reset(context);
    m_context = context;
    int found = 0;
    {
        // The application probes while conversions open codecs.
        TCodecLockGuard guard;
        found = lav::avformat_find_stream_info(m_context, nullptr);
    }
    if (found < 0) {
        m_lastError = FileName + ": could not find codec parameters";
        CloseFile();
        return false;
    }
    CountStreams();
    m_forcedFormat = Format;
    return true;
}

void TCustomAVProbe::AttachContext(AVFormatContext* Context)
{
    CheckLibraries();
    CloseFile();
    m_context = Context;
    CountStreams();
}

void TCustomAVProbe::CloseFile()
{
    m_forcedFormat.clear();
    m_context = nullptr;
    m_owned.reset();
    CountStreams();
}

void TCustomAVProbe::GetFileStreamInfo(TFileStreamInfo& Info)
{
    Info = TFileStreamInfo{};
    if (!m_context) {
        Fail(1, NotLoaded);
        return;
    }
    Info.StartTime = m_context->start_time == AV_NOPTS_VALUE ? -1 : m_context->start_time;
    Info.Duration = m_context->duration == AV_NOPTS_VALUE ? -1 : m_context->duration;
    Info.BitRate = static_cast<int>(std::min<int64_t>(m_context->bit_rate, INT_MAX));
    const AVDictionary* tags = m_context->metadata;
    auto tag = [tags](const char* Key) { return GetMetadataValue(tags, Key, ""); };
    Info.Timestamp = 0;
    if (const std::string created = tag("creation_time"); !created.empty()) {
        int64_t us = 0;
        if (lav::av_parse_time(&us, created.c_str(), 0) >= 0)
            Info.Timestamp = us / 1000000;
    }
    const std::string year = tag("year");
    Info.Year = LeadingNumber(year.empty() ? tag("date") : year, 0);
    Info.Track = LeadingNumber(tag("track"), 0);
    Info.Title = tag("title");
    Info.Author = tag("author").empty() ? tag("artist") : tag("author");
    Info.Copyright = tag("copyright");
    Info.Comment = tag("comment");
    Info.Album = tag("album");
    Info.Genre = tag("genre");
}

std::string TCustomAVProbe::GetFileName()
{
    if (!m_context) {
        Fail(1, NotLoaded);
        return "";
    }
    return FileNameFromLibrary(m_context->url);
}

std::string TCustomAVProbe::GetFormatName()
{
    if (!m_context) {
        Fail(1, NotLoaded);
        return "";
    }
    return m_context->iformat ? m_context->iformat->name : "";
}

void TCustomAVProbe::GetVideoSize(int& Width, int& Height) const
{
    Width = Height = 0;
    if (!m_context || FirstVideoStream < 0)
        return;
    const AVCodecParameters* parameters = m_context->streams[FirstVideoStream]->codecpar;
    if (parameters->width > 0 && parameters->height > 0) {
        Width = parameters->width;
        Height = parameters->height;
    }
}

AVRational TCustomAVProbe::GetVideoFrameRate() const
{
    if (!m_context || FirstVideoStream < 0)
        return {0, 1};
    const AVStream* stream = m_context->streams[FirstVideoStream];
    for (const AVRational rate : {stream->avg_frame_rate, stream->r_frame_rate})
        if (rate.num > 0 && rate.den > 0)
            return rate;
    return {0, 1};
}

}  // namespace kv
