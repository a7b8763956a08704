// Finding encoders and decoders by name, with the names older presets use for codecs this library
// generation calls otherwise.
#include "media/LibraryBindings.h"
#include "media/TextFormat.h"
#include "engine/SetupContext.h"

namespace kv::setup {

namespace {

const AVCodec* FindByName(const std::string& Name, bool Encoder)
{
    return Encoder ? lav::avcodec_find_encoder_by_name(Name.c_str()) : lav::avcodec_find_decoder_by_name(Name.c_str());
}

const AVCodec* FindById(AVCodecID Id, bool Encoder)
{
    return Encoder ? lav::avcodec_find_encoder(Id) : lav::avcodec_find_decoder(Id);
}

// A name this generation does not know, resolved to what it offers in its place.
const AVCodec* FindAlias(const std::string& Name, bool Encoder)
{
    if (Name == "libfaac")
        return FindByName("aac", Encoder);
    if (Name == "avc") {
        // libx264 when it is there, else whatever H.264 codec the library prefers.
        if (const AVCodec* codec = FindByName("libx264", Encoder))
            return codec;
        return FindById(AV_CODEC_ID_H264, Encoder);
    }
    return nullptr;
}

}  // namespace

bool LookupCodec(const std::string& Name, AVMediaType Type, bool Encoder, const AVCodec*& Codec, std::string& ErrorText)
{
    Codec = nullptr;
    if (Name.empty())
        return true;
    const char* kind = Encoder ? "encoder" : "decoder";
    const AVCodec* codec = FindByName(Name, Encoder);
    if (!codec)
        codec = FindAlias(Name, Encoder);
    if (!codec) {
        ErrorText = Format("Unknown %s '%s'", kind, Name.c_str());
        return false;
    }
    if (codec->type != Type) {
        ErrorText = Format("Invalid %s type '%s'", kind, Name.c_str());
        return false;
    }
    Codec = codec;
    return true;
}

}  // namespace kv::setup
