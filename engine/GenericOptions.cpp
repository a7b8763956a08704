// The generic option path: names outside the option table go to the option contexts of the task's
// store (codec per media type, container, scaler), and what they accepted is later copied into the real
// decoder, encoder and container contexts. A name none of them knows is kept as a private option.
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/LogLevels.h"
#include "media/OptionValues.h"
#include "engine/FFmpegException.h"
#include "engine/PrivateOptions.h"
#include "engine/SetupContext.h"

namespace kv::setup {

namespace {

// Option flags a codec option must carry to be set in the context of each media type, in the order of
// the store's contexts: video, audio, data, subtitle, attachment. 0 takes any option of that name.
constexpr int TypeSearchMask[5] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0, AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Finds Name in Context and sets it; Found tells whether the context knows the name.
int SetIn(void* Context, const char* Name, const char* Value, const AVOption*& Found)
{
    Found = Context ? lav::av_opt_find(Context, Name, nullptr, 0, 0) : nullptr;
    return Found ? lav::av_opt_set(Context, Name, Value, 0) : AVERROR_OPTION_NOT_FOUND;
}

}  // namespace

void RequireResources(const TOptionStore& Store)
{
    if (!FFLoader().LibsLoaded(ComponentLibrarySet()))
        throw FFmpegException("The codec libraries are not loaded");
    // ResetTask creates the store and FreeTaskResources releases it, with everything set-up opened.
    if (!Store.Created())
        throw FFmpegException("The task's resources were released or never created; reset the task before "
                              "using it again");
}

std::optional<std::string> FileStepRefusal(const TSetupContext& Setup, const std::string& FileName)
{
    if (!FFLoader().LibsLoaded(ComponentLibrarySet()))
        return FileName + ": the codec libraries are not loaded";
    return FailureOf([&] { RequireResources(Setup.Store); });
}

bool SetGenericOption(TSetupContext& Setup, const std::string& Name, const std::string& Value)
{
    if (TrimText(Name).empty() || TrimText(Value).empty())
        return false;
    TOptionStore& store = Setup.Store;
    const TTaskOptions& o = Setup.Options;
    RequireResources(store);
    const char* name = Name.c_str();
    const char* value = Value.c_str();
    const AVOption* found = nullptr;
    int result = 0;
    AVCodecContext* video = store.CodecOptions[AVMEDIA_TYPE_VIDEO].get();
    for (size_t type = 0; type < store.CodecOptions.size(); ++type) {
        const AVOption* option = lav::av_opt_find(video, name, nullptr, TypeSearchMask[type], 0);
        if (!option)
            continue;
        found = option;
        result = lav::av_opt_set(store.CodecOptions[type].get(), name, value, 0);
        if (result < 0)
            break;
    }
    if (!found)
        result = SetIn(store.FormatOptions.get(), name, value, found);
    if (!found && o.FileOFormat && o.FileOFormat->priv_class) {
        // Muxer settings such as "muxrate" belong to the muxer itself in this library generation: kept
        // for the forced output format, which takes them with its header.
        const AVClass* muxer = o.FileOFormat->priv_class;
        found = lav::av_opt_find(&muxer, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ);
        if (found) {
            store.MuxerOptions.emplace_back(Name, Value);
            return true;
        }
    }
    if (!found)
        result = SetIn(store.ScalerOptions.get(), name, value, found);
    if (!found && Name.size() > 1) {
        // "ab" is the audio codec's "b", "vb" the video codec's, "sb" the subtitle codec's.
        static constexpr struct {
            char Prefix;
            AVMediaType Type;
        } prefixed[] = {{'a', AVMEDIA_TYPE_AUDIO}, {'v', AVMEDIA_TYPE_VIDEO}, {'s', AVMEDIA_TYPE_SUBTITLE}};
        for (const auto& p : prefixed)
            if (Name[0] == p.Prefix)
                result = SetIn(store.CodecOptions[p.Type].get(), name + 1, value, found);
    }
    if (found && result < 0) {
        lav::av_log(nullptr, AV_LOG_PANIC, "Invalid value \"%s\" for option \"%s\"\n", value, name);
        // A codec may have an own option of the same name that takes the value (libx264's "profile").
        KeepPrivateOption(store, Name, Value, true);
        return false;
    }
    if (!found) {
        // Not a generic option: kept for the codecs, muxers and demuxers of the files set up next, whose
        // own options it may be.
        KeepPrivateOption(store, Name, Value);
        return false;
    }
    store.Names.emplace_back(found->name);
    if (video->debug || store.FormatOptions->debug) {
        if (store.SetVerbosity)
            store.SetVerbosity(2);
        else
            ApplyLibraryLogLevel(2);
    }
    return true;
}

void ApplyRecordedOptions(const TOptionStore& Store, void* Target, void* Source, int Flags)
{
    if (!Target || !Source)
        return;
    for (const std::string& name : Store.Names) {
        const AVOption* option = lav::av_opt_find(Source, name.c_str(), nullptr, 0, 0);
        if (!option || (option->flags & Flags) != Flags)
            continue;
        uint8_t* text = nullptr;
        if (lav::av_opt_get(Source, name.c_str(), 0, &text) >= 0 && text && *text)
            lav::av_opt_set(Target, name.c_str(), reinterpret_cast<const char*>(text), 0);
        lav::av_free(text);
    }
}

}  // namespace kv::setup
