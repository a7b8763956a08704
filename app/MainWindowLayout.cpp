#include "app/MainWindowLayout.h"

#include "app/TrackBar.h"
#include "app/WidgetTexts.h"
#include "app/WindowImages.h"
#include "app/logic/TasksAtOnce.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

namespace kv::app {

namespace {

template <typename T>
T* Make(QWidget* Parent, const char* Name, QRect Geometry)
{
    auto* widget = new T(Parent);
    widget->setObjectName(QString::fromLatin1(Name));
    widget->setGeometry(Geometry);
    return widget;
}

QLabel* Caption(QWidget* Parent, const char* Name, const char* Source, QRect Geometry)
{
    auto* label = Make<QLabel>(Parent, Name, Geometry);
    SetSourceText(label, Source);
    label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    return label;
}

template <typename T>
T* Button(QWidget* Parent, const char* Name, const char* Source, QRect Geometry, const QIcon& Icon = {})
{
    auto* button = Make<T>(Parent, Name, Geometry);
    SetSourceText(button, Source);
    if (!Icon.isNull())
        button->setIcon(Icon);
    return button;
}

QLineEdit* Edit(QWidget* Parent, const char* Name, const QString& Text, int MaxLength, QRect Geometry)
{
    auto* edit = Make<QLineEdit>(Parent, Name, Geometry);
    edit->setText(Text);
    if (MaxLength > 0)
        edit->setMaxLength(MaxLength);
    return edit;
}

QComboBox* Combo(QWidget* Parent, const char* Name, const char* Hint, QRect Geometry)
{
    auto* combo = Make<QComboBox>(Parent, Name, Geometry);
    SetSourceToolTip(combo, Hint);
    combo->setIconSize(QSize(16, 16));
    combo->setMaxVisibleItems(16);
    return combo;
}

// Rows of the tab pages: a caption at the left, its control beside it.
constexpr int RowLeft = 10;
constexpr int FieldLeft = 84;
constexpr int FieldWidth = 296;
constexpr int RowHeight = 24;

void BuildFileList(TMainWindowControls& C, QWidget& Client)
{
    const QRect listArea(6, 6, 409, 181);
    C.FileList = Make<QTreeWidget>(&Client, "lstFiles", listArea);
    C.FileList->setColumnCount(5);
    SetSourceHeaders(C.FileList, {QT_TRANSLATE_NOOP("kv::app::TMainWindow", "文件名"),
                                  QT_TRANSLATE_NOOP("kv::app::TMainWindow", "类型"),
                                  QT_TRANSLATE_NOOP("kv::app::TMainWindow", "分辨率"),
                                  QT_TRANSLATE_NOOP("kv::app::TMainWindow", "时长"),
                                  QT_TRANSLATE_NOOP("kv::app::TMainWindow", "进度")});
    C.FileList->setRootIsDecorated(false);
    C.FileList->setUniformRowHeights(true);
    C.FileList->setAlternatingRowColors(true);
    C.FileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    C.FileList->setSelectionMode(QAbstractItemView::SingleSelection);
    C.FileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    C.FileList->setAllColumnsShowFocus(true);
    QHeaderView* header = C.FileList->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setDefaultAlignment(Qt::AlignCenter);
    const int widths[5] = {116, 52, 70, 60, 100};
    for (int column = 0; column < 5; ++column)
        C.FileList->setColumnWidth(column, widths[column]);

    const char* const addHint = QT_TRANSLATE_NOOP("kv::app::TMainWindow", "添加待转视频文件");
    C.AddPanel = Button<QPushButton>(&Client, "btnAddPanel", addHint, listArea, ButtonImage(TButtonImage::AddPanel));
    C.AddPanel->setIconSize(QSize(48, 48));
    SetSourceToolTip(C.AddPanel, addHint);
    C.AddPanel->setCursor(Qt::PointingHandCursor);
    C.AddPanel->raise();

    const int y = 191;
    C.Add = Button<QToolButton>(&Client, "btnAdd", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "添加"), {6, y, 64, 24},
                                ButtonImage(TButtonImage::Add));
    C.Delete = Button<QToolButton>(&Client, "btnDelete", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "删除"),
                                   {74, y, 64, 24}, ButtonImage(TButtonImage::Delete));
    C.Clear = Button<QToolButton>(&Client, "btnClear", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "清空"),
                                  {142, y, 64, 24}, ButtonImage(TButtonImage::Clear));
    for (QToolButton* button : {C.Add, C.Delete, C.Clear}) {
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIconSize(QSize(14, 14));
        button->hide();
    }
}

