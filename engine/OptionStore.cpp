// The option contexts of the generic option store: made when a task is reset, released with its resources.
#include "engine/OptionStore.h"

namespace kv {

void TOptionStore::Create(int SwsFlags)
{
    for (size_t type = 0; type < CodecOptions.size(); ++type) {
        CodecOptions[type].reset(lav::avcodec_alloc_context3(nullptr));
        if (CodecOptions[type])
            CodecOptions[type]->codec_type = static_cast<AVMediaType>(type);
    }
    FormatOptions.reset(lav::avformat_alloc_context());
    ScalerOptions.reset(lav::sws_getContext(16, 16, static_cast<AVPixelFormat>(0), 16, 16,
                                            static_cast<AVPixelFormat>(0), SwsFlags, nullptr, nullptr, nullptr));
}

void TOptionStore::Release()
{
    Clear();
    for (CodecContextPtr& context : CodecOptions)
        context.reset();
    FormatOptions.reset();
    ScalerOptions.reset();
}

int TOptionStore::ScalerFlags(int Default) const
{
    int64_t flags = 0;
    if (!ScalerOptions || lav::av_opt_get_int(ScalerOptions.get(), "sws_flags", 0, &flags) < 0)
        return Default;
    return static_cast<int>(flags);
}

}  // namespace kv
