// The main loop of a run: which input to read next, reading, timestamp corrections, the limits, the end
// of the run and the progress report.
#include <cmath>
#include <cstring>

#include "engine/FFmpegException.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/TextFormat.h"

namespace kv::run {

namespace {

constexpr AVRational Microseconds{1, 1000000};

// Where an output stream stands, in seconds: encoded video counts its frames, everything else the end of
// what it wrote.
double OutputPosition(const TOutputStream& Output)
{
    if (Output.EncodingNeeded && Output.Encoder && Output.Encoder->codec_type == AVMEDIA_TYPE_VIDEO)
        return static_cast<double>(Output.SyncPosition) * Q2D(Output.Encoder->time_base);
    return static_cast<double>(Output.WrittenEnd) / 1000000.0;
}

// The input file to read from next, or -1 when every input ended or a frame limit was reached; the
// smallest output position in Position.
int ChooseInput(TRunContext& Run, double& Position)
{
    double smallestPts = 1e100;
    Position = 1e100;
    int chosen = -1;
    for (const TOutputStream& ost : Run.OutputStreams) {
        const TInputStream& ist = Run.InputStreams[static_cast<size_t>(ost.SourceIndex)];
        const double position = OutputPosition(ost);
        const double pts = static_cast<double>(ist.Pts);
        if (!Run.InputFiles[static_cast<size_t>(ist.FileIndex)].EofReached) {
            if (pts < smallestPts) {
                smallestPts = pts;
                if (Run.Options.InputSync)
                    chosen = ist.FileIndex;
            }
            if (position < Position) {
                Position = position;
                if (!Run.Options.InputSync)
                    chosen = ist.FileIndex;
            }
        }
        const AVMediaType type = ost.Stream->codecpar->codec_type;
        if (ost.FrameNumber >= Run.Options.MaxFrames[MaxFramesIndex(type)])
            return -1;
    }
    return chosen;
}

// File offsets, timestamp scales and discontinuities, as the packet comes from the demuxer.
void CorrectTimestamps(TRunContext& Run, TInputFileState& File, TInputStream& Input, AVPacket& Packet)
{
    const AVRational timeBase = Input.Stream->time_base;
    const int64_t offset = lav::av_rescale_q(File.TsOffset, Microseconds, timeBase);
    if (Packet.dts != AV_NOPTS_VALUE)
        Packet.dts += offset;
    if (Packet.pts != AV_NOPTS_VALUE)
        Packet.pts += offset;
    const double scale = Run.Options.InputFilesTsScale[Input.FileIndex][std::min(Input.Index, MAX_STREAMS - 1)];
    if (scale != 0.0) {
        if (Packet.pts != AV_NOPTS_VALUE)
            Packet.pts = std::llround(static_cast<double>(Packet.pts) * scale);
        if (Packet.dts != AV_NOPTS_VALUE)
            Packet.dts = std::llround(static_cast<double>(Packet.dts) * scale);
    }
    const AVFormatContext* input = Run.Files.InputFiles[Input.FileIndex].get();
    if (Packet.dts == AV_NOPTS_VALUE || Input.NextPts == AV_NOPTS_VALUE ||
        !(input->iformat->flags & AVFMT_TS_DISCONT) || Run.Options.CopyTs)
        return;
    const int64_t dts = lav::av_rescale_q(Packet.dts, timeBase, Microseconds);
    const int64_t delta = dts - Input.NextPts;
    if (std::fabs(static_cast<double>(delta)) > Run.Options.DtsDeltaThreshold * 1000000.0 || dts + 1 < Input.Pts) {
        File.TsOffset -= delta;
        if (Run.Verbose >= 3)
            Run.Log(1, Format("timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(delta),
                              static_cast<long long>(File.TsOffset)));
        const int64_t shift = lav::av_rescale_q(delta, Microseconds, timeBase);
        Packet.dts -= shift;
        if (Packet.pts != AV_NOPTS_VALUE)
            Packet.pts -= shift;
    }
}

void FinishRun(TRunContext& Run)
{
    for (TInputStream& ist : Run.InputStreams)
        if (ist.DecodingNeeded)
            ProcessPacket(Run, ist, nullptr);
    for (TOutputStream& ost : Run.OutputStreams)
        FlushBitstreamFilters(Run, ost);
    for (int k = 0; k < Run.Files.NbOutputFiles; ++k) {
        AVFormatContext* output = Run.Files.OutputFiles[k].get();
        const int result = lav::av_write_trailer(output);
        if (result < 0 && output->pb && output->pb->error < 0)
            throw OutputWriteException(LibraryErrorText("av_write_trailer()", result));
        if (result < 0)
            throw FFmpegException(LibraryErrorText("av_write_trailer()", result));
    }
    Report(Run, true);
}

}  // namespace

bool RunMainLoop(TRunContext& Run)
{
    PacketPtr packet(lav::av_packet_alloc());
    if (!packet)
        throw FFmpegException("av_mallocz fail");
    int64_t lastReport = Run.StartTime;
    bool stopped = false;
    for (;;) {
        if (!Run.Continue()) {
            stopped = true;
            break;
        }
        double position = 0;
        const int fileIndex = ChooseInput(Run, position);
        if (fileIndex < 0)
            break;
        if (position >= static_cast<double>(Run.Options.RecordingTime) / 1000000.0)
            break;
        AVFormatContext* output0 = Run.Files.OutputFiles[0].get();
        if (Run.Options.LimitFilesize != 0 && output0->pb &&
            static_cast<uint64_t>(lav::avio_seek(output0->pb, 0, SEEK_CUR)) >
                static_cast<uint64_t>(Run.Options.LimitFilesize))
            break;
        TInputFileState& file = Run.InputFiles[static_cast<size_t>(fileIndex)];
        AVFormatContext* input = Run.Files.InputFiles[fileIndex].get();
        const int read = lav::av_read_frame(input, packet.get());
        if (read == AVERROR(EAGAIN))
            continue;
        if (read < 0) {
            file.EofReached = true;
            if (Run.Options.OptShortest)
                break;
            continue;
        }
        if (Run.Options.DoPktDump)
            lav::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet.get(), Run.Options.DoHexDump,
                                  input->streams[packet->stream_index]);
        bool reported = true;
        if (packet->stream_index < file.StreamCount) {
            TInputStream& ist = Run.InputStreams[static_cast<size_t>(file.FirstStream + packet->stream_index)];
            if (!ist.Discard) {
                CorrectTimestamps(Run, file, ist, *packet);
                if (ProcessPacket(Run, ist, packet.get()) < 0) {
                    const std::string message = Format("Error while decoding stream #%d.%d", ist.FileIndex, ist.Index);
                    Run.RaiseOnExitOnError(message);
                    if (Run.Verbose >= 0)
                        Run.Log(1, message);
                    reported = false;
                }
            }
        }
        lav::av_packet_unref(packet.get());
        if (!reported)
            continue;
        const int64_t now = lav::av_gettime_relative();
        if (now - lastReport > Run.ReportInterval) {
            lastReport = now;
            Report(Run, false);
        }
    }
    FinishRun(Run);
    return !stopped;
}

