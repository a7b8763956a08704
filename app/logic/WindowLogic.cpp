#include "app/logic/WindowLogic.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/logic/AddNotices.h"
#include "app/logic/AnalysisTab.h"
#include "app/logic/CustomTab.h"
#include "app/logic/ProfileChoices.h"
#include "app/logic/Settings.h"
#include "app/logic/VideoFileTypes.h"
#include "component/DIdezuDOR.h"
#include "component/MediaFacts.h"
#include "media/TextAndPath.h"

namespace kv::app {

namespace {

// The resolver's messages as the preset layer writes them (it has no Qt); each is translated when shown.
[[maybe_unused]] const char* const ResolverMessages[] = {
    QT_TRANSLATE_NOOP("kv::presets::TOutputResolver", "请设定对应视频参数！"),
    QT_TRANSLATE_NOOP("kv::presets::TOutputResolver", "请设定输入视频尺寸！"),
    QT_TRANSLATE_NOOP("kv::presets::TOutputResolver", "请输入视频比特率！"),
    QT_TRANSLATE_NOOP("kv::presets::TOutputResolver", "请输入帧速率！"),
};

}  // namespace

TWindowPaths TWindowPaths::FromEnvironment()
{
    TWindowPaths paths;
    paths.ProgramFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    paths.ProgramFolder = QFileInfo(paths.ProgramFolder).absolutePath() + '/';
    paths.ConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    paths.VideosFolder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (paths.VideosFolder.isEmpty())
        paths.VideosFolder = QDir::homePath();
    paths.StateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(paths.StateHome))
        paths.StateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return paths;
}

TWindowLogic::TWindowLogic(const TPorts& Ports, const TWindowPaths& Paths)
    : m_ports(Ports),
      m_paths(Paths),
      m_settings(std::make_unique<TSettings>(ChooseDataFolder(Paths.ProgramFolder, Paths.ConfigHome))),
      m_choices(std::make_unique<TProfileChoices>(Paths.ProgramFolder, *m_settings)),
      m_custom(std::make_unique<TCustomTab>()),
      m_resolver(std::make_unique<kv::presets::TOutputResolver>([this](const std::string& Text) {
          ++m_resolveErrors;
          if (m_ports.Messages)
              m_ports.Messages->Error(QCoreApplication::translate("kv::presets::TOutputResolver", Text.c_str()));
      }))
{
    if (!m_paths.ProgramFolder.endsWith('/'))
        m_paths.ProgramFolder += '/';
}

TWindowLogic::~TWindowLogic()
{
    // A reading under way ends at the helper's timeout at the latest; its result is not wanted any more.
    if (m_analysis.joinable())
        m_analysis.join();
}

void TWindowLogic::Create(kv::TCustomDIdezuDOR& Engine)
{
    // The output folder: the remembered one, or the default, which is remembered at once.
    const QString defaultFolder = DefaultOutputFolder(m_paths.VideosFolder);
    if (m_settings->OutputFolder().isEmpty())
        m_settings->SetOutputFolder(defaultFolder);
    m_outputFolder = m_settings->OutputFolder();
    if (m_outputFolder.isEmpty())
        m_outputFolder = defaultFolder;
    if (!MakeFolder(m_outputFolder) && m_ports.Messages)
        m_ports.Messages->Error(FolderNotCreatedMessage(m_outputFolder));
    m_outputFolderText = m_outputFolder;

    // The analysis of an earlier run is the analysis tab's until another is made.
    if (const std::optional<TVideoFacts> analysed = ReadWrittenFacts(ExtFile()))
        m_analysed = ShownFactsOf(*analysed);

    // The libraries: what is missing is said now; adding a file tries again.
    Engine.SetCodecThreads(0);
    LoadLibraries(Engine);
}

bool TWindowLogic::LoadLibraries(kv::TCustomDIdezuDOR& Engine)
{
    if (Engine.LibrariesLoaded())
        return true;
    const std::string folder = kv::LibraryFolder(m_paths.ProgramFolder.toStdString());
    if (Engine.LoadLibraries(folder))
        return true;
    if (m_ports.Messages)
        m_ports.Messages->Error(
            MissingLibrariesMessage(kv::FFLoader().LastLoadFailures(), QString::fromStdString(folder)));
    return false;
}

void TWindowLogic::Show()
{
    if (!m_shown) {
        m_shown = true;
        m_choices->Restore();
    } else {
        m_choices->ShowPresetTab();
    }
    m_custom->Reset();
    m_activeTab = otPreset;
}

QString TWindowLogic::ConfigFile() const { return m_settings->ConfigFile(); }

QString TWindowLogic::ExtFile() const { return m_settings->ExtFile(); }

TSkinChoice TWindowLogic::Skin() const
{
    TSkinChoice skin;
    skin.Name = m_skin.isEmpty() ? m_settings->SkinName() : m_skin;
    const TSkinAdjustment adjustment = SkinAdjustment(skin.Name);
    skin.Saturation = adjustment.Saturation;
    skin.HueOffset = adjustment.HueOffset;
    return skin;
}

void TWindowLogic::SkinChosen(const QString& Name) { m_skin = Name; }

