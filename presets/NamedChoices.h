// The preset and device choices by name, as scripts give them: a file type's preset as "TYPE/N" (the type's
// profile folder, the number its profile's name starts with) and a device as "BRAND/MODEL" (the brand's
// folder, the model as the device combo lists it); and the output tabs' choice for one file, filled as the
// window fills it, so that a choice by name gives the window's records.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "presets/OutputResolution.h"
#include "presets/ProfileCatalog.h"

namespace kv::presets {

// One preset or device, found in the catalog.
struct TNamedChoice {
    int Tab = otPreset;  // otPreset or otDevice
    int Index1 = 0;      // the file type or the brand, as the combos count them
    int Index2 = 0;      // the preset or the model
    std::string Name;    // "MP4/13", "Aurion/Aurion AP110"
    std::string Title;   // what the combo shows: the profile file's name without its extension
    std::string ProfileFile;
};

// Every file type's presets, type by type in the file type combo's order.
std::vector<TNamedChoice> PresetChoices(const TProfileCatalog& Catalog);
// Every brand's models.
std::vector<TNamedChoice> DeviceChoices(const TProfileCatalog& Catalog);

// The preset "TYPE/N" or the device "BRAND/MODEL" (the type and brand in any letter case, the number with or
// without its leading zeros). Nothing for a name the catalog does not hold; Error then says what it holds.
std::optional<TNamedChoice> FindPreset(const TProfileCatalog& Catalog, const std::string& Name, std::string& Error);
std::optional<TNamedChoice> FindDevice(const TProfileCatalog& Catalog, const std::string& Name, std::string& Error);

// The file list's row of a file: its name without folder and extension, and its size as "W X H".
TFileRowInfo FileRowOf(const std::string& FilePath, int Width, int Height);

// What the window's controls say for one file converted with the choice on Tab (Index1, Index2 as the
// combos count them; unused for the analysis tab) and nothing else: AudioCodec is the shown profile's or
// analysis's audio codec ("AAC"), Row the file's row, Format the input format it is opened with ("" =
// detected), ExtFile the analysed profile. No clip range.
TOutputChoice FileChoice(int Tab, int Index1, int Index2, const std::string& AudioCodec, const std::string& FilePath,
                         const std::string& Format, const TFileRowInfo& Row, const std::string& OutputFolder,
                         const std::string& ExtFile);

}  // namespace kv::presets
