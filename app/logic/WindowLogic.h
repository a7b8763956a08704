// The main window's logic as one object: settings and start-up, the output folder, the four combo boxes
// of the preset and device tabs with the five information labels, the output tabs, the analysis tab, the
// custom tab and the building of a task's option records. The window forwards what its widgets report to
// the event methods below and then shows what the state methods say (it reads the state again after each
// event it forwards); it keeps no state of its own about these things. Everything here runs on the window's
// thread, except the reading of an analysed video's facts, which runs on a thread of its own.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/logic/Ports.h"
#include "app/logic/ProfileLabels.h"
#include "app/logic/WindowThreadQueue.h"
#include "engine/OptionRecords.h"
#include "presets/OutputResolution.h"

namespace kv {
class TCustomDIdezuDOR;
}

namespace kv::app {

class TSettings;
class TProfileChoices;
struct TVideoFacts;
class TCustomTab;

// Where the program's files are. FromEnvironment gives the real places; tests give their own folders.
struct TWindowPaths {
    QString ProgramFolder;  // the running executable's folder: profiles/ and LibAV/ are looked up there
    QString ConfigHome;     // $XDG_CONFIG_HOME, else ~/.config: the settings go to ConfigHome/kelvane/
                            // when the program folder cannot be written
    QString VideosFolder;   // the user's video folder, else the home folder: the default output folder
                            // is made in it
    QString FactsHelper{};  // the program that reads a video's facts; '' = kelvane-cli beside the program
    QString StateHome{};    // $XDG_STATE_HOME, else ~/.local/state: the file list is kept in StateHome/kelvane/;
                            // '' keeps none

    static TWindowPaths FromEnvironment();
};

// The output tabs' indices.
using kv::presets::otAnalysis;
using kv::presets::otCustom;
using kv::presets::otDevice;
using kv::presets::otPreset;
using kv::presets::TOutputTab;

// The five information labels under the combo boxes, shared by the output tabs.
using TInfoLabels = TProfileLabels;

// The skin named in the settings and its colour adjustments.
struct TSkinChoice {
    QString Name;
    int Saturation = 0;
    int HueOffset = 0;
};

// Shown at Start on the custom tab while its settings panel is hidden.
inline const char* const CustomPanelHiddenMessage = QT_TRANSLATE_NOOP("kv::app::WindowLogic", "请设定对应视频参数！");

// The custom tab's edits.
enum class TCustomField { Width, Height, Bitrate, FrameRate };

struct TCustomPanelState {
    bool Visible = false;
    int TypeIndex = 0;
    QString Width;
    QString Height;
    QString Bitrate;
    QString FrameRate;
};

// One row of the file list as the window shows it: its caption (the file's base name) and its resolution
// text ("1280 X 720").
struct TFileRow {
    QString Caption;
    QString Resolution;
};

// What the other parts of the window say at the moment a task's records are built.
struct TRecordSource {
    QString ProbeFileName;  // the file the preview probe holds, as it was opened
    QString ProbeFormat;    // the input format name the probe was opened with ('' when none)
    QList<TFileRow> FileRows;
    int OwnRow = -1;           // the index in FileRows of the probe's file; -1: found by its caption
    bool ClipEnabled = false;  // the clip check box
    bool ClipChecked = false;
    int SelectionStart = 0;  // the preview track bar's selection
    int SelectionEnd = 0;
    qint64 ClipStartMs = 0;
    qint64 ClipLengthMs = 0;
};

class TWindowLogic {
public:
    explicit TWindowLogic(const TPorts& Ports, const TWindowPaths& Paths = TWindowPaths::FromEnvironment());
    ~TWindowLogic();
    TWindowLogic(const TWindowLogic&) = delete;
    TWindowLogic& operator=(const TWindowLogic&) = delete;

    // --- Window life ---------------------------------------------------------------------------------
    // Window creation: reads the settings, makes the output folder, chooses the skin, lists the device
    // brands, and loads the codec libraries into Engine (from LibAV/ beside the program, else the system's)
    // with automatic codec threads. Whatever fails is reported; creation always completes.
    void Create(kv::TCustomDIdezuDOR& Engine);
    // Loads the codec libraries into Engine unless they are loaded; when they cannot be, the message names
    // each one that failed and the packages that bring them. True when they are loaded.
    bool LoadLibraries(kv::TCustomDIdezuDOR& Engine);
    // The window is shown (not a restore from minimised). The first time the remembered choices come back.
    // Every time the custom panel is reset and the first tab becomes active.
    void Show();

    // --- Settings, skin, output folder --------------------------------------------------------------
    const TWindowPaths& Paths() const { return m_paths; }
    QString ConfigFile() const;  // config.ini
    QString ExtFile() const;     // extfile.ini, the analysed profile
    // The skin of this run: the one config.ini names, until another is chosen.
    TSkinChoice Skin() const;
    // Another skin for the rest of this run; config.ini keeps its own.
    void SkinChosen(const QString& Name);
    // The output folder edit's text: where records send their files.
    QString OutputFolderText() const;
    // The remembered folder: the last one chosen, or typed and then used.
    QString OutputFolder() const;
    void OutputFolderEdited(const QString& Text);
    // The edit's button: browse for a folder, starting at the edit's folder ("/" is refused), and remember
    // it.
    void BrowseClicked();
    // The open-folder button: makes the edit's folder (with its parents) when it is missing, remembers it
    // and opens it.
    void OpenFolderClicked();
    // Before a batch: makes the edit's folder with its parents and remembers it. False when it cannot be
    // made (the message has been shown); then no file is to be converted.
    bool PrepareOutputFolder();