QString TWindowLogic::AboutUrl() { return QStringLiteral("https://kelvane.example.org/"); }

void TWindowLogic::AboutLinkClicked()
{
    if (m_ports.Desktop)
        m_ports.Desktop->OpenUrl(AboutUrl());
}

QString TWindowLogic::OutputFolderText() const { return m_outputFolderText; }

QString TWindowLogic::OutputFolder() const { return m_outputFolder; }

void TWindowLogic::OutputFolderEdited(const QString& Text) { m_outputFolderText = Text; }

void TWindowLogic::BrowseClicked()
{
    if (!m_ports.FolderBrowser)
        return;
    const QString start = QFileInfo(m_outputFolderText).isDir() ? m_outputFolderText : m_outputFolder;
    const QString chosen =
        m_ports.FolderBrowser->BrowseFolder(QCoreApplication::translate("kv::app::WindowLogic", "选择一个目录"), start);
    if (chosen.trimmed().isEmpty())
        return;
    const QString folder = QDir::cleanPath(chosen);
    // The root of the file system is no place for the converted files.
    if (folder == QStringLiteral("/"))
        return;
    m_outputFolder = folder;
    m_outputFolderText = folder;
    m_settings->SetOutputFolder(m_outputFolderText);
}

bool TWindowLogic::UseTypedFolder()
{
    if (!MakeFolder(m_outputFolderText)) {
        if (m_ports.Messages)
            m_ports.Messages->Error(FolderNotCreatedMessage(m_outputFolderText));
        return false;
    }
    if (m_outputFolder != m_outputFolderText) {
        m_outputFolder = m_outputFolderText;
        m_settings->SetOutputFolder(m_outputFolder);
    }
    return true;
}

void TWindowLogic::OpenFolderClicked()
{
    // The folder the outputs go to, which is the edit's.
    if (UseTypedFolder() && m_ports.Desktop)
        m_ports.Desktop->OpenFolder(m_outputFolder);
}

bool TWindowLogic::PrepareOutputFolder() { return UseTypedFolder(); }

QStringList TWindowLogic::FileTypeItems() { return FileTypeCaptions(); }

QStringList TWindowLogic::PresetItems() const { return m_choices->PresetItems(); }

QStringList TWindowLogic::BrandItems() const { return m_choices->BrandItems(); }

QStringList TWindowLogic::ModelItems() const { return m_choices->ModelItems(); }

int TWindowLogic::FileTypeIndex() const { return m_choices->FileTypeIndex(); }

int TWindowLogic::PresetIndex() const { return m_choices->PresetIndex(); }

int TWindowLogic::BrandIndex() const { return m_choices->BrandIndex(); }

int TWindowLogic::ModelIndex() const { return m_choices->ModelIndex(); }

void TWindowLogic::FileTypeChanged(int Index, bool ByUser)
{
    if (ByUser)
        m_choices->MarkFileType();
    m_choices->ChooseFileType(Index);
}

void TWindowLogic::PresetChanged(int Index, bool ByUser)
{
    if (ByUser)
        m_choices->MarkFileType();
    m_choices->ChoosePreset(Index);
}

void TWindowLogic::BrandChanged(int Index, bool ByUser)
{
    if (ByUser)
        m_choices->MarkBrand();
    m_choices->ChooseBrand(Index);
}

void TWindowLogic::ModelChanged(int Index, bool ByUser)
{
    if (ByUser)
        m_choices->MarkBrand();
    m_choices->ChooseModel(Index);
}

void TWindowLogic::FileTypeClicked() { m_choices->MarkFileType(); }

void TWindowLogic::BrandClicked() { m_choices->MarkBrand(); }

std::optional<TShownFacts> TWindowLogic::ShownFacts() const
{
    switch (m_activeTab) {
    case otAnalysis: return m_analysed;
    case otCustom:
        return CustomFactsOf(m_custom->TypeIndex(), m_custom->Text(TCustomField::Width),
                             m_custom->Text(TCustomField::Height), m_custom->Text(TCustomField::Bitrate),
                             m_custom->Text(TCustomField::FrameRate));
    default: return m_choices->Shown();
    }
}

TInfoLabels TWindowLogic::Labels() const
{
    const std::optional<TShownFacts> facts = ShownFacts();
    return facts ? LabelsOf(*facts) : TInfoLabels();
}

int TWindowLogic::ActiveTab() const { return m_activeTab; }

void TWindowLogic::TabChanged(int Index)
{
    m_activeTab = Index;
    m_settings->SetSelection(SelectTab, Index);
    m_custom->HidePanel();
    if (Index == otPreset)
        m_choices->ShowPresetTab();
    else if (Index == otDevice)
        m_choices->ShowDeviceTab();
}

void TWindowLogic::AnalyseClicked()
{
    if (!m_ports.OpenFileDialog || Analysing())
        return;
    const QStringList files = m_ports.OpenFileDialog->OpenFiles(VideoFileFilter(), false);
    if (files.isEmpty())
        return;
    const QString file = files.front();
    m_analysis = std::thread([this, file, helper = m_paths.FactsHelper.toStdString()] {
        const kv::TMediaFactsReader reader(helper);
        QString error;
        std::optional<TVideoFacts> facts = ReadVideoFacts(reader, file, error);
        m_window.Post([this, file, facts] { AnalysisRead(file, facts); });
    });
}

