// The own options of an encoder, muxer or demuxer, as the libraries' option tables give them.
#include "cli/OptionListing.h"

#include <cmath>
#include <cstring>

#include "media/LibraryBindings.h"
#include "media/TextFormat.h"

namespace kv::cli {

namespace {

const char* TypeName(AVOptionType Type)
{
    static const struct {
        AVOptionType Type;
        const char* Name;
    } names[] = {
        {AV_OPT_TYPE_FLAGS, "flags"},
        {AV_OPT_TYPE_INT, "int"},
        {AV_OPT_TYPE_INT64, "int64"},
        {AV_OPT_TYPE_DOUBLE, "double"},
        {AV_OPT_TYPE_FLOAT, "float"},
        {AV_OPT_TYPE_STRING, "string"},
        {AV_OPT_TYPE_RATIONAL, "rational"},
        {AV_OPT_TYPE_BINARY, "binary"},
        {AV_OPT_TYPE_DICT, "dictionary"},
        {AV_OPT_TYPE_UINT64, "uint64"},
        {AV_OPT_TYPE_IMAGE_SIZE, "image_size"},
        {AV_OPT_TYPE_PIXEL_FMT, "pix_fmt"},
        {AV_OPT_TYPE_SAMPLE_FMT, "sample_fmt"},
        {AV_OPT_TYPE_VIDEO_RATE, "video_rate"},
        {AV_OPT_TYPE_DURATION, "duration"},
        {AV_OPT_TYPE_COLOR, "color"},
        {AV_OPT_TYPE_CHLAYOUT, "channel_layout"},
        {AV_OPT_TYPE_BOOL, "bool"},
    };
    for (const auto& entry : names)
        if (entry.Type == Type)
            return entry.Name;
    return "value";
}

std::string Number(double Value)
{
    if (std::fabs(Value) < 1e15 && Value == std::floor(Value))
        return Format("%.0f", Value);
    return Format("%g", Value);
}

bool IsNumeric(AVOptionType Type)
{
    switch (Type) {
    case AV_OPT_TYPE_FLAGS:
    case AV_OPT_TYPE_INT:
    case AV_OPT_TYPE_INT64:
    case AV_OPT_TYPE_UINT64:
    case AV_OPT_TYPE_DOUBLE:
    case AV_OPT_TYPE_FLOAT:
    case AV_OPT_TYPE_DURATION:
    case AV_OPT_TYPE_BOOL:
    case AV_OPT_TYPE_RATIONAL: return true;
    default: return false;
    }
}

std::string DefaultText(const AVOption& Option)
{
    switch (Option.type) {
    case AV_OPT_TYPE_DOUBLE:
    case AV_OPT_TYPE_FLOAT: return Number(Option.default_val.dbl);
    case AV_OPT_TYPE_RATIONAL: return Format("%d/%d", Option.default_val.q.num, Option.default_val.q.den);
    case AV_OPT_TYPE_STRING:
    case AV_OPT_TYPE_IMAGE_SIZE:
    case AV_OPT_TYPE_VIDEO_RATE:
    case AV_OPT_TYPE_COLOR:
    case AV_OPT_TYPE_CHLAYOUT:
    case AV_OPT_TYPE_DICT:
        return Option.default_val.str ? "\"" + std::string(Option.default_val.str) + "\"" : std::string("none");
    case AV_OPT_TYPE_BOOL: return Option.default_val.i64 < 0 ? "auto" : Option.default_val.i64 ? "true" : "false";
    case AV_OPT_TYPE_PIXEL_FMT:
    case AV_OPT_TYPE_SAMPLE_FMT:
    case AV_OPT_TYPE_BINARY: return Option.default_val.i64 < 0 ? "none" : Number(double(Option.default_val.i64));
    default: return Number(static_cast<double>(Option.default_val.i64));
    }
}

// The options of Class, one line each with its named values beneath.
std::string ClassOptions(const AVClass* Class)
{
    if (!Class || !Class->option || !Class->option->name)
        return "  (no options of its own)\n";
    std::string text;
    const void* object = &Class;
    for (const AVOption* option = nullptr; (option = lav::av_opt_next(object, option));) {
        if (option->type == AV_OPT_TYPE_CONST)
            continue;
        std::string line = Format("  %-24s %-10s", option->name, TypeName(option->type));
        if (IsNumeric(option->type) && option->type != AV_OPT_TYPE_BOOL)
            line += " from " + Number(option->min) + " to " + Number(option->max) + ",";
        line += " default " + DefaultText(*option);
        if (option->help && *option->help)
            line += "  " + std::string(option->help);
        text += line + "\n";
        if (!option->unit)
            continue;
        for (const AVOption* value = nullptr; (value = lav::av_opt_next(object, value));)
            if (value->type == AV_OPT_TYPE_CONST && value->unit && std::strcmp(value->unit, option->unit) == 0)
                text += Format("      %-20s %s\n", value->name, value->help ? value->help : "");
    }
    return text;
}

std::string Heading(const char* Kind, const char* Name, const char* LongName)
{
    return Format("%s %s%s%s%s:\n", Kind, Name, LongName ? " (" : "", LongName ? LongName : "", LongName ? ")" : "");
}

}  // namespace

std::string OptionListing(const std::string& Name)
{
    std::string text;
    if (const AVCodec* encoder = lav::avcodec_find_encoder_by_name(Name.c_str()))
        text += Heading("encoder", encoder->name, encoder->long_name) + ClassOptions(encoder->priv_class);
    if (const AVOutputFormat* muxer = lav::av_guess_format(Name.c_str(), nullptr, nullptr))
        text += (text.empty() ? "" : "\n") + Heading("muxer", muxer->name, muxer->long_name) +
                ClassOptions(muxer->priv_class);
    if (const AVInputFormat* demuxer = lav::av_find_input_format(Name.c_str()))
        text += (text.empty() ? "" : "\n") + Heading("demuxer", demuxer->name, demuxer->long_name) +
                ClassOptions(demuxer->priv_class);
    return text;
}

}  // namespace kv::cli
