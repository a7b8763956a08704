// The table of the video file kinds the window takes, and the filter and MIME list made from it.
#include "app/logic/VideoFileTypes.h"

namespace kv::app {

namespace {

// The file kinds the original program listed, then WebM, OGV and M4V. A kind without a registered MIME type
// is still taken by the open dialog; a file manager cannot offer the program for it.
// clang-format off
constexpr TVideoFileType GVideoFileTypes[] = {
    {"AVI",  "video/x-msvideo"},
    {"AVM",  ""},
    {"ASF",  "application/vnd.ms-asf;video/x-ms-asf"},
    {"WMV",  "video/x-ms-wmv"},
    {"AVS",  ""},
    {"FLV",  "video/x-flv"},
    {"MKV",  "video/x-matroska"},
    {"MOV",  "video/quicktime"},
    {"3GP",  "video/3gpp"},
    {"MP4",  "video/mp4"},
    {"MPG",  "video/mpeg"},
    {"MPEG", "video/mpeg"},
    {"DAT",  ""},
    {"OGM",  "video/x-ogm+ogg"},
    {"VOB",  "video/mpeg"},
    {"RM",   "application/vnd.rn-realmedia"},
    {"RMVB", "application/vnd.rn-realmedia;application/vnd.rn-realmedia-vbr"},
    {"TS",   "video/mp2t"},
    {"TP",   ""},
    {"IFO",  ""},
    {"NSV",  "video/x-nsv"},
    {"MTS",  "video/mp2t"},
    {"M2TS", "video/mp2t"},
    {"WEBM", "video/webm"},
    {"OGV",  "video/ogg"},
    {"M4V",  "video/mp4;video/x-m4v"},
};
// clang-format on

}  // namespace

std::span<const TVideoFileType> VideoFileTypes() { return GVideoFileTypes; }

QString VideoFileFilterText()
{
    QStringList patterns;
    for (const TVideoFileType& type : GVideoFileTypes)
        patterns << QStringLiteral("*.") + QLatin1String(type.Extension);
    return QStringLiteral("Video Files|") + patterns.join(QLatin1Char(';'));
}

QStringList VideoMimeTypes()
{
    QStringList names;
    for (const TVideoFileType& type : GVideoFileTypes)
        for (const QString& name : QString::fromLatin1(type.MimeTypes).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            if (!names.contains(name))
                names << name;
    return names;
}

}  // namespace kv::app
