// What kelvane-cli says about a file and about itself, as key/value facts: printed one key=value per line,
// or as one JSON object.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "component/MediaFactsProtocol.h"
#include "media/AVProbe.h"

namespace kv::cli {

// One fact: its JSON value and the text its key=value line shows.
struct TFact {
    std::string Key;
    nlohmann::ordered_json Value;
    std::string Text;
};
using TFacts = std::vector<TFact>;

// What the engine's probe knows of the file it holds: counts, container, times and tags.
TFacts ProbeFacts(TCustomAVProbe& Probe);
// Size, rate, play time and codecs, as the media-information facts give them.
TFacts MediaFactsOf(const TMediaFacts& Facts);
// The program's and the engine component's versions and the versions of the libraries actually loaded
// (loaded before this is asked).
TFacts VersionFacts(const std::string& EngineVersion);

// "Key=Text" lines.
std::string FactLines(const TFacts& Facts);
nlohmann::ordered_json FactObject(const TFacts& Facts);

}  // namespace kv::cli
