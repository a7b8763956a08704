// What a run says about itself: the progress line, the end-of-run summary and the video statistics file.
#include <cmath>
#include <string>

#include "engine/FFmpegException.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"
#include "media/TextFormat.h"

namespace kv::run {

namespace {

// The progress line holds at most this many characters; a piece that does not fit is cut.
constexpr size_t ReportLineLimit = 1023;

void Append(std::string& Line, const std::string& Piece)
{
    if (Line.size() < ReportLineLimit)
        Line.append(Piece, 0, ReportLineLimit - Line.size());
}

double Psnr(double NormalisedError) { return -10.0 * std::log10(NormalisedError); }

AVMediaType TypeOf(const TOutputStream& Output)
{
    if (Output.Encoder)
        return Output.Encoder->codec_type;
    return Output.Stream && Output.Stream->codecpar ? Output.Stream->codecpar->codec_type : AVMEDIA_TYPE_UNKNOWN;
}

// The quantiser scale of the last coded frame; -1 for a copied stream.
float CodedQuality(const TOutputStream& Output)
{
    return Output.EncodingNeeded ? static_cast<float>(Output.CodedQuality) / FF_QP2LAMBDA : -1.0f;
}

bool ComputesPsnr(const TOutputStream& Output)
{
    return Output.EncodingNeeded && Output.Encoder && (Output.Encoder->flags & AV_CODEC_FLAG_PSNR);
}

// The quantiser histogram: the counter of this report's quantiser, then one hex digit per counter.
void AppendHistogram(TRunContext& Run, std::string& Line, float Quality)
{
    const long qp = std::lrint(Quality);
    if (qp >= 0 && qp < static_cast<long>(Run.QuantiserHistogram.size()))
        ++Run.QuantiserHistogram[static_cast<size_t>(qp)];
    for (size_t j = 0; j < 32; ++j)
        Append(Line, Format("%X", static_cast<int>(std::lrint(std::log2(Run.QuantiserHistogram[j] + 1.0)))));
}

// PSNR of the planes Y, U, V and overall: of the last coded frame during the run, of the whole stream
// in the final report.
void AppendPsnr(std::string& Line, const TOutputStream& Output, bool Final)
{
    const AVCodecContext* enc = Output.Encoder;
    const double picture = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
    double errorSum = 0, scaleSum = 0;
    Append(Line, "PSNR=");
    const char planes[3] = {'Y', 'U', 'V'};
    for (int j = 0; j < 3; ++j) {
        const double error = Final ? static_cast<double>(enc->error[j]) : static_cast<double>(Output.CodedError[j]);
        double scale = Final ? picture * Output.FrameNumber : picture;
        if (j)
            scale /= 4;
        errorSum += error;
        scaleSum += scale;
        Append(Line, Format("%c:%2.2f ", planes[j], Psnr(error / scale)));
    }
    Append(Line, Format("*:%2.2f ", Psnr(errorSum / scaleSum)));
}

}  // namespace

std::string ReportLine(TRunContext& Run, const TProgressFigures& Figures, double OutputTime, bool Final,
                       bool WithFigures)
{
    std::string line;
    bool firstVideo = true;
    for (const TOutputStream& ost : Run.OutputStreams) {
        if (TypeOf(ost) != AVMEDIA_TYPE_VIDEO)
            continue;
        if (!firstVideo) {
            Append(line, Format("q=%2.1f ", CodedQuality(ost)));
            continue;
        }
        firstVideo = false;
        Append(line, Format("frame=%5d fps=%3d q=%3.1f ", Figures.FrameNumber, Figures.FPS, Figures.Quality));
        if (Final)
            Append(line, "L");
        if (Run.Options.QpHist)
            AppendHistogram(Run, line, CodedQuality(ost));
        if (ComputesPsnr(ost))
            AppendPsnr(line, ost, Final);
    }
    if (WithFigures) {
        Append(line, Format("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s",
                            static_cast<double>(Figures.CurrentSize) / 1024.0, OutputTime, Figures.BitRate));
        if (Run.Verbose > 1)
            Append(line, Format(" dup=%d drop=%d", Run.Stats.NbFramesDup, Run.Stats.NbFramesDrop));
    }
    return line;
}

std::string SummaryLine(const TRunContext& Run, int64_t CurrentSize)
{
    const TRunStatistics& s = Run.Stats;
    const int64_t raw = s.VideoSize + s.AudioSize + s.ExtraSize;
    // Without media bytes the overhead has no base to be measured against.
    const std::string overhead =
        raw > 0 ? Format("%f%%", 100.0 * static_cast<double>(CurrentSize - raw) / static_cast<double>(raw))
                : std::string("unknown");
    return Format("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %s\r\n",
                  static_cast<double>(s.VideoSize) / 1024.0, static_cast<double>(s.AudioSize) / 1024.0,
                  static_cast<double>(s.ExtraSize) / 1024.0, overhead.c_str());
}

void WriteVideoStats(TRunContext& Run, TOutputStream& Output, int FrameSize)
{
    const std::string& name = Run.Options.VStatsFilename;
    if (!Run.VStatsFile) {
        Run.VStatsFile.reset(rt::my_fopen(name.c_str(), "w"));
        if (!Run.VStatsFile)
            throw FFmpegException("fopen fail: " + name);
    }
    if (TypeOf(Output) != AVMEDIA_TYPE_VIDEO)
        return;
    const AVCodecContext* enc = Output.Encoder;
    std::string line =
        Format("frame= %5d q= %2.1f ", Output.FrameNumber, static_cast<float>(Output.CodedQuality) / FF_QP2LAMBDA);
    if (ComputesPsnr(Output))
        line += Format("PSNR= %6.2f ", Psnr(static_cast<double>(Output.CodedError[0]) /
                                            (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
    line += Format("f_size= %6d ", FrameSize);
    const double timeBase = av_q2d(enc->time_base);
    double time = static_cast<double>(Output.SyncPosition) * timeBase;
    if (time < 0.01)
        time = 0.01;
    const double videoBytes = static_cast<double>(Run.Stats.VideoSize);
    const double bitRate = FrameSize * 8.0 / timeBase / 1000.0;
    const double averageBitRate = videoBytes * 8.0 / time / 1000.0;
    line += Format("s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ", videoBytes / 1024.0, time,
                   bitRate, averageBitRate);
    line += Format("type= %c\n", lav::av_get_picture_type_char(static_cast<AVPictureType>(Output.CodedPictureType)));
    rt::my_fprintf(Run.VStatsFile.get(), "%s", line.c_str());
}

}  // namespace kv::run