void TWindowLogic::AnalysisRead(const QString& File, const std::optional<TVideoFacts>& Facts)
{
    m_analysis.join();
    if (!Facts) {
        // The previous analysis stays in force.
        if (m_ports.Messages)
            m_ports.Messages->Error(AnalysisFailedMessage(File));
    } else {
        if (m_ports.Messages)
            m_ports.Messages->Information(ChosenFormatMessage(*Facts));
        if (!WriteVideoFacts(ExtFile(), *Facts) && m_ports.Messages)
            m_ports.Messages->Error(
                QCoreApplication::translate("kv::app::WindowLogic", "未能写入 %1 文件！").arg(ExtFile()));
        m_analysed = ShownFactsOf(*Facts);
    }
    if (OnAnalysisDone)
        OnAnalysisDone();
}

TCustomPanelState TWindowLogic::CustomPanel() const
{
    TCustomPanelState state;
    state.Visible = m_custom->Visible();
    state.TypeIndex = m_custom->TypeIndex();
    state.Width = m_custom->Text(TCustomField::Width);
    state.Height = m_custom->Text(TCustomField::Height);
    state.Bitrate = m_custom->Text(TCustomField::Bitrate);
    state.FrameRate = m_custom->Text(TCustomField::FrameRate);
    return state;
}

int TWindowLogic::CustomMaxLength(TCustomField Field) { return TCustomTab::MaxLength(Field); }

void TWindowLogic::CustomButtonClicked() { m_custom->ShowPanel(); }

void TWindowLogic::CustomTypeChanged(int Index)
{
    m_custom->SetTypeIndex(ChoiceIndex(Index, int(CustomTypeCaptions().size())));
}

bool TWindowLogic::CustomKeyPressed(const QString& KeyText)
{
    if (CustomKeyAccepted(KeyText))
        return true;
    if (m_ports.Desktop)
        m_ports.Desktop->Beep();
    return false;
}

QString TWindowLogic::CustomEdited(TCustomField Field, const QString& Text) { return m_custom->Edit(Field, Text); }

QString TWindowLogic::VideoFileFilter() { return VideoFileFilterText(); }

kv::presets::TOutputChoice TWindowLogic::ChoiceFor(const TRecordSource& Source) const
{
    kv::presets::TOutputChoice choice;
    choice.Tab = m_activeTab;
    switch (m_activeTab) {
    case otPreset:
        choice.Index1 = m_choices->FileTypeIndex();
        choice.Index2 = m_choices->PresetIndex();
        break;
    case otDevice:
        choice.Index1 = m_choices->BrandIndex();
        choice.Index2 = m_choices->ModelIndex();
        break;
    case otCustom:
        choice.Index1 = m_custom->TypeIndex();
        choice.Index2 = 0;
        break;
    default: break;
    }
    choice.CustomPanelShown = m_custom->Visible();
    choice.CustomWidth = m_custom->Text(TCustomField::Width).toStdString();
    choice.CustomHeight = m_custom->Text(TCustomField::Height).toStdString();
    choice.CustomBitrate = m_custom->Text(TCustomField::Bitrate).toStdString();
    choice.CustomFps = m_custom->Text(TCustomField::FrameRate).toStdString();
    // The active tab's audio label names the encoder.
    if (const std::optional<TShownFacts> facts = ShownFacts())
        choice.AudioCodec = facts->AudioCodec;
    choice.ClipEnabled = Source.ClipEnabled;
    choice.ClipChecked = Source.ClipChecked;
    choice.SelStart = Source.SelectionStart;
    choice.SelEnd = Source.SelectionEnd;
    choice.ClipStartMs = int(Source.ClipStartMs);
    choice.ClipLengthMs = int(Source.ClipLengthMs);
    choice.OutputFolder = m_outputFolderText.toStdString();
    choice.ProbeFileName = Source.ProbeFileName.toStdString();
    choice.ProbeFormat = Source.ProbeFormat.toStdString();
    for (const TFileRow& row : Source.FileRows)
        choice.Rows.push_back({row.Caption.toStdString(), row.Resolution.toStdString()});
    choice.ProbeRow = Source.OwnRow;
    choice.ExtFilePath = ExtFile().toStdString();
    return choice;
}

kv::TOutputOptions TWindowLogic::BuildOutputOptions(const TRecordSource& Source)
{
    return m_resolver->BuildOutputOptions(ChoiceFor(Source));
}

kv::TInputOptions TWindowLogic::BuildInputOptions(const TRecordSource& Source)
{
    return m_resolver->BuildInputOptions(ChoiceFor(Source));
}

bool TWindowLogic::BuildRecords(const TRecordSource& Source, kv::TInputOptions& Input, kv::TOutputOptions& Output)
{
    const int errors = m_resolveErrors;
    Output = BuildOutputOptions(Source);
    Input = BuildInputOptions(Source);
    return m_resolveErrors == errors;
}

}  // namespace kv::app