void BuildPresetAndDeviceTabs(TMainWindowControls& C)
{
    QWidget* preset = C.TabPages[otPreset];
    C.FileTypeCaption = Caption(preset, "lblFileType", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "文件类型:"),
                                {RowLeft, 8, 72, RowHeight});
    C.FileType = Combo(preset, "cmbFileType", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "选择文件类型方案"),
                       {FieldLeft, 8, FieldWidth, RowHeight});
    C.PresetCaption = Caption(preset, "lblPreset", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "预置方案:"),
                              {RowLeft, 38, 72, RowHeight});
    C.Preset = Combo(preset, "cmbPreset", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "选择预置方案"),
                     {FieldLeft, 38, FieldWidth, RowHeight});

    // The device tab's combos sit where the preset tab's do, so both tabs look alike.
    QWidget* device = C.TabPages[otDevice];
    C.BrandCaption = Caption(device, "lblBrand", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "设备品牌:"),
                             {RowLeft, 8, 72, RowHeight});
    C.Brand = Combo(device, "cmbBrand", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "选择设备类型"),
                    {FieldLeft, 8, FieldWidth, RowHeight});
    C.ModelCaption = Caption(device, "lblModel", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "设备型号:"),
                             {RowLeft, 38, 72, RowHeight});
    C.Model = Combo(device, "cmbModel", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "选择预置方案"),
                    {FieldLeft, 38, FieldWidth, RowHeight});
}

void BuildInfoPanel(TMainWindowControls& C)
{
    C.InfoPanel = Make<QFrame>(C.TabPages[otPreset], "pnlInfo", {RowLeft, 72, 370, 80});
    const int half = 178;
    C.FrameSizeLabel = Caption(C.InfoPanel, "lblFrameSize", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "视频像素："),
                               {10, 4, half, 22});
    C.VideoCodecLabel = Caption(C.InfoPanel, "lblVideoCodec", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "视频编码："),
                                {10, 28, half, 22});
    C.AudioCodecLabel = Caption(C.InfoPanel, "lblAudioCodec", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "音频编码："),
                                {10, 52, half, 22});
    C.VideoBitrateLabel = Caption(C.InfoPanel, "lblVideoBitrate",
                                  QT_TRANSLATE_NOOP("kv::app::TMainWindow", "视频码率："), {192, 4, half - 10, 22});
    C.FrameRateLabel = Caption(C.InfoPanel, "lblFrameRate", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "帧速率："),
                               {192, 28, half - 10, 22});
}

void BuildAnalysisTab(TMainWindowControls& C)
{
    QWidget* page = C.TabPages[otAnalysis];
    C.AnalysisText =
        Caption(page, "lblAnalysis",
                QT_TRANSLATE_NOOP("kv::app::TMainWindow",
                                  "       比如您不知该生成什么样的视频格式给自己的手机用，但手机里已经有一些"
                                  "可以播放的视频文件，OK,本软件可以提取并分析这些文件为您自动生成合适的方案。"),
                {RowLeft, 2, 258, 68});
    C.AnalysisText->setWordWrap(true);
    C.AnalysisText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    C.Analyse = Button<QPushButton>(page, "btnAnalyse", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "分析视频文件"),
                                    {272, 20, 112, 32}, ButtonImage(TButtonImage::Analyse));
}

