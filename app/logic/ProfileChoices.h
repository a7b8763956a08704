// The four combo boxes of the preset and device tabs: the file types and their presets, the device brands
// and their models, listed from the profile folders, with the five information labels they fill and the
// remembering of the user's choices in the settings.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "app/logic/ProfileLabels.h"
#include "presets/ProfileCatalog.h"

namespace kv::app {

class TSettings;

// The file types of the preset tab: the nine of the custom tab's type combo, then the ones with quality-based
// presets only.
QStringList FileTypeCaptions();
// The nine file types of the custom tab's type combo.
QStringList CustomTypeCaptions();

// A remembered index as a choice among Count items: an index outside them gives the first item (-1 when
// there are none).
int ChoiceIndex(int Remembered, int Count);

class TProfileChoices {
public:
    // ProgramFolder holds profiles/videoconvert/<type>/ and profiles/devices/<brand>/.
    TProfileChoices(const QString& ProgramFolder, TSettings& Settings);

    QStringList PresetItems() const { return m_presetItems; }
    QStringList BrandItems() const { return m_brands; }
    QStringList ModelItems() const { return m_modelItems; }
    const std::vector<std::string>& PresetFiles() const { return m_presetFiles; }
    const std::vector<std::string>& ModelFiles() const { return m_modelFiles; }
    int FileTypeIndex() const { return m_fileType; }
    int PresetIndex() const { return m_preset; }
    int BrandIndex() const { return m_brand; }
    int ModelIndex() const { return m_model; }

    // The labels' texts: empty until a profile was shown.
    TProfileLabels Labels() const { return m_shown ? LabelsOf(*m_shown) : TProfileLabels(); }
    // The figures of the profile shown last, on the preset or the device tab.
    const std::optional<TShownFacts>& Shown() const { return m_shown; }

    // User-change marks: set by a click on a combo, cleared by the next change, which writes the choice to
    // the settings only while its mark is set.
    void MarkFileType() { m_fileTypeMarked = true; }
    void MarkBrand() { m_brandMarked = true; }
    bool FileTypeMarked() const { return m_fileTypeMarked; }
    bool BrandMarked() const { return m_brandMarked; }

    // A file type chosen: lists its presets, chooses the first and shows it.
    void ChooseFileType(int Index);
    // A preset chosen: its profile fills the labels; remembered when the choice is the user's.
    void ChoosePreset(int Index);
    // Lists the brand folders (at start-up).
    void ListBrands();
    // A brand chosen: lists its models, chooses the first and shows it.
    void ChooseBrand(int Index);
    // A model chosen: as a preset, for the device tab.
    void ChooseModel(int Index);

    // The preset tab or the device tab became active: its current choice fills the labels again.
    void ShowPresetTab();
    void ShowDeviceTab();

    // First show: the remembered choices come back and fill the lists; nothing is written back. The
    // labels end with the preset tab's choice, the tab the window opens on.
    void Restore();

private:
    void ShowPreset(bool Remember);
    void ShowModel(bool Remember);

    kv::presets::TProfileCatalog m_catalog;
    TSettings& m_settings;

    int m_fileType = -1;
    int m_preset = -1;
    std::vector<std::string> m_presetFiles;
    QStringList m_presetItems;

    std::vector<std::string> m_brandNames;
    QStringList m_brands;
    int m_brand = -1;
    int m_model = -1;
    std::vector<std::string> m_modelFiles;
    QStringList m_modelItems;

    std::optional<TShownFacts> m_shown;
    bool m_fileTypeMarked = false;
    bool m_brandMarked = false;
};

}  // namespace kv::app
