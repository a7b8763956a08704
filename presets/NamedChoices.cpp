// Presets and devices by name, and the choice for one file.
#include "presets/NamedChoices.h"

#include <cctype>

#include "presets/OutputTables.h"
#include "presets/ProfileFiles.h"
#include "presets/Text.h"

namespace kv::presets {

namespace {

// The number a profile's name starts with ("01 MP4播放器 ..." is 1); Position + 1 for a name without one.
int PresetNumber(const std::string& Title, int Position)
{
    int number = 0;
    size_t at = 0;
    while (at < Title.size() && at < 6 && std::isdigit(static_cast<unsigned char>(Title[at])))
        number = number * 10 + (Title[at++] - '0');
    return at > 0 ? number : Position + 1;
}

std::string Joined(const std::vector<std::string>& Items)
{
    std::string text;
    for (const std::string& item : Items)
        text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "none" : text;
}

int FileTypeCount() { return static_cast<int>(PresetTable().size()); }

std::vector<TNamedChoice> TypePresets(const TProfileCatalog& Catalog, int FileType)
{
    std::vector<TNamedChoice> choices;
    const std::vector<std::string> files = Catalog.PresetFiles(FileType);
    for (size_t i = 0; i < files.size(); ++i) {
        TNamedChoice choice;
        choice.Tab = otPreset;
        choice.Index1 = FileType;
        choice.Index2 = static_cast<int>(i);
        choice.Title = CompleteBaseName(files[i]);
        choice.Name = FileTypeFolder(FileType) + "/" + std::to_string(PresetNumber(choice.Title, choice.Index2));
        choice.ProfileFile = files[i];
        choices.push_back(std::move(choice));
    }
    return choices;
}

std::vector<TNamedChoice> BrandModels(const TProfileCatalog& Catalog, const std::vector<std::string>& Brands, int Brand)
{
    std::vector<TNamedChoice> choices;
    const std::string& brand = Brands[static_cast<size_t>(Brand)];
    const std::vector<std::string> files = Catalog.ModelFiles(brand);
    for (size_t i = 0; i < files.size(); ++i) {
        TNamedChoice choice;
        choice.Tab = otDevice;
        choice.Index1 = Brand;
        choice.Index2 = static_cast<int>(i);
        choice.Title = CompleteBaseName(files[i]);
        choice.Name = brand + "/" + choice.Title;
        choice.ProfileFile = files[i];
        choices.push_back(std::move(choice));
    }
    return choices;
}

std::vector<std::string> NamesOf(const std::vector<TNamedChoice>& Choices)
{
    std::vector<std::string> names;
    for (const TNamedChoice& choice : Choices)
        names.push_back(choice.Name);
    return names;
}

}  // namespace

std::vector<TNamedChoice> PresetChoices(const TProfileCatalog& Catalog)
{
    std::vector<TNamedChoice> choices;
    for (int type = 0; type < FileTypeCount(); ++type)
        for (TNamedChoice& choice : TypePresets(Catalog, type))
            choices.push_back(std::move(choice));
    return choices;
}

std::vector<TNamedChoice> DeviceChoices(const TProfileCatalog& Catalog)
{
    std::vector<TNamedChoice> choices;
    const std::vector<std::string> brands = Catalog.Brands();
    for (int brand = 0; brand < static_cast<int>(brands.size()); ++brand)
        for (TNamedChoice& choice : BrandModels(Catalog, brands, brand))
            choices.push_back(std::move(choice));
    return choices;
}

std::optional<TNamedChoice> FindPreset(const TProfileCatalog& Catalog, const std::string& Name, std::string& Error)
{
    const size_t slash = Name.rfind('/');
    const std::string type = AsciiUpper(Trimmed(Name.substr(0, slash == std::string::npos ? Name.size() : slash)));
    std::vector<std::string> types;
    for (int index = 0; index < FileTypeCount(); ++index) {
        types.push_back(FileTypeFolder(index));
        if (AsciiUpper(types.back()) != type)
            continue;
        const std::vector<TNamedChoice> presets = TypePresets(Catalog, index);
        const std::string number = slash == std::string::npos ? std::string() : Trimmed(Name.substr(slash + 1));
        const size_t digits = number.find_first_not_of('0');
        for (const TNamedChoice& preset : presets)
            if (!number.empty() && preset.Name.substr(preset.Name.rfind('/') + 1) ==
                                       (digits == std::string::npos ? "0" : number.substr(digits)))
                return preset;
        Error = "no preset '" + Name + "': the presets of " + types.back() + " are " + Joined(NamesOf(presets));
        return std::nullopt;
    }
    Error = "no file type '" + Name.substr(0, slash == std::string::npos ? Name.size() : slash) +
            "' (give TYPE/N): the file types are " + Joined(types);
    return std::nullopt;
}

std::optional<TNamedChoice> FindDevice(const TProfileCatalog& Catalog, const std::string& Name, std::string& Error)
{
    const size_t slash = Name.find('/');
    const std::string brandName = Name.substr(0, slash == std::string::npos ? Name.size() : slash);
    const std::vector<std::string> brands = Catalog.Brands();
    for (int brand = 0; brand < static_cast<int>(brands.size()); ++brand) {
        if (AsciiUpper(brands[static_cast<size_t>(brand)]) != AsciiUpper(Trimmed(brandName)))
            continue;
        const std::vector<TNamedChoice> models = BrandModels(Catalog, brands, brand);
        const std::string model = slash == std::string::npos ? std::string() : Name.substr(slash + 1);
        for (const TNamedChoice& choice : models)
            if (choice.Title == model)
                return choice;
        Error = "no device '" + Name + "': the models of " + brands[static_cast<size_t>(brand)] + " are " +
                Joined(NamesOf(models));
        return std::nullopt;
    }
    Error = "no device brand '" + brandName + "' (give BRAND/MODEL): the brands are " + Joined(brands);
    return std::nullopt;
}

TFileRowInfo FileRowOf(const std::string& FilePath, int Width, int Height)
{
    return {CompleteBaseName(FilePath), std::to_string(Width) + " X " + std::to_string(Height)};
}

TOutputChoice FileChoice(int Tab, int Index1, int Index2, const std::string& AudioCodec, const std::string& FilePath,
                         const std::string& Format, const TFileRowInfo& Row, const std::string& OutputFolder,
                         const std::string& ExtFile)
{
    TOutputChoice choice;
    choice.Tab = Tab;
    choice.Index1 = Index1;
    choice.Index2 = Index2;
    choice.AudioCodec = AudioCodec;
    choice.OutputFolder = OutputFolder;
    choice.ProbeFileName = FilePath;
    choice.ProbeFormat = Format;
    choice.Rows = {Row};
    choice.ProbeRow = 0;
    choice.ExtFilePath = ExtFile;
    return choice;
}

}  // namespace kv::presets