void BuildCustomTab(TMainWindowControls& C)
{
    QWidget* page = C.TabPages[otCustom];
    C.ShowCustom = Button<QPushButton>(page, "btnShowCustom", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "自定义"),
                                       {RowLeft, 20, 100, 32}, ButtonImage(TButtonImage::ShowCustom));

    // When shown, the panel fills the page, whatever size the tab widget gives the page.
    C.CustomPanel = Make<QFrame>(page, "pnlCustom", {});
    auto* fill = new QGridLayout(page);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(C.CustomPanel, 0, 0);
    QWidget* panel = C.CustomPanel;
    C.CustomTypeCaption = Caption(panel, "lblCustomType", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "视频类型"),
                                  {RowLeft, 8, 72, RowHeight});
    C.CustomType = Combo(panel, "cmbCustomType", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "选择转换视频类型方案"),
                         {FieldLeft, 8, FieldWidth, RowHeight});
    C.CustomSizeCaption = Caption(panel, "lblCustomSize", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "视频尺寸"),
                                  {RowLeft, 40, 72, RowHeight});
    C.CustomWidth = Edit(panel, "edtCustomWidth", QStringLiteral("220"), 4, {FieldLeft, 40, 64, RowHeight});
    C.CustomTimes = Make<QLabel>(panel, "lblCustomTimes", {FieldLeft + 64, 40, 24, RowHeight});
    C.CustomTimes->setText(QStringLiteral("Ⅹ"));
    C.CustomTimes->setAlignment(Qt::AlignCenter);
    C.CustomHeight = Edit(panel, "edtCustomHeight", QStringLiteral("176"), 4, {FieldLeft + 88, 40, 64, RowHeight});
    C.CustomBitrateCaption = Caption(panel, "lblCustomBitrate", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "视频比特率"),
                                     {RowLeft, 72, 72, RowHeight});
    C.CustomBitrate = Edit(panel, "edtCustomBitrate", QStringLiteral("38400"), 7, {FieldLeft, 72, 152, RowHeight});
    C.CustomFrameRateCaption = Caption(panel, "lblCustomFrameRate", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "帧速率"),
                                       {RowLeft, 104, 72, RowHeight});
    C.CustomFrameRate = Edit(panel, "edtCustomFrameRate", QStringLiteral("15"), 2, {FieldLeft, 104, 64, RowHeight});
    C.CustomPanel->hide();
}

void BuildOutputSettings(TMainWindowControls& C, QWidget& Client)
{
    C.OutputGroup = Make<QGroupBox>(&Client, "grpOutput", {4, 219, 413, 225});
    SetSourceText(C.OutputGroup, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "输出设置："));
    C.OutputTabs = Make<QTabWidget>(C.OutputGroup, "tabOutput", {5, 22, 403, 196});
    C.OutputTabs->setIconSize(QSize(16, 16));
    C.OutputTabs->setUsesScrollButtons(false);
    C.OutputTabs->setDocumentMode(false);
    const char* const names[4] = {"tabPreset", "tabDevice", "tabAnalysis", "tabCustom"};
    const char* const captions[4] = {QT_TRANSLATE_NOOP("kv::app::TMainWindow", "按预置方案"),
                                     QT_TRANSLATE_NOOP("kv::app::TMainWindow", "按设备类型"),
                                     QT_TRANSLATE_NOOP("kv::app::TMainWindow", "按已有视频"),
                                     QT_TRANSLATE_NOOP("kv::app::TMainWindow", "自己定义")};
    for (int tab = 0; tab < 4; ++tab) {
        C.TabPages[tab] = new QWidget;
        C.TabPages[tab]->setObjectName(QString::fromLatin1(names[tab]));
        C.OutputTabs->addTab(C.TabPages[tab], TabImage(tab == 0 ? tab + 4 : tab), QString());
        SetSourceTabText(C.OutputTabs, tab, captions[tab]);
    }
    C.OutputTabs->setCurrentIndex(0);

    BuildPresetAndDeviceTabs(C);
    BuildInfoPanel(C);
    BuildAnalysisTab(C);
    BuildCustomTab(C);

    const int y = 452;
    C.OutputFolderCaption =
        Caption(&Client, "lblOutputFolder", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "输出目录："), {6, y, 66, 26});
    C.OutputFolder = Edit(&Client, "edtOutputFolder", {}, 0, {72, y, 288, 26});
    SetSourceToolTip(C.OutputFolder, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "视频输出目录"));
    C.BrowseFolder = Make<QToolButton>(&Client, "btnBrowseFolder", {362, y, 26, 26});
    C.BrowseFolder->setText(QStringLiteral("..."));
    C.BrowseFolder->setIcon(ButtonImage(TButtonImage::BrowseFolder));
    SetSourceToolTip(C.BrowseFolder, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "另外指定输出目录"));
    C.OpenFolder = Button<QToolButton>(&Client, "btnOpenFolder", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "打开目录"),
                                       {391, y, 26, 26}, ButtonImage(TButtonImage::OpenFolder));
    SetSourceToolTip(C.OpenFolder, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "打开目录"));
    for (QToolButton* button : {C.BrowseFolder, C.OpenFolder}) {
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setIconSize(QSize(16, 16));
    }
}

