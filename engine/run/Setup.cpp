// The set-up of a run: the stream tables, which input feeds which output, copy or re-encode, two-pass
// logs, opening the codecs, metadata maps and the headers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "engine/FFmpegException.h"
#include "engine/PrivateOptions.h"
#include "engine/run/RunContext.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/OptionValues.h"
#include "media/TextAndPath.h"
#include "media/TextFormat.h"

namespace kv::run {

namespace {

AVMediaType TypeOf(const AVStream* Stream) { return Stream->codecpar->codec_type; }

[[noreturn]] void FailWithDump(const TRunContext& Run, int FileIndex, const std::string& Message)
{
    AVFormatContext* output = Run.Files.OutputFiles[FileIndex].get();
    lav::av_dump_format(output, FileIndex, output->url, 1);
    throw FFmpegException(Message);
}

void BuildInputTables(TRunContext& Run)
{
    const TPreparedFiles& files = Run.Files;
    Run.InputFiles.resize(static_cast<size_t>(files.NbInputFiles));
    int first = 0;
    for (int f = 0; f < files.NbInputFiles; ++f) {
        AVFormatContext* input = files.InputFiles[f].get();
        TInputFileState& state = Run.InputFiles[static_cast<size_t>(f)];
        state.FirstStream = first;
        state.StreamCount = static_cast<int>(input->nb_streams);
        state.TsOffset = Run.Options.InputFilesTsOffset[f];
        first += state.StreamCount;
    }
    Run.InputStreams.resize(static_cast<size_t>(first));
    int slot = 0;  // forced decoders are kept per slot: every stream but data streams takes one
    const int64_t now = lav::av_gettime_relative();
    for (int f = 0; f < files.NbInputFiles; ++f) {
        AVFormatContext* input = files.InputFiles[f].get();
        for (unsigned s = 0; s < input->nb_streams; ++s) {
            TInputStream& ist =
                Run.InputStreams[static_cast<size_t>(Run.InputFiles[static_cast<size_t>(f)].FirstStream) + s];
            ist.FileIndex = f;
            ist.Index = static_cast<int>(s);
            ist.Stream = input->streams[s];
            ist.Decoder = files.InputDecoders[f][s].get();
            if (TypeOf(ist.Stream) != AVMEDIA_TYPE_DATA && slot < MAX_SLOTS)
                ist.ForcedDecoder = files.InputCodecs[slot++];
            if (Run.Options.RateEmu)
                ist.Start = now;
        }
    }
}

// The first input stream of the type still unused, in the programs with the wanted id or in table order;
// else (without a program id) the last one of the type, shared.
int ChooseSource(TRunContext& Run, AVMediaType Type)
{
    if (Run.Options.OptProgramId != 0) {
        for (size_t f = 0; f < Run.InputFiles.size(); ++f) {
            const AVFormatContext* input = Run.Files.InputFiles[f].get();
            for (unsigned p = 0; p < input->nb_programs; ++p) {
                const AVProgram* program = input->programs[p];
                if (program->id != Run.Options.OptProgramId)
                    continue;
                for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
                    const int index = Run.InputFiles[f].FirstStream + static_cast<int>(program->stream_index[k]);
                    const TInputStream& ist = Run.InputStreams[static_cast<size_t>(index)];
                    if (ist.Discard && TypeOf(ist.Stream) == Type)
                        return index;
                }
            }
        }
        return -1;
    }
    for (size_t i = 0; i < Run.InputStreams.size(); ++i)
        if (Run.InputStreams[i].Discard && TypeOf(Run.InputStreams[i].Stream) == Type)
            return static_cast<int>(i);
    for (size_t i = Run.InputStreams.size(); i-- > 0;)
        if (TypeOf(Run.InputStreams[i].Stream) == Type)
            return static_cast<int>(i);
    return -1;
}

void BuildOutputTables(TRunContext& Run)
{
    const TPreparedFiles& files = Run.Files;
    const TTaskOptions& o = Run.Options;
    int count = 0;
    for (int k = 0; k < files.NbOutputFiles; ++k) {
        const AVFormatContext* output = files.OutputFiles[k].get();
        if (output->nb_streams == 0)
            FailWithDump(Run, k, Format("Output file #%d does not contain any stream", k));
        count += static_cast<int>(output->nb_streams);
    }
    if (o.NbStreamMaps > 0 && o.NbStreamMaps != count)
        throw FFmpegException("Number of stream maps must match number of output streams");
    auto validStream = [&](int File, int Stream) {
        return File >= 0 && File < files.NbInputFiles && Stream >= 0 &&
               Stream < Run.InputFiles[static_cast<size_t>(File)].StreamCount;
    };
    for (int i = 0; i < o.NbStreamMaps; ++i) {
        const TStreamMap& map = o.StreamMaps[i];
        if (!validStream(map.FileIndex, map.StreamIndex))
            throw FFmpegException(Format("Could not find input stream #%d.%d", map.FileIndex, map.StreamIndex));
        if (!validStream(map.SyncFileIndex, map.SyncStreamIndex))
            throw FFmpegException(Format("Could not find sync stream #%d.%d", map.SyncFileIndex, map.SyncStreamIndex));
    }

    Run.OutputStreams.resize(static_cast<size_t>(count));
    int n = 0;
    for (int k = 0; k < files.NbOutputFiles; ++k) {
        AVFormatContext* output = files.OutputFiles[k].get();
        for (unsigned j = 0; j < output->nb_streams; ++j, ++n) {
            TOutputStream& ost = Run.OutputStreams[static_cast<size_t>(n)];
            const TOutputStreamSetup& setup = files.OutputStreams[k][j];
            ost.FileIndex = k;
            ost.Index = static_cast<int>(j);
            ost.File = output;
            ost.Stream = output->streams[j];
            ost.Encoder = setup.Encoder.get();
            ost.EncodingNeeded = !setup.StreamCopy;
            ost.FixedQuality = setup.Quality;
            ost.ForcedEncoder = n < MAX_SLOTS ? files.OutputCodecs[n] : nullptr;
            ost.BitstreamFilters = const_cast<TBsfChain*>(&files.BitstreamFilters[k][static_cast<size_t>(j)]);
            const AVMediaType type = ost.Encoder->codec_type;
            int source = -1;
            if (o.NbStreamMaps > 0) {
                const TStreamMap& map = o.StreamMaps[n];
                source = Run.InputFiles[static_cast<size_t>(map.FileIndex)].FirstStream + map.StreamIndex;
                if (TypeOf(Run.InputStreams[static_cast<size_t>(source)].Stream) != type)
                    FailWithDump(Run, k,
                                 Format("Codec type mismatch for mapping #%d.%d -> #%d.%d", map.FileIndex,
                                        map.StreamIndex, k, static_cast<int>(j)));
            } else {
                source = ChooseSource(Run, type);
                if (source < 0)
                    FailWithDump(
                        Run, k,
                        Format("Could not find input stream matching output stream #%d.%d", k, static_cast<int>(j)));
            }
            ost.SourceIndex = source;
            Run.InputStreams[static_cast<size_t>(source)].Discard = false;
            if (o.NbStreamMaps > 0) {
                const TStreamMap& map = o.StreamMaps[n];
                ost.SyncInput = &Run.InputStreams[static_cast<size_t>(
                    Run.InputFiles[static_cast<size_t>(map.SyncFileIndex)].FirstStream + map.SyncStreamIndex)];
            } else {
                ost.SyncInput = &Run.InputStreams[static_cast<size_t>(source)];
            }
        }
    }
}

// Stream copy: the output takes the input's codec parameters as they are.
void PrepareCopy(TRunContext& Run, TOutputStream& ost, TInputStream& ist)
{
    AVCodecParameters* par = ost.Stream->codecpar;
    const AVCodecParameters* in = ist.Stream->codecpar;
    const uint32_t wantedTag = ost.Encoder->codec_tag;
    if (lav::avcodec_parameters_copy(par, in) < 0)
        throw FFmpegException("av_mallocz fail");
    const AVOutputFormat* format = ost.File->oformat;
    if (wantedTag) {
        par->codec_tag = wantedTag;
    } else {
        // The input's tag is kept only where the output's tag table agrees with it.
        const bool keep = !format->codec_tag ||
                          lav::av_codec_get_id(format->codec_tag, in->codec_tag) == in->codec_id ||
                          lav::av_codec_get_tag(format->codec_tag, in->codec_id) <= 0;
        par->codec_tag = keep ? in->codec_tag : 0;
    }
    const AVCodecContext* dec = ist.Decoder;
    AVRational timeBase = ist.Stream->time_base;
    const int ticks = std::max(dec->ticks_per_frame, 1);
    if (dec->time_base.num > 0 && Q2D(ist.Stream->time_base) < Q2D(dec->time_base) * ticks &&
        Q2D(ist.Stream->time_base) < 0.001)
        timeBase = AVRational{dec->time_base.num * ticks, dec->time_base.den};
    ost.Stream->time_base = timeBase;
    ost.Encoder->time_base = timeBase;
    switch (par->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        if (Run.Options.AudioVolume != 256)
            throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
        if ((par->block_align == 1 && par->codec_id == AV_CODEC_ID_MP3) || par->codec_id == AV_CODEC_ID_AC3)
            par->block_align = 0;
        break;
    case AVMEDIA_TYPE_VIDEO:
        if (const char* conflict = Run.Callbacks.VideoCopyConflict ? Run.Callbacks.VideoCopyConflict() : nullptr)
            throw FFmpegException(conflict);
        ost.Stream->avg_frame_rate = ist.Stream->avg_frame_rate;
        ost.Stream->r_frame_rate = ist.Stream->r_frame_rate;
        ost.Stream->sample_aspect_ratio = ist.Stream->sample_aspect_ratio;
        break;
    case AVMEDIA_TYPE_SUBTITLE: break;
    default: throw FFmpegException("invalid codec_type of output stream");
    }
}

// The encoder the output stream opens: the one forced by name, else the library's for its codec.
const AVCodec* EncoderOf(const TOutputStream& ost)
{
    return ost.ForcedEncoder ? ost.ForcedEncoder : lav::avcodec_find_encoder(ost.Encoder->codec_id);
}

// Encoders that keep their own two-pass statistics file, and their private option that names it: they
// pass over the context's statistics text.
struct TOwnStatistics {
    const char* Encoder;
    const char* Option;
};
constexpr TOwnStatistics OwnStatistics[] = {
    {"libx264", "stats"},
};

const char* OwnStatisticsOption(const AVCodec* Codec)
{
    for (const TOwnStatistics& own : OwnStatistics)
        if (Codec && std::strcmp(Codec->name, own.Encoder) == 0)
            return own.Option;
    return nullptr;
}

// The two-pass statistics: pass 1 writes them, pass 2 hands them to the encoder. An encoder that keeps
// its own file is told the log file's name instead, and the file is left to it.
void PreparePassLog(TRunContext& Run, TOutputStream& ost, int Number)
{
    AVCodecContext* enc = ost.Encoder;
    if (!(enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
        return;
    std::string name =
        (Run.Options.PassLogFilename.empty() ? std::string("ffmpeg2pass") : Run.Options.PassLogFilename) + "-" +
        std::to_string(Number) + ".log";
    if (name.size() >= 1024)
        name.resize(1023);
    if (const char* option = OwnStatisticsOption(EncoderOf(ost))) {
        if (!(enc->flags & AV_CODEC_FLAG_PASS1) && !FilePtr(std::fopen(name.c_str(), "r")))
            throw FFmpegException(Format("Cannot read log file %s for pass-2 encoding", name.c_str()));
        ost.StatisticsOption = option;
        ost.StatisticsFile = name;
        return;
    }
    if (enc->flags & AV_CODEC_FLAG_PASS1) {
        ost.PassLog.reset(std::fopen(name.c_str(), "w"));
        if (!ost.PassLog)
            throw FFmpegException(Format("Cannot write log file %s for pass-1 encoding", name.c_str()));
        return;
    }
    FilePtr file(std::fopen(name.c_str(), "r"));
    if (!file)
        throw FFmpegException(Format("Cannot read log file %s for pass-2 encoding", name.c_str()));
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    char* text = size >= 0 ? static_cast<char*>(lav::av_malloc(static_cast<size_t>(size) + 1)) : nullptr;
    if (!text)
        throw FFmpegException("Could not allocate log buffer");
    const size_t read = std::fread(text, 1, static_cast<size_t>(size), file.get());
    text[read] = '\0';
    lav::av_freep(&enc->stats_in);
    enc->stats_in = text;
}

template <class T>
bool Lists(const T* List, T Terminator, T Wanted)
{
    for (; List && *List != Terminator; ++List)
        if (*List == Wanted)
            return true;
    return false;
}

// Audio settings the chosen encoder cannot take are moved to the nearest it can.
void FitAudioEncoder(AVCodecContext* enc, const AVCodec* codec, const TInputStream& ist)
{
    if (enc->sample_fmt == AV_SAMPLE_FMT_NONE)
        enc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : ist.Decoder->sample_fmt;
    if (codec->sample_fmts && !Lists(codec->sample_fmts, AV_SAMPLE_FMT_NONE, enc->sample_fmt))
        enc->sample_fmt = codec->sample_fmts[0];
    if (codec->supported_samplerates && !Lists(codec->supported_samplerates, 0, enc->sample_rate)) {
        int best = codec->supported_samplerates[0];
        for (const int* rate = codec->supported_samplerates; *rate; ++rate)
            if (std::abs(*rate - enc->sample_rate) < std::abs(best - enc->sample_rate))
                best = *rate;
        enc->sample_rate = best;
    }
    enc->time_base = AVRational{1, enc->sample_rate};
    if (codec->ch_layouts && codec->ch_layouts[0].nb_channels) {
        bool listed = false;
        for (const AVChannelLayout* layout = codec->ch_layouts; layout->nb_channels && !listed; ++layout)
            listed = lav::av_channel_layout_compare(layout, &enc->ch_layout) == 0;
        if (!listed) {
            const AVChannelLayout* choice = &codec->ch_layouts[0];
            for (const AVChannelLayout* layout = codec->ch_layouts; layout->nb_channels; ++layout)
                if (layout->nb_channels == enc->ch_layout.nb_channels) {
                    choice = layout;
                    break;
                }
            lav::av_channel_layout_uninit(&enc->ch_layout);
            lav::av_channel_layout_copy(&enc->ch_layout, choice);
        }
    }
}

void PrepareEncode(TRunContext& Run, TOutputStream& ost, TInputStream& ist, int Number)
{
    AVCodecContext* enc = ost.Encoder;
    const AVCodecContext* dec = ist.Decoder;
    switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        ost.AudioResample = enc->sample_rate != dec->sample_rate || Run.Options.AudioSyncMethod > 1;
        break;
    case AVMEDIA_TYPE_VIDEO:
        if (Run.Options.VFiltersInUse) {
            // The filters decide the encoder's picture size, which the rest of the preparation follows.
            std::string error;
            if (ConfigureFilters(Run, ost, ist, error) < 0)
                throw FFmpegException(error.empty() ? std::string("Error opening filters!")
                                                    : "Error opening filters: " + error);
        }
        PrepareVideoOutput(Run, ost, ist);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        enc->time_base = AVRational{1, 1000};
        if (dec->subtitle_header && dec->subtitle_header_size > 0) {
            enc->subtitle_header =
                static_cast<uint8_t*>(lav::av_mallocz(static_cast<size_t>(dec->subtitle_header_size) + 1));
            if (!enc->subtitle_header)
                throw FFmpegException("av_mallocz fail");
            std::memcpy(enc->subtitle_header, dec->subtitle_header, static_cast<size_t>(dec->subtitle_header_size));
            enc->subtitle_header_size = dec->subtitle_header_size;
        }
        if (enc->width == 0 && enc->height == 0) {
            enc->width = dec->width;
            enc->height = dec->height;
        }
        break;
    default: throw FFmpegException("invalid codec_type of output stream");
    }
    ist.DecodingNeeded = true;
    PreparePassLog(Run, ost, Number);
}

// What an encoder that keeps its own statistics is told: the file they go to.
DictionaryPtr StatisticsOptions(const TOutputStream& ost)
{
    AVDictionary* options = nullptr;
    if (!ost.StatisticsOption.empty() &&
        lav::av_dict_set(&options, ost.StatisticsOption.c_str(), ost.StatisticsFile.c_str(), 0) < 0)
        throw FFmpegException("av_mallocz fail");
    return DictionaryPtr(options);
}

// Opens an encoder or decoder with the run's codec threads, under the codec lock, offering it the private
// options of its side and file, and Own, the options the engine itself gives it. True when it opened; a value
// its own options refuse fails before it opens.
bool OpenCodec(TRunContext& Run, AVCodecContext* Context, const AVCodec* Codec, TOptionSide Side, int FileIndex,
               const std::string& What, std::string& Taken, DictionaryPtr Own = nullptr)
{
    if (Run.CodecThreads != 1)
        Context->thread_count = Run.CodecThreads;
    if (Codec->priv_class)
        if (const auto refusal =
                FirstRefusal(Run.PrivateOptions, Side, FileIndex, Codec->priv_class, What, Codec->priv_class))
            throw FFmpegException(*refusal);
    DictionaryPtr offered = OfferedOptions(Run.PrivateOptions, Side, FileIndex, Codec->priv_class);
    const bool offering = offered != nullptr;
    AVDictionary* rest = offered.release();
    if (Own) {
        AVDictionary* own = Own.release();
        const int copied = lav::av_dict_copy(&rest, own, 0);
        lav::av_dict_free(&own);
        if (copied < 0) {
            lav::av_dict_free(&rest);
            throw FFmpegException("av_mallocz fail");
        }
    }
    int result = 0;
    {
        TCodecLockGuard guard;
        result = lav::avcodec_open2(Context, Codec, rest ? &rest : nullptr);
    }
    offered.reset(rest);
    if (offering) {
        MarkTaken(Run.PrivateOptions, Side, FileIndex, offered.get(), Codec->priv_class);
        Taken = TakenText(Run.PrivateOptions, Side, FileIndex, offered.get(), Codec->priv_class);
    }
    return result >= 0;
}

// The failure message of an open, with the private options the context took.
std::string WithTaken(const std::string& Message, const std::string& Taken)
{
    return Taken.empty() ? Message : Message + " (with its own options " + Taken + ")";
}

// Every private option no context took is said once, with its value.
void ReportUntakenOptions(const TRunContext& Run)
{
    for (const TPrivateOption& option : Run.PrivateOptions)
        if (!option.Taken)
            Run.Log(1, Format("Option %s=%s was not used by any stream", option.Name.c_str(), option.Value.c_str()));
}

void OpenEncoders(TRunContext& Run)
{
    for (TOutputStream& ost : Run.OutputStreams) {
        if (!ost.EncodingNeeded)
            continue;
        AVCodecContext* enc = ost.Encoder;
        const AVCodec* codec = EncoderOf(ost);
        if (!codec)
            throw FFmpegException(Format("Unsupported codec for output stream #%d.%d", ost.FileIndex, ost.Index));
        if (enc->codec_type == AVMEDIA_TYPE_AUDIO)
            FitAudioEncoder(enc, codec, Run.SourceOf(ost));
        std::string taken;
        ost.EncoderOpen =
            OpenCodec(Run, enc, codec, TOptionSide::Output, ost.FileIndex,
                      Format("the encoder %s of output stream #%d.%d", codec->name, ost.FileIndex, ost.Index), taken,
                      StatisticsOptions(ost));
        if (!ost.EncoderOpen)
            throw FFmpegException(WithTaken(Format("Error while opening codec for output stream #%d.%d - maybe "
                                                   "incorrect parameters such as bit_rate, rate, width or height",
                                                   ost.FileIndex, ost.Index),
                                            taken));
        if (lav::avcodec_parameters_from_context(ost.Stream->codecpar, enc) < 0)
            throw FFmpegException("av_mallocz fail");
        ost.Stream->time_base = enc->time_base;
        if (enc->codec_type == AVMEDIA_TYPE_VIDEO)
            ost.Stream->avg_frame_rate = enc->framerate;
        Run.Stats.ExtraSize += enc->extradata_size;
    }
}

void OpenDecoders(TRunContext& Run)
{
    for (TInputStream& ist : Run.InputStreams) {
        if (!ist.DecodingNeeded)
            continue;
        AVCodecContext* dec = ist.Decoder;
        const AVCodec* codec = ist.ForcedDecoder ? ist.ForcedDecoder : lav::avcodec_find_decoder(dec->codec_id);
        if (!codec)
            throw FFmpegException(Format("Unsupported codec (id=%d) for input stream #%d.%d",
                                         static_cast<int>(dec->codec_id), ist.FileIndex, ist.Index));
        std::string taken;
        ist.DecoderOpen =
            OpenCodec(Run, dec, codec, TOptionSide::Input, ist.FileIndex,
                      Format("the decoder %s of input stream #%d.%d", codec->name, ist.FileIndex, ist.Index), taken);
        if (!ist.DecoderOpen)
            throw FFmpegException(WithTaken(
                Format("Error while opening codec for input stream #%d.%d", ist.FileIndex, ist.Index), taken));
        ist.Frame.reset(lav::av_frame_alloc());
        if (!ist.Frame)
            throw FFmpegException("av_mallocz fail");
    }
}

void MapMetadata(TRunContext& Run)
{
    const TTaskOptions& o = Run.Options;
    for (int i = 0; i < o.NbMetaDataMaps; ++i) {
        const TMetaDataMap& map = o.MetaDataMaps[i];
        if (map.OutFile < 0 || map.OutFile >= Run.Files.NbOutputFiles)
            throw FFmpegException(
                Format("Invalid output file index %d map_meta_data(%d,%d)", map.OutFile, map.OutFile, map.InFile));
        if (map.InFile < 0 || map.InFile >= Run.Files.NbInputFiles)
            throw FFmpegException(
                Format("Invalid input file index %d map_meta_data(%d,%d)", map.InFile, map.OutFile, map.InFile));
        lav::av_dict_copy(&Run.Files.OutputFiles[map.OutFile]->metadata, Run.Files.InputFiles[map.InFile]->metadata, 0);
    }
}

void WriteHeaders(TRunContext& Run)
{
    bool allRtp = Run.Files.NbOutputFiles > 0;
    for (int k = 0; k < Run.Files.NbOutputFiles; ++k) {
        AVFormatContext* output = Run.Files.OutputFiles[k].get();
        if (Run.Callbacks.OpenOutput)
            Run.Callbacks.OpenOutput(k);
        AVDictionary* options = nullptr;
        for (const auto& [name, value] : Run.MuxerOptions)
            lav::av_dict_set(&options, name.c_str(), value.c_str(), 0);
        const DictionaryPtr offered = OfferedOptions(Run.PrivateOptions, TOptionSide::Output, k);
        if (offered) {
            if (const AVClass* muxer = output->oformat->priv_class)
                if (const auto refusal =
                        FirstRefusal(Run.PrivateOptions, TOptionSide::Output, k, muxer,
                                     Format("the muxer %s of output file #%d", output->oformat->name, k)))
                    throw FFmpegException(*refusal);
            lav::av_dict_copy(&options, offered.get(), 0);
        }
        DictionaryPtr owner(options);
        AVDictionary* rest = owner.release();
        const int result = lav::avformat_write_header(output, &rest);
        owner.reset(rest);
        std::string taken;
        if (offered) {
            MarkTaken(Run.PrivateOptions, TOptionSide::Output, k, owner.get());
            taken = TakenText(Run.PrivateOptions, TOptionSide::Output, k, owner.get());
        }
        // The container (or the file under it) refuses the output.
        if (result < 0)
            throw OutputWriteException(WithTaken(
                Format("Could not write header for output file #%d (incorrect codec parameters ?)", k), taken));
        allRtp &= std::strcmp(output->oformat->name, "rtp") == 0;
    }
    if (allRtp && Run.HasLog()) {
        std::vector<AVFormatContext*> outputs;
        for (int k = 0; k < Run.Files.NbOutputFiles; ++k)
            outputs.push_back(Run.Files.OutputFiles[k].get());
        char sdp[2048] = {};
        lav::av_sdp_create(outputs.data(), static_cast<int>(outputs.size()), sdp, sizeof sdp);
        Run.Log(1, "SDP: " + TrimText(sdp));
    }
}

}  // namespace

void SetupRun(TRunContext& Run)
{
    BuildInputTables(Run);
    BuildOutputTables(Run);
    for (size_t n = 0; n < Run.OutputStreams.size(); ++n) {
        TOutputStream& ost = Run.OutputStreams[n];
        TInputStream& ist = Run.SourceOf(ost);
        const AVDictionaryEntry* language = lav::av_dict_get(ist.Stream->metadata, "language", nullptr, 0);
        if (language && !lav::av_dict_get(ost.Stream->metadata, "language", nullptr, 0))
            lav::av_dict_set(&ost.Stream->metadata, "language", language->value, 0);
        ost.Stream->disposition = ist.Stream->disposition;
        if (ost.EncodingNeeded)
            PrepareEncode(Run, ost, ist, static_cast<int>(n));
        else
            PrepareCopy(Run, ost, ist);
    }
    // The description shows what each stream will be: the encoders' settings, before they open (their
    // parameters are copied again once they have).
    for (const TOutputStream& ost : Run.OutputStreams)
        if (ost.EncodingNeeded && ost.Encoder)
            lav::avcodec_parameters_from_context(ost.Stream->codecpar, ost.Encoder);
    for (int k = 0; k < Run.Files.NbOutputFiles; ++k) {
        AVFormatContext* output = Run.Files.OutputFiles[k].get();
        lav::av_dump_format(output, k, output->url, 1);
    }
    if (Run.Verbose >= 0 && Run.HasLog()) {
        Run.Log(1, "Stream mapping:");
        for (const TOutputStream& ost : Run.OutputStreams) {
            const TInputStream& ist = Run.InputStreams[static_cast<size_t>(ost.SourceIndex)];
            Run.Log(1, Format("  Stream #%d.%d -> #%d.%d", ist.FileIndex, ist.Index, ost.FileIndex, ost.Index));
            if (ost.SyncInput != &ist)
                Run.Log(1, Format(" [sync #%d.%d]", ost.SyncInput->FileIndex, ost.SyncInput->Index));
        }
    }
    OpenEncoders(Run);
    OpenDecoders(Run);
    for (TInputStream& ist : Run.InputStreams) {
        ist.NextPts = AV_NOPTS_VALUE;
        ist.AtStart = true;
    }
    for (TOutputStream& ost : Run.OutputStreams)
        InitBitstreamFilters(Run, ost);
    MapMetadata(Run);
    WriteHeaders(Run);
    ReportUntakenOptions(Run);
    Run.StartTime = lav::av_gettime_relative();
}

void CloseCodecs(TRunContext& Run)
{
    // The contexts belong to the task's prepared files; a context the run opened is closed (and freed
    // with it) here, under the codec lock.
    for (TOutputStream& ost : Run.OutputStreams) {
        if (ost.Encoder)
            lav::av_freep(&ost.Encoder->stats_in);
        if (ost.EncoderOpen) {
            TCodecLockGuard guard;
            Run.Files.OutputStreams[ost.FileIndex][static_cast<size_t>(ost.Index)].Encoder.reset();
            ost.Encoder = nullptr;
            ost.EncoderOpen = false;
        }
    }
    for (TInputStream& ist : Run.InputStreams) {
        if (ist.DecoderOpen) {
            TCodecLockGuard guard;
            Run.Files.InputDecoders[ist.FileIndex][static_cast<size_t>(ist.Index)].reset();
            ist.Decoder = nullptr;
            ist.DecoderOpen = false;
        }
    }
}

}  // namespace kv::run
