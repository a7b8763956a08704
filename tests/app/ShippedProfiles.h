// What the shipped profile data promises: for each table entry, the profile labels that go with it and
// what a conversion with it produces.
#pragma once

#include <QString>
#include <string>

#include "presets/OutputTables.h"

namespace kvtest {

// The profiles/ folder beside the test programs.
std::string ShippedProfiles();

// The profile kind ("Type") of an entry: its extension without the dot, "rm" for the RealMedia kinds.
QString ProfileType(const kv::presets::TOutputEntry& Entry);
// The video codec label of an entry ("MPEG4", "H264" ...).
QString VideoLabel(const kv::presets::TOutputEntry& Entry);
// The audio codec label the profile of an entry carries ("AAC", "MP3", "AC3", "WMA").
QString AudioLabel(const kv::presets::TOutputEntry& Entry);

// The codec names ffprobe reports for a converted file.
std::string VideoFamily(const kv::presets::TOutputEntry& Entry);
std::string AudioFamily(const QString& AudioLabel, const QString& Ext);

}  // namespace kvtest
