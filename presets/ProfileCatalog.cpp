#include "presets/ProfileCatalog.h"

#include "presets/OutputTables.h"
#include "presets/ProfileFiles.h"

namespace kv::presets {

TProfileCatalog::TProfileCatalog(const std::string& ProgramFolder)
    : m_programFolder(!ProgramFolder.empty() && ProgramFolder.back() == '/' ? ProgramFolder : ProgramFolder + '/') {}

std::vector<std::string> TProfileCatalog::PresetFiles(int FileType) const {
    std::vector<std::string> Files;
    GetFileList(Files, m_programFolder + "profiles/videoconvert/" + FileTypeFolder(FileType), ".ini");
    return Files;
}

std::vector<std::string> TProfileCatalog::Brands() const {
    std::vector<std::string> Brands;
    GetFileList2(Brands, m_programFolder + "profiles/devices/");
    return Brands;
}

std::vector<std::string> TProfileCatalog::ModelFiles(const std::string& Brand) const {
    std::vector<std::string> Files;
    GetFileList(Files, m_programFolder + "profiles/devices/" + Brand, ".ini");
    return Files;
}

std::vector<std::string> TProfileCatalog::ItemNames(const std::vector<std::string>& Files) {
    std::vector<std::string> Names;
    Names.reserve(Files.size());
    for (const std::string& File : Files)
        Names.push_back(CompleteBaseName(File));
    return Names;
}

}  // namespace kv::presets
