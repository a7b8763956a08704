// Where the preset and device profiles lie (beside the program, or under its prefix when it is installed),
// and how the combos list them: the presets of a file type from profiles/videoconvert/<type>/, the brands as
// the folders of profiles/devices/ and a brand's models from its folder. The n-th file listed meets the n-th
// entry of the output tables.
#pragma once

#include <string>
#include <vector>

namespace kv::presets {

class TProfileCatalog {
public:
    // profiles/videoconvert/<type>/ and profiles/devices/<brand>/ lie beside the program in ProgramFolder,
    // or in its prefix's share/kelvane/ when it is installed (kv::DataHome).
    explicit TProfileCatalog(const std::string& ProgramFolder);
    // The folder that holds profiles/, with a trailing "/".
    const std::string& Folder() const { return m_dataFolder; }

    // The profile files of a file type (the preset table's row index); none for an index out of range.
    std::vector<std::string> PresetFiles(int FileType) const;
    // The brand folders' names.
    std::vector<std::string> Brands() const;
    // The profile files of a brand.
    std::vector<std::string> ModelFiles(const std::string& Brand) const;

    // The names the combos show for profile files: each file's name without its extension.
    static std::vector<std::string> ItemNames(const std::vector<std::string>& Files);

private:
    std::string m_dataFolder;  // the folder that holds profiles/; ends with "/"
};

}  // namespace kv::presets
