#include "media/LibraryHelpers.h"

#include <cerrno>

#include "media/LibraryBindings.h"

extern "C" {
#include <libavutil/error.h>
}

namespace kv {

double Q2D(AVRational Value) { return static_cast<double>(Value.num) / static_cast<double>(Value.den); }

namespace {

struct TErrorTemplate {
    int Code;
    const char* Template;
};

// The library's error codes of this generation: a failed probe reports invalid data or a missing
// demuxer where older ones reported an unknown format.
const TErrorTemplate ErrorTemplates[] = {
    {AVERROR(EILSEQ), "%s: Unknown format"},
    {AVERROR_DEMUXER_NOT_FOUND, "%s: Unknown format"},
    {AVERROR(EDOM), "%s: Incorrect image filename syntax.\n"
                    "Use '%%d' to specify the image number:\n"
                    "  for img1.jpg, img2.jpg, ..., use 'img%%d.jpg';\n"
                    "  for img001.jpg, img002.jpg, ..., use 'img%%03d.jpg'."},
    {AVERROR(EINVAL), "%s: Error while parsing header"},
    {AVERROR_INVALIDDATA, "%s: Error while parsing header"},
    {AVERROR(ENOMEM), "%s: memory allocation error occurred"},
    {AVERROR(EIO), "%s: I/O error occurred\nUsually that means that input file is truncated and/or corrupted."},
    {AVERROR_EOF, "%s: I/O error occurred\nUsually that means that input file is truncated and/or corrupted."},
    {AVERROR(ENOENT), "%s: no such file or directory"},
};

}  // namespace

std::string LibraryErrorText(const std::string& Context, int Code)
{
    const char* pattern = "%s: Error while opening file";
    for (const TErrorTemplate& entry : ErrorTemplates)
        if (entry.Code == Code) {
            pattern = entry.Template;
            break;
        }
    // "%s" takes the context, "%%" is a single "%"; the context itself is never read as a template.
    std::string text;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            text += Context;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            text += '%';
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

std::string GetMetadataValue(const AVDictionary* Metadata, const std::string& Key, const std::string& Default)
{
    if (!Metadata || !lav::av_dict_get)
        return Default;
    const AVDictionaryEntry* entry = lav::av_dict_get(Metadata, Key.c_str(), nullptr, 0);
    return entry && entry->value ? std::string(entry->value) : Default;
}

}  // namespace kv
