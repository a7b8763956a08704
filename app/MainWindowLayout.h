// The main window's controls: where each one sits, its caption and its hint.
//
// The client area is 678 x 486 pixels with the controls at fixed positions: on the left the file list, its
// buttons, the output settings and the output folder; on the right the preview, the driver buttons and the
// power-off choice.
#pragma once

#include <QSize>

#include "app/WindowImages.h"
#include "presets/OutputTab.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace kv::app {

class TTrackBar;

inline constexpr QSize ClientAreaSize{678, 486};

// Tab indices of the output settings.
using kv::presets::otAnalysis;
using kv::presets::otCustom;
using kv::presets::otDevice;
using kv::presets::otPreset;
using kv::presets::TOutputTab;

// Pointers into the widget tree below the client widget, which owns every control.
struct TMainWindowControls {
    // File list and its buttons.
    QTreeWidget* FileList = nullptr;
    QPushButton* AddPanel = nullptr;  // covers the empty list until the first file is added
    QToolButton* Add = nullptr;
    QToolButton* Delete = nullptr;
    QToolButton* Clear = nullptr;

    // Output settings.
    QGroupBox* OutputGroup = nullptr;
    QTabWidget* OutputTabs = nullptr;
    QWidget* TabPages[4] = {};
    QLabel* FileTypeCaption = nullptr;
    QComboBox* FileType = nullptr;
    QLabel* PresetCaption = nullptr;
    QComboBox* Preset = nullptr;
    QLabel* BrandCaption = nullptr;
    QComboBox* Brand = nullptr;
    QLabel* ModelCaption = nullptr;
    QComboBox* Model = nullptr;
    // The five information labels, in one panel that the shown tab takes over.
    QFrame* InfoPanel = nullptr;
    QLabel* FrameSizeLabel = nullptr;
    QLabel* VideoCodecLabel = nullptr;
    QLabel* VideoBitrateLabel = nullptr;
    QLabel* FrameRateLabel = nullptr;
    QLabel* AudioCodecLabel = nullptr;
    QLabel* AnalysisText = nullptr;
    QPushButton* Analyse = nullptr;
    QPushButton* ShowCustom = nullptr;
    QFrame* CustomPanel = nullptr;  // hidden until "自定义" is pressed; then it fills its tab
    QLabel* CustomTypeCaption = nullptr;
    QComboBox* CustomType = nullptr;
    QLabel* CustomSizeCaption = nullptr;
    QLineEdit* CustomWidth = nullptr;
    QLabel* CustomTimes = nullptr;
    QLineEdit* CustomHeight = nullptr;
    QLabel* CustomBitrateCaption = nullptr;
    QLineEdit* CustomBitrate = nullptr;
    QLabel* CustomFrameRateCaption = nullptr;
    QLineEdit* CustomFrameRate = nullptr;

    // Output folder.
    QLabel* OutputFolderCaption = nullptr;
    QLineEdit* OutputFolder = nullptr;
    QToolButton* BrowseFolder = nullptr;
    QToolButton* OpenFolder = nullptr;

    // Preview.
    QGroupBox* PreviewGroup = nullptr;
    QLabel* PreviewImage = nullptr;
    TTrackBar* PreviewTrack = nullptr;
    QLabel* PreviewTime = nullptr;
    QPushButton* StartTime = nullptr;
    QLineEdit* StartTimeEdit = nullptr;
    QPushButton* EndTime = nullptr;
    QLineEdit* EndTimeEdit = nullptr;
    QCheckBox* CutClip = nullptr;

    // Driver.
    QFrame* DriverPanel = nullptr;
    QToolButton* Start = nullptr;
    QPushButton* Pause = nullptr;
    QPushButton* Resume = nullptr;
    QPushButton* Stop = nullptr;
    QCheckBox* Shutdown = nullptr;
    QLabel* TasksAtOnceCaption = nullptr;
    QComboBox* TasksAtOnce = nullptr;
};

// Creates every control inside Client (which should be ClientAreaSize) in its first state: tabs on the
// first page, the add panel over the list, the small list buttons hidden, only Start enabled. The combo
// boxes are left empty for the window to fill.
TMainWindowControls BuildMainWindowControls(QWidget& Client);

// Moves the information labels onto the tab being shown (the custom panel, when shown, stays above them).
void ShowInfoPanelOn(const TMainWindowControls& Controls, int Tab);

}  // namespace kv::app
