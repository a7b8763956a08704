// Listing the profile folders for the combos.
#include "presets/ProfileCatalog.h"

#include "media/DataFolders.h"
#include "presets/OutputTables.h"
#include "presets/ProfileFiles.h"

namespace kv::presets {

TProfileCatalog::TProfileCatalog(const std::string& ProgramFolder)
    : m_dataFolder(kv::DataHome(ProgramFolder, "profiles"))
{}

std::vector<std::string> TProfileCatalog::PresetFiles(int FileType) const
{
    std::vector<std::string> files;
    GetFileList(files, m_dataFolder + "profiles/videoconvert/" + FileTypeFolder(FileType), ".ini");
    return files;
}

std::vector<std::string> TProfileCatalog::Brands() const
{
    std::vector<std::string> brands;
    GetFileList2(brands, m_dataFolder + "profiles/devices/");
    return brands;
}

std::vector<std::string> TProfileCatalog::ModelFiles(const std::string& Brand) const
{
    std::vector<std::string> files;
    GetFileList(files, m_dataFolder + "profiles/devices/" + Brand, ".ini");
    return files;
}

std::vector<std::string> TProfileCatalog::ItemNames(const std::vector<std::string>& Files)
{
    std::vector<std::string> names;
    names.reserve(Files.size());
    for (const std::string& file : Files)
        names.push_back(CompleteBaseName(file));
    return names;
}

}  // namespace kv::presets
