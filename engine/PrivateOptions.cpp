// The private options: kept by the generic path, offered to the contexts of their side, checked before a
// run and reported when nothing took them.
#include "engine/PrivateOptions.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/OptionTable.h"
#include "media/LibraryBindings.h"
#include "media/TextFormat.h"

namespace kv {

namespace {

// An object of Class built from its option table alone, with the options' defaults, so that a value can
// be tried on it without the context it belongs to.
class TOptionProbe {
public:
    explicit TOptionProbe(const AVClass* Class)
    {
        size_t size = sizeof(const AVClass*);
        for (const AVOption* option = Class->option; option && option->name; ++option)
            if (option->type != AV_OPT_TYPE_CONST)
                size = std::max(size, static_cast<size_t>(option->offset) + 64);  // room for the widest value
        m_storage.assign(size / sizeof(uint64_t) + 1, 0);
        std::memcpy(m_storage.data(), &Class, sizeof Class);
        lav::av_opt_set_defaults(Object());
    }
    ~TOptionProbe() { lav::av_opt_free(Object()); }
    TOptionProbe(const TOptionProbe&) = delete;
    TOptionProbe& operator=(const TOptionProbe&) = delete;
    void* Object() { return m_storage.data(); }

private:
    std::vector<uint64_t> m_storage;
};

std::string ErrorString(int Code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (lav::av_strerror(Code, text, sizeof text) < 0)
        return Format("error %d", Code);
    return text;
}

bool FakeObjectHas(const AVClass* Class, const std::string& Name, int Flags = 0)
{
    return Class && lav::av_opt_find(&Class, Name.c_str(), nullptr, Flags, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

// The own option class of every codec, muxer, demuxer, bitstream filter and input protocol, in that order.
template <class TVisit>
bool AnyOwnClass(TVisit&& Visit)
{
    void* state = nullptr;
    while (const AVCodec* codec = lav::av_codec_iterate(&state))
        if (codec->priv_class && Visit(codec->priv_class))
            return true;
    state = nullptr;
    while (const AVOutputFormat* muxer = lav::av_muxer_iterate(&state))
        if (muxer->priv_class && Visit(muxer->priv_class))
            return true;
    state = nullptr;
    while (const AVInputFormat* demuxer = lav::av_demuxer_iterate(&state))
        if (demuxer->priv_class && Visit(demuxer->priv_class))
            return true;
    state = nullptr;
    while (const AVBitStreamFilter* filter = lav::av_bsf_iterate(&state))
        if (filter->priv_class && Visit(filter->priv_class))
            return true;
    // The protocols too: an input's demuxer hands what it does not know to the protocol it opens.
    state = nullptr;
    while (const char* protocol = lav::avio_enum_protocols(&state, 0))
        if (const AVClass* options = lav::avio_protocol_get_class(protocol); options && Visit(options))
            return true;
    return false;
}

}  // namespace

void KeepPrivateOption(TOptionStore& Store, const std::string& Name, const std::string& Value, bool OwnOnly)
{
    TPrivateOption option;
    option.Name = Name;
    option.Value = Value;
    option.OwnOnly = OwnOnly;
    Store.PrivateOptions.push_back(std::move(option));
}

void AssignPendingOptions(TOptionStore& Store, TOptionSide Side, int FileIndex)
{
    for (TPrivateOption& option : Store.PrivateOptions)
        if (option.Side == TOptionSide::Pending) {
            option.Side = Side;
            option.FirstFile = FileIndex;
        }
}

bool OfferedTo(const TPrivateOption& Option, TOptionSide Side, int FileIndex, const AVClass* Codec)
{
    // A codec applies its own options before the generic ones, so only a codec takes a name a generic
    // option has; any other context would hand it to that generic option, which refused the value.
    return Option.Side == Side && Option.FirstFile <= FileIndex &&
           (!Option.OwnOnly || (Codec && ClassHasOption(Codec, Option.Name)));
}

DictionaryPtr OfferedOptions(const std::vector<TPrivateOption>& Options, TOptionSide Side, int FileIndex,
                             const AVClass* Codec)
{
    AVDictionary* dictionary = nullptr;
    for (const TPrivateOption& option : Options)
        if (OfferedTo(option, Side, FileIndex, Codec))
            lav::av_dict_set(&dictionary, option.Name.c_str(), option.Value.c_str(), 0);
    return DictionaryPtr(dictionary);
}

void MarkTaken(std::vector<TPrivateOption>& Options, TOptionSide Side, int FileIndex, const AVDictionary* Rest,
               const AVClass* Codec)
{
    for (TPrivateOption& option : Options)
        if (OfferedTo(option, Side, FileIndex, Codec) && !lav::av_dict_get(Rest, option.Name.c_str(), nullptr, 0))
            option.Taken = true;
}

std::string TakenText(const std::vector<TPrivateOption>& Options, TOptionSide Side, int FileIndex,
                      const AVDictionary* Rest, const AVClass* Codec)
{
    std::string text;
    for (const TPrivateOption& option : Options)
        if (OfferedTo(option, Side, FileIndex, Codec) && !lav::av_dict_get(Rest, option.Name.c_str(), nullptr, 0))
            text += (text.empty() ? "" : ", ") + option.Name + "=" + option.Value;
    return text;
}

bool ClassHasOption(const AVClass* Class, const std::string& Name) { return FakeObjectHas(Class, Name); }

std::optional<std::string> RefusedValue(const AVClass* Class, const std::string& Name, const std::string& Value)
{
    if (!ClassHasOption(Class, Name))
        return std::nullopt;
    TOptionProbe probe(Class);
    const int result = lav::av_opt_set(probe.Object(), Name.c_str(), Value.c_str(), 0);
    if (result >= 0)
        return std::nullopt;
    return ErrorString(result);
}

std::optional<std::string> FirstRefusal(const std::vector<TPrivateOption>& Options, TOptionSide Side, int FileIndex,
                                        const AVClass* Class, const std::string& What, const AVClass* Codec)
{
    for (const TPrivateOption& option : Options) {
        if (!OfferedTo(option, Side, FileIndex, Codec))
            continue;
        if (const auto reason = RefusedValue(Class, option.Name, option.Value)) {
            lav::av_log(nullptr, AV_LOG_PANIC, "Invalid value \"%s\" for option \"%s\"\n", option.Value.c_str(),
                        option.Name.c_str());
            return Format("Invalid value \"%s\" for option \"%s\" of %s: %s", option.Value.c_str(), option.Name.c_str(),
                          What.c_str(), reason->c_str());
        }
    }
    return std::nullopt;
}

std::optional<std::string> DemuxerRefusal(const std::vector<TPrivateOption>& Options, int FileIndex,
                                          const AVInputFormat* Forced)
{
    if (Forced)
        return Forced->priv_class ? FirstRefusal(Options, TOptionSide::Input, FileIndex, Forced->priv_class,
                                                 Format("the demuxer %s", Forced->name))
                                  : std::nullopt;
    std::optional<std::string> refusal;
    void* state = nullptr;
    while (const AVInputFormat* demuxer = lav::av_demuxer_iterate(&state))
        if (demuxer->priv_class && (refusal = FirstRefusal(Options, TOptionSide::Input, FileIndex, demuxer->priv_class,
                                                           Format("the demuxer %s", demuxer->name))))
            return refusal;
    return std::nullopt;
}

std::optional<std::string> InputLineRefusal(const std::string& Name, const std::string& Value,
                                            const AVInputFormat* Forced)
{
    if (GenericOptionKnown(Name))
        return std::nullopt;
    const auto message = [&](const AVInputFormat* Demuxer, const std::string& Reason) {
        return Format("Invalid value \"%s\" for option \"%s\" of the demuxer %s: %s", Value.c_str(), Name.c_str(),
                      Demuxer->name, Reason.c_str());
    };
    if (Forced) {
        const auto reason = RefusedValue(Forced->priv_class, Name, Value);
        return reason ? std::optional<std::string>(message(Forced, *reason)) : std::nullopt;
    }
    std::optional<std::string> refusal;
    void* state = nullptr;
    while (const AVInputFormat* demuxer = lav::av_demuxer_iterate(&state)) {
        if (!ClassHasOption(demuxer->priv_class, Name))
            continue;
        const auto reason = RefusedValue(demuxer->priv_class, Name, Value);
        if (!reason)
            return std::nullopt;  // some demuxer takes it
        if (!refusal)
            refusal = message(demuxer, *reason);
    }
    return refusal;
}

bool GenericOptionKnown(const std::string& Name)
{
    if (FindOption(Name))
        return true;
    const AVClass* codec = lav::avcodec_get_class();
    if (FakeObjectHas(codec, Name) || FakeObjectHas(lav::avformat_get_class(), Name) ||
        FakeObjectHas(lav::sws_get_class(), Name))
        return true;
    // "ab", "vb", "sb": the generic path's prefixes over the codec options.
    return Name.size() > 1 && std::strchr("avs", Name[0]) && FakeObjectHas(codec, Name.substr(1));
}

bool LibrariesKnowOption(const std::string& Name)
{
    if (Name.empty())
        return false;
    return GenericOptionKnown(Name) || AnyOwnClass([&](const AVClass* Class) { return FakeObjectHas(Class, Name); });
}

std::vector<TPrivateOptionCheck> CheckPrivateOptions(const TOptionStore& Store, const TPreparedFiles& Files)
{
    // The contexts the run opens, with the file each belongs to: the encoders of streams that are not
    // copied and the muxers for the outputs; the decoders for the inputs (their demuxers took what they
    // took when they opened).
    struct TTaker {
        TOptionSide Side;
        int File;
        const AVClass* Class;
        std::string What;
        bool Codec;
    };
    std::vector<TTaker> takers;
    int slot = 0;
    for (int f = 0; f < Files.NbInputFiles; ++f) {
        const AVFormatContext* input = Files.InputFiles[f].get();
        for (unsigned s = 0; s < input->nb_streams; ++s) {
            const AVCodecContext* decoder = Files.InputDecoders[f][s].get();
            const AVCodec* forced = nullptr;
            if (decoder->codec_type != AVMEDIA_TYPE_DATA && slot < MAX_SLOTS)
                forced = Files.InputCodecs[slot++];
            const AVCodec* codec = forced ? forced : lav::avcodec_find_decoder(decoder->codec_id);
            if (codec && codec->priv_class)
                takers.push_back({TOptionSide::Input, f, codec->priv_class,
                                  Format("the decoder %s of input stream #%d.%d", codec->name, f, static_cast<int>(s)),
                                  true});
        }
    }
    int n = 0;
    for (int k = 0; k < Files.NbOutputFiles; ++k) {
        const AVFormatContext* output = Files.OutputFiles[k].get();
        for (size_t j = 0; j < Files.OutputStreams[k].size(); ++j, ++n) {
            const TOutputStreamSetup& stream = Files.OutputStreams[k][j];
            if (stream.StreamCopy || !stream.Encoder)
                continue;
            const AVCodec* forced = n < MAX_SLOTS ? Files.OutputCodecs[n] : nullptr;
            const AVCodec* codec = forced ? forced : lav::avcodec_find_encoder(stream.Encoder->codec_id);
            if (codec && codec->priv_class)
                takers.push_back({TOptionSide::Output, k, codec->priv_class,
                                  Format("the encoder %s of output stream #%d.%d", codec->name, k, static_cast<int>(j)),
                                  true});
        }
        if (output->oformat && output->oformat->priv_class)
            takers.push_back({TOptionSide::Output, k, output->oformat->priv_class,
                              Format("the muxer %s of output file #%d", output->oformat->name, k), false});
    }

    std::vector<TPrivateOptionCheck> checks;
    for (const TPrivateOption& option : Store.PrivateOptions) {
        TPrivateOptionCheck check;
        check.Name = option.Name;
        check.Value = option.Value;
        check.Used = option.Taken;
        for (const TTaker& taker : takers) {
            if (!OfferedTo(option, taker.Side, taker.File, taker.Codec ? taker.Class : nullptr) ||
                !ClassHasOption(taker.Class, option.Name))
                continue;
            check.Used = true;
            if (check.Refusal.empty())
                if (const auto reason = RefusedValue(taker.Class, option.Name, option.Value))
                    check.Refusal = Format("Invalid value \"%s\" for option \"%s\" of %s: %s", option.Value.c_str(),
                                           option.Name.c_str(), taker.What.c_str(), reason->c_str());
        }
        checks.push_back(std::move(check));
    }
    return checks;
}

}  // namespace kv
