#include "app/logic/ProfileChoices.h"

#include <QCoreApplication>

#include "app/logic/Settings.h"
#include "presets/OutputTables.h"
#include "presets/ProfileFiles.h"

namespace kv::app {

namespace {

QStringList Texts(const std::vector<std::string>& Items)
{
    QStringList texts;
    for (const std::string& item : Items)
        texts << QString::fromStdString(item);
    return texts;
}

QStringList ItemNames(const std::vector<std::string>& Files)
{
    return Texts(kv::presets::TProfileCatalog::ItemNames(Files));
}

}  // namespace

QStringList FileTypeCaptions()
{
    static const char* const captions[] = {
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "3GP  (适合手机播放)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "MP4  (适合手机,MP4播放器,PSP等)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "AVI (适合电脑和部分手机 MP4播放器)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "MPEG  (VCD、DVD播放机)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "WMV (适合电脑部分MP4播放器播放)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "RM  (适合电脑播放)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "MOV  (适合电脑播放)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "MKV  (适合电脑播放)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "FLV  (适合电脑播放)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "MP4-H264  (现代手机、平板、电视)"),
        QT_TRANSLATE_NOOP("kv::app::ProfileChoices", "MKV-WEBM  (H.265, VP9, AV1 高效编码)"),
    };
    QStringList texts;
    for (const char* caption : captions)
        texts << QCoreApplication::translate("kv::app::ProfileChoices", caption);
    return texts;
}

QStringList CustomTypeCaptions() { return FileTypeCaptions().mid(0, kv::presets::ClassicFileTypes); }

int ChoiceIndex(int Remembered, int Count)
{
    if (Count <= 0)
        return -1;
    return Remembered >= 0 && Remembered < Count ? Remembered : 0;
}

TProfileChoices::TProfileChoices(const QString& ProgramFolder, TSettings& Settings)
    : m_catalog(ProgramFolder.toStdString()), m_settings(Settings)
{}

void TProfileChoices::ChooseFileType(int Index)
{
    m_fileType = ChoiceIndex(Index, int(FileTypeCaptions().size()));
    m_presetFiles = m_catalog.PresetFiles(m_fileType);
    m_presetItems = ItemNames(m_presetFiles);
    m_preset = ChoiceIndex(0, int(m_presetFiles.size()));
    if (m_preset >= 0)
        ShowPreset(true);
}

void TProfileChoices::ChoosePreset(int Index)
{
    m_preset = ChoiceIndex(Index, int(m_presetFiles.size()));
    if (m_preset >= 0)
        ShowPreset(true);
}

void TProfileChoices::ListBrands()
{
    m_brandNames = m_catalog.Brands();
    m_brands = Texts(m_brandNames);
}

void TProfileChoices::ChooseBrand(int Index)
{
    m_brand = ChoiceIndex(Index, int(m_brands.size()));
    m_modelFiles.clear();
    if (m_brand >= 0)
        m_modelFiles = m_catalog.ModelFiles(m_brandNames[size_t(m_brand)]);
    m_modelItems = ItemNames(m_modelFiles);
    m_model = ChoiceIndex(0, int(m_modelFiles.size()));
    if (m_model >= 0)
        ShowModel(true);
}

void TProfileChoices::ChooseModel(int Index)
{
    m_model = ChoiceIndex(Index, int(m_modelFiles.size()));
    if (m_model >= 0)
        ShowModel(true);
}

void TProfileChoices::ShowPresetTab()
{
    if (m_preset >= 0)
        ShowPreset(true);
}

void TProfileChoices::ShowDeviceTab()
{
    if (m_model >= 0)
        ShowModel(true);
}

void TProfileChoices::ShowPreset(bool Remember)
{
    m_shown = ShownFactsOf(kv::presets::ReadProfile(m_presetFiles[size_t(m_preset)]), false);
    if (Remember && m_fileTypeMarked) {
        m_settings.SetSelection(SelectFileType, m_fileType);
        m_settings.SetSelection(SelectPreset, m_preset);
    }
    m_fileTypeMarked = false;
}

void TProfileChoices::ShowModel(bool Remember)
{
    m_shown = ShownFactsOf(kv::presets::ReadProfile(m_modelFiles[size_t(m_model)]), true);
    if (Remember && m_brandMarked) {
        m_settings.SetSelection(SelectBrand, m_brand);
        m_settings.SetSelection(SelectModel, m_model);
    }
    m_brandMarked = false;
}

void TProfileChoices::Restore()
{
    // Whatever the program chooses here is not the user's choice.
    m_fileTypeMarked = false;
    m_brandMarked = false;

    ChooseFileType(m_settings.Selection(SelectFileType));
    m_preset = ChoiceIndex(m_settings.Selection(SelectPreset), int(m_presetFiles.size()));

    ListBrands();
    ChooseBrand(m_settings.Selection(SelectBrand));
    m_model = ChoiceIndex(m_settings.Selection(SelectModel), int(m_modelFiles.size()));
    if (m_model >= 0)
        ShowModel(false);

    // The labels follow the preset tab, where the window opens, so that they agree with its choice (the
    // audio label decides the audio encoder of the tasks).
    if (m_preset >= 0)
        ShowPreset(false);
}

}  // namespace kv::app
