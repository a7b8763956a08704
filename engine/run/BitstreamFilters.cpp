// The bitstream filters of an output stream: set up with the stream's parameters once its encoder is open,
// every packet through the chain in order (a filter may give back none, one or several for each), and what
// the filters still hold at the end of the run.
#include <string>

#include "engine/FFmpegException.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/TextFormat.h"

namespace kv::run {

namespace {

// A filter that fails is reported (raised with exit on error); the run goes on without its work.
void FilterFailed(TRunContext& Run, const TOutputStream& Output, const AVBSFContext& Filter, int Result)
{
    if (!Run.Options.ExitOnError && !Run.HasLog())
        return;
    const char* codec =
        Output.Encoder && Output.EncodingNeeded && Output.Encoder->codec ? Output.Encoder->codec->name : "copy";
    Run.Recoverable(
        0, LibraryErrorText(Format("%s failed for stream %d, codec %s", Filter.filter->name, Output.Index, codec),
                            Result));
}

PacketPtr NewPacket()
{
    PacketPtr packet(lav::av_packet_alloc());
    if (!packet)
        throw FFmpegException("av_mallocz fail");
    return packet;
}

// Packet (in the time base filter From takes; nullptr: the end of the stream) through the filters from
// From on, and what the last one gives back to the muxer. A packet a filter fails on goes on to the next
// one as it came, unless the filter already gave back something for it.
void RunFilters(TRunContext& Run, TOutputStream& Output, size_t From, AVPacket* Packet)
{
    if (From == Output.ActiveFilters.size()) {
        if (Packet) {
            lav::av_packet_rescale_ts(Packet, Output.ActiveFilters.back()->time_base_out, Output.Stream->time_base);
            MuxPacket(Run, Output, *Packet);
        }
        return;
    }
    AVBSFContext* filter = Output.ActiveFilters[From];
    PacketPtr kept;
    if (Packet) {
        kept = NewPacket();
        if (lav::av_packet_ref(kept.get(), Packet) < 0)
            throw FFmpegException("av_packet_ref failed");
    }
    int result = lav::av_bsf_send_packet(filter, Packet);
    bool delivered = false;
    PacketPtr filtered = NewPacket();
    while (result >= 0) {
        result = lav::av_bsf_receive_packet(filter, filtered.get());
        if (result < 0)
            break;
        delivered = true;
        RunFilters(Run, Output, From + 1, filtered.get());
        lav::av_packet_unref(filtered.get());
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
        FilterFailed(Run, Output, *filter, result);
        if (kept && !delivered) {
            lav::av_packet_rescale_ts(kept.get(), filter->time_base_in, filter->time_base_out);
            RunFilters(Run, Output, From + 1, kept.get());
        }
    }
    if (!Packet)
        RunFilters(Run, Output, From + 1, nullptr);
}

}  // namespace

void InitBitstreamFilters(TRunContext& Run, TOutputStream& Output)
{
    Output.ActiveFilters.clear();
    if (!Output.BitstreamFilters)
        return;
    // Each filter takes what the one before gives; the first the stream's parameters, which hold the
    // encoder's extradata once it is open (a copied stream: the input's).
    const AVCodecParameters* parameters = Output.Stream->codecpar;
    AVRational timeBase = Output.Stream->time_base;
    Output.FilterTimeBase = timeBase;
    for (BitstreamFilterPtr& owned : *Output.BitstreamFilters) {
        AVBSFContext* filter = owned.get();
        int result = lav::avcodec_parameters_copy(filter->par_in, parameters);
        if (result >= 0) {
            filter->time_base_in = timeBase;
            result = lav::av_bsf_init(filter);
        }
        if (result < 0) {
            FilterFailed(Run, Output, *filter, result);
            continue;
        }
        Output.ActiveFilters.push_back(filter);
        parameters = filter->par_out;
        timeBase = filter->time_base_out;
    }
    // The muxer describes the stream as the filters deliver it (an Annex B stream has no avcC extradata).
    if (!Output.ActiveFilters.empty() && lav::avcodec_parameters_copy(Output.Stream->codecpar, parameters) < 0)
        throw FFmpegException("av_mallocz fail");
}

void FilterPacket(TRunContext& Run, TOutputStream& Output, AVPacket& Packet)
{
    lav::av_packet_rescale_ts(&Packet, Output.Stream->time_base, Output.FilterTimeBase);
    RunFilters(Run, Output, 0, &Packet);
    lav::av_packet_unref(&Packet);
}

void FlushBitstreamFilters(TRunContext& Run, TOutputStream& Output)
{
    if (!Output.ActiveFilters.empty())
        RunFilters(Run, Output, 0, nullptr);
}

}  // namespace kv::run