void Report(TRunContext& Run, bool Final)
{
    AVFormatContext* output0 = Run.Files.OutputFiles[0].get();
    int64_t size = output0->pb ? lav::avio_size(output0->pb) : 0;
    if (size < 0 && output0->pb)
        size = lav::avio_seek(output0->pb, 0, SEEK_CUR);
    TProgressFigures figures;
    figures.CurrentSize = size;
    bool hasVideo = false;
    for (const TOutputStream& ost : Run.OutputStreams) {
        if (ost.Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || hasVideo)
            continue;
        hasVideo = true;
        const double elapsed = static_cast<double>(lav::av_gettime_relative() - Run.StartTime) / 1000000.0;
        figures.FrameNumber = ost.FrameNumber;
        if (figures.FrameNumber < 1)
            return;  // nothing to say before the first picture is written
        figures.FPS = elapsed > 1 ? static_cast<int>(figures.FrameNumber / elapsed + 0.5) : 0;
        figures.Quality = ost.EncodingNeeded ? static_cast<float>(ost.CodedQuality) / FF_QP2LAMBDA : -1.0f;
    }
    double outputTime = 1e10;
    for (const TOutputStream& ost : Run.OutputStreams) {
        const double position = static_cast<double>(ost.WrittenEnd) / 1000000.0;
        if (position > 0 && position < outputTime)
            outputTime = position;
    }
    if (outputTime >= 1e10 || outputTime < 0.01)
        outputTime = 0.01;  // nothing written yet
    const bool withFigures = Run.Callbacks.Progress || Run.Verbose > 0 || Final;
    if (withFigures) {
        figures.BitRate = static_cast<float>(static_cast<double>(size) * 8 / outputTime / 1000);
        figures.CurrentDuration = static_cast<int>(outputTime * 1000);
    }
    figures.TotalOutputDuration = Run.TotalDurationMS;
    const std::string line = ReportLine(Run, figures, outputTime, Final, withFigures);
    if (Run.Callbacks.Progress)
        Run.Callbacks.Progress(figures);
    else if (Run.Verbose >= 0)
        Run.Log(1, line);
    if (Final && Run.Verbose >= 0)
        Run.Log(1, SummaryLine(Run, size));
}

}  // namespace kv::run