    // The About dialog's link: opens the program's web site.
    static QString AboutUrl();
    void AboutLinkClicked();

    // --- Preset and device combos -------------------------------------------------------------------
    static QStringList FileTypeItems();
    QStringList PresetItems() const;
    QStringList BrandItems() const;
    QStringList ModelItems() const;
    int FileTypeIndex() const;
    int PresetIndex() const;
    int BrandIndex() const;
    int ModelIndex() const;
    // A choice in a combo. ByUser marks the choice as the user's, so it is remembered in the settings; the
    // program's own choices are not written back.
    void FileTypeChanged(int Index, bool ByUser);
    void PresetChanged(int Index, bool ByUser);
    void BrandChanged(int Index, bool ByUser);
    void ModelChanged(int Index, bool ByUser);
    // A click on a combo marks the following change as the user's: the file-type, preset and custom type
    // combos mark the file type, the brand and model combos the brand.
    void FileTypeClicked();
    void BrandClicked();
    // The labels of the active tab: the chosen preset or model, the last analysis (empty before the first),
    // or the custom settings. Their audio codec chooses the tasks' audio encoder.
    TInfoLabels Labels() const;

    // --- Output tabs --------------------------------------------------------------------------------
    // 0 by preset, 1 by device, 2 by an existing video, 3 custom.
    int ActiveTab() const;
    void TabChanged(int Index);
    // The image of a tab in the tab image list: the active tab shows its index + 4.
    static int TabImage(int Tab, int ActiveTab) { return Tab == ActiveTab ? Tab + 4 : Tab; }

    // --- Analysis tab -------------------------------------------------------------------------------
    // "分析视频文件": asks for one video and starts reading its facts off the window's thread (the reading
    // may take until the facts helper's timeout). When they are in, on the window's thread, they are
    // written as the analysed profile and shown in the labels, and OnAnalysisDone is called. A click while
    // a reading is under way does nothing.
    void AnalyseClicked();
    bool Analysing() const { return m_analysis.joinable(); }
    std::function<void()> OnAnalysisDone;

    // --- Custom tab ---------------------------------------------------------------------------------
    TCustomPanelState CustomPanel() const;
    static int CustomMaxLength(TCustomField Field);
    // "自定义": shows the panel.
    void CustomButtonClicked();
    void CustomTypeChanged(int Index);
    // The text a key press would type into a custom edit ("\b" for backspace; keys that type nothing, such
    // as the arrows, do not come here). False: the key is to be dropped; the warning sound has been given.
    bool CustomKeyPressed(const QString& KeyText);
    // The edit's text after the user changed it; returns the text the edit is to show (digits only, cut to
    // the edit's length).
    QString CustomEdited(TCustomField Field, const QString& Text);

    // --- Records ------------------------------------------------------------------------------------
    // The open-file dialog's filter for videos.
    static QString VideoFileFilter();
    // The option records of one task for the file the probe holds, from the active tab's choice. Checks of
    // the custom tab show their message and leave the previous output parameters in force.
    kv::TOutputOptions BuildOutputOptions(const TRecordSource& Source);
    kv::TInputOptions BuildInputOptions(const TRecordSource& Source);
    // Both records of one task. False when the active tab's settings could not be resolved (the reason has
    // been shown): the records would carry the settings of an earlier task.
    bool BuildRecords(const TRecordSource& Source, kv::TInputOptions& Input, kv::TOutputOptions& Output);

private:
    TPorts m_ports;
    TWindowPaths m_paths;
    std::unique_ptr<TSettings> m_settings;
    std::unique_ptr<TProfileChoices> m_choices;
    std::unique_ptr<TCustomTab> m_custom;
    std::unique_ptr<kv::presets::TOutputResolver> m_resolver;
    QString m_outputFolder;      // the remembered folder
    QString m_outputFolderText;  // the edit's text
    QString m_skin;              // a skin chosen while running ('' = config.ini's)
    bool m_shown = false;
    int m_activeTab = 0;
    int m_resolveErrors = 0;  // the messages the resolver has shown

    TWindowThreadQueue m_window;  // the analysis's result goes to the window's thread through it
    std::thread m_analysis;       // the reading of an analysed video's facts, while it runs

    std::optional<TShownFacts> m_analysed;  // what the analysed profile holds, once there is one

    // The figures the active tab's labels show.
    std::optional<TShownFacts> ShownFacts() const;
    kv::presets::TOutputChoice ChoiceFor(const TRecordSource& Source) const;
    // Makes the edit's folder and remembers it; false (with the message) when it cannot be made.
    bool UseTypedFolder();
    void AnalysisRead(const QString& File, const std::optional<TVideoFacts>& Facts);
};

}  // namespace kv::app