void BuildPreview(TMainWindowControls& C, QWidget& Client)
{
    C.PreviewGroup = Make<QGroupBox>(&Client, "grpPreview", {425, 6, 247, 310});
    SetSourceText(C.PreviewGroup, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "视频预览窗口"));
    QWidget* group = C.PreviewGroup;
    const int left = 13;
    const int width = 220;
    C.PreviewImage = Make<QLabel>(group, "imgPreview", {left, 24, width, 145});
    C.PreviewImage->setAlignment(Qt::AlignCenter);
    C.PreviewImage->setPixmap(PreviewPlaceholder(C.PreviewImage->size()));
    C.PreviewTrack = Make<TTrackBar>(group, "trcPreview", {left, 174, width, 26});
    C.PreviewTrack->setOrientation(Qt::Horizontal);
    C.PreviewTrack->setTickPosition(QSlider::TicksAbove);
    C.PreviewTrack->setRange(0, 0);
    C.PreviewTime = Make<QLabel>(group, "lblPTS", {left, 200, width, 18});
    C.PreviewTime->setText(QStringLiteral("--"));
    C.StartTime = Button<QPushButton>(group, "btnStartTime", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "起始位置"),
                                      {left, 222, 76, 24});
    C.StartTimeEdit = Edit(group, "edtStartTime", QStringLiteral("0"), 0, {left + 82, 222, width - 82, 24});
    C.EndTime = Button<QPushButton>(group, "btnEndTime", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "结束位置"),
                                    {left, 250, 76, 24});
    C.EndTimeEdit = Edit(group, "edtEndTime", QStringLiteral("0"), 0, {left + 82, 250, width - 82, 24});
    for (QLineEdit* edit : {C.StartTimeEdit, C.EndTimeEdit})
        edit->setReadOnly(true);
    C.CutClip = Make<QCheckBox>(group, "chkCutClip", {left, 280, 120, 22});
    SetSourceText(C.CutClip, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "是否裁剪"));
}

void BuildDriver(TMainWindowControls& C, QWidget& Client)
{
    C.DriverPanel = Make<QFrame>(&Client, "pnlDriver", {425, 324, 247, 118});
    QWidget* panel = C.DriverPanel;
    C.Start = Button<QToolButton>(panel, "btnStart", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "开始"),
                                  {9, 9, 118, 100}, ButtonImage(TButtonImage::Start));
    C.Start->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    C.Start->setIconSize(QSize(32, 32));
    C.Start->setCursor(Qt::PointingHandCursor);
    const int left = 135;
    const int width = 103;
    C.Pause = Button<QPushButton>(panel, "btnPause", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "暂停"),
                                  {left, 9, width, 30}, ButtonImage(TButtonImage::Pause));
    C.Resume = Button<QPushButton>(panel, "btnResume", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "继续"),
                                   {left, 44, width, 30}, ButtonImage(TButtonImage::Resume));
    C.Stop = Button<QPushButton>(panel, "btnStop", QT_TRANSLATE_NOOP("kv::app::TMainWindow", "停止"),
                                 {left, 79, width, 30}, ButtonImage(TButtonImage::Stop));
    for (QPushButton* button : {C.Pause, C.Resume, C.Stop}) {
        button->setIconSize(QSize(14, 14));
        button->setEnabled(false);
    }
    C.Shutdown = Make<QCheckBox>(&Client, "chkShutdown", {429, 452, 132, 26});
    SetSourceText(C.Shutdown, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "转换完成自动关机"));
    C.TasksAtOnceCaption = Caption(&Client, "lblTasksAtOnce", TasksAtOnceCaption, {563, 452, 54, 26});
    C.TasksAtOnce = Combo(&Client, "cmbTasksAtOnce", TasksAtOnceHint, {617, 453, 56, 24});
}

}  // namespace

TMainWindowControls BuildMainWindowControls(QWidget& Client)
{
    TMainWindowControls controls;
    BuildFileList(controls, Client);
    BuildOutputSettings(controls, Client);
    BuildPreview(controls, Client);
    BuildDriver(controls, Client);
    return controls;
}

void ShowInfoPanelOn(const TMainWindowControls& Controls, int Tab)
{
    if (Tab < 0 || Tab > 3)
        return;
    QWidget* page = Controls.TabPages[Tab];
    if (Controls.InfoPanel->parentWidget() != page) {
        const QRect geometry = Controls.InfoPanel->geometry();
        Controls.InfoPanel->setParent(page);
        Controls.InfoPanel->setGeometry(geometry);
        Controls.InfoPanel->show();
    }
    if (Tab == otCustom)
        Controls.CustomPanel->raise();
}

}  // namespace kv::app
