// Listing the presets and devices.
#include "cli/PresetListing.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "cli/ChoiceRecords.h"
#include "cli/ExitStatus.h"
#include "cli/Messages.h"
#include "presets/NamedChoices.h"
#include "presets/OutputResolution.h"
#include "presets/OutputTables.h"
#include "presets/ProfileFiles.h"

namespace kv::cli {

namespace {

using json = nlohmann::ordered_json;

// What the window's records say for a choice before any file is known: the target size, the codecs, the
// rate or quality and the frame rate ("" when the source's own is kept).
json Settings(const presets::TNamedChoice& Choice)
{
    const presets::TProfile profile = presets::ReadProfile(Choice.ProfileFile);
    presets::TOutputChoice choice = presets::FileChoice(Choice.Tab, Choice.Index1, Choice.Index2, profile.AudioCodec,
                                                        "", "", {}, "/nonexistent", "");
    presets::TOutputResolver resolver;
    const TOutputOptions record = resolver.BuildOutputOptions(choice);
    const presets::TOutputParams& params = resolver.Params();
    json settings;
    settings["name"] = Choice.Name;
    settings["title"] = Choice.Title;
    settings["suffix"] = record.FileExt;
    settings["size"] = params.Size;
    settings["video_codec"] = record.VideoCodec;
    settings["audio_codec"] = record.AudioCodec;
    settings["video_bitrate"] = record.VideoBitrate > 0 ? json(record.VideoBitrate) : json();
    settings["quality"] = profile.Quality.empty() ? json() : json(profile.Quality);
    settings["frame_rate"] = params.FollowSource        ? json("source, at most 60")
                             : record.FrameRate.empty() ? json()
                                                        : json(record.FrameRate);
    settings["options"] = record.ExtOptions;
    return settings;
}

std::string Text(const json& Value) { return Value.is_string() ? Value.get<std::string>() : Value.dump(); }

void PrintLine(const json& Settings)
{
    std::string rate =
        Settings["video_bitrate"].is_null() ? Text(Settings["quality"]) : Text(Settings["video_bitrate"]) + " bit/s";
    std::printf("%s\t%s\t%s %s %s/%s %s, %s fps\n", Text(Settings["name"]).c_str(), Text(Settings["title"]).c_str(),
                Text(Settings["suffix"]).c_str(), Text(Settings["size"]).c_str(), Text(Settings["video_codec"]).c_str(),
                Text(Settings["audio_codec"]).c_str(), rate.c_str(),
                Settings["frame_rate"].is_null() ? "source" : Text(Settings["frame_rate"]).c_str());
}

}  // namespace

int PresetsCommand(const std::vector<std::string>& Args)
{
    const bool asJson = Args.size() == 1 && Args[0] == "--json";
    if (!Args.empty() && !asJson) {
        PrintError("presets takes only --json (see kelvane-cli --help)");
        return esUsage;
    }
    const presets::TProfileCatalog catalog(ProfileProgramFolder());
    json presetList = json::array(), deviceList = json::array();
    for (const presets::TNamedChoice& choice : presets::PresetChoices(catalog)) {
        json settings = Settings(choice);
        settings["type"] = presets::FileTypeFolder(choice.Index1);
        presetList.push_back(std::move(settings));
    }
    for (const presets::TNamedChoice& choice : presets::DeviceChoices(catalog)) {
        json settings = Settings(choice);
        settings["brand"] = choice.Name.substr(0, choice.Name.find('/'));
        settings["model"] = choice.Title;
        deviceList.push_back(std::move(settings));
    }
    if (presetList.empty() && deviceList.empty()) {
        PrintError("no profiles in " + catalog.Folder() +
                   "profiles/ (they are looked for beside the program, then in its ../share/kelvane/)");
        return esFailed;
    }
    if (asJson) {
        const json all = {{"presets", presetList}, {"devices", deviceList}};
        std::printf("%s\n", all.dump(2, ' ', false, json::error_handler_t::replace).c_str());
        return esFinished;
    }
    std::printf("Presets (convert --preset TYPE/N):\n");
    for (const json& settings : presetList)
        PrintLine(settings);
    std::printf("Devices (convert --device BRAND/MODEL):\n");
    for (const json& settings : deviceList)
        PrintLine(settings);
    return esFinished;
}

}  // namespace kv::cli
