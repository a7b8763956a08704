// Where the preset and device profiles lie under the program folder, and how the combos list them: the
// presets of a file type from profiles/videoconvert/<type>/, the brands as the folders of profiles/devices/
// and a brand's models from its folder. The n-th file listed meets the n-th entry of the output tables.
#pragma once

#include <string>
#include <vector>

namespace kv::presets {

class TProfileCatalog {
public:
    // ProgramFolder holds profiles/videoconvert/<type>/ and profiles/devices/<brand>/.
    explicit TProfileCatalog(const std::string& ProgramFolder);

    // The profile files of a file type (the preset table's row index); none for an index out of range.
    std::vector<std::string> PresetFiles(int FileType) const;
    // The brand folders' names.
    std::vector<std::string> Brands() const;
    // The profile files of a brand.
    std::vector<std::string> ModelFiles(const std::string& Brand) const;

    // The names the combos show for profile files: each file's name without its extension.
    static std::vector<std::string> ItemNames(const std::vector<std::string>& Files);

private:
    std::string m_programFolder;  // ends with "/"
};

}  // namespace kv::presets
