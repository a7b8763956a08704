#include "app/MainWindowLayout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>

namespace kv::app {

namespace {

// ---- Images -------------------------------------------------------------------------------------------

// Paints a square picture of the given size; the drawing uses a 16 x 16 grid.
QPixmap Paint(int Size, const std::function<void(QPainter&)>& Draw)
{
    QPixmap picture(Size, Size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(Size / 16.0, Size / 16.0);
    Draw(painter);
    return picture;
}

QIcon IconOf(const std::function<void(QPainter&)>& Draw, std::initializer_list<int> Sizes = {16, 32})
{
    QIcon icon;
    for (int size : Sizes)
        icon.addPixmap(Paint(size, Draw));
    return icon;
}

void Triangle(QPainter& P, QPointF A, QPointF B, QPointF C, const QColor& Colour)
{
    QPainterPath path;
    path.moveTo(A);
    path.lineTo(B);
    path.lineTo(C);
    path.closeSubpath();
    P.fillPath(path, Colour);
}

QColor Shade(const QColor& Colour, int Factor)
{
    return Factor >= 100 ? Colour.lighter(Factor) : Colour.darker(100 * 100 / Factor);
}

// A film frame: a rounded body, perforations down both sides and a play mark.
void FilmBadge(QPainter& P, const QColor& Colour)
{
    QLinearGradient fill(0, 1, 0, 15);
    fill.setColorAt(0, Shade(Colour, 125));
    fill.setColorAt(1, Colour);
    P.setPen(QPen(Shade(Colour, 70), 0.8));
    P.setBrush(fill);
    P.drawRoundedRect(QRectF(1.4, 2.4, 13.2, 11.2), 2.2, 2.2);
    P.setPen(Qt::NoPen);
    P.setBrush(QColor(255, 255, 255, 200));
    for (qreal y : {4.2, 7.2, 10.2}) {
        P.drawRect(QRectF(2.6, y, 1.4, 1.4));
        P.drawRect(QRectF(12.0, y, 1.4, 1.4));
    }
    Triangle(P, {6.2, 5.2}, {6.2, 10.8}, {10.6, 8.0}, Qt::white);
}

void ProfileSheet(QPainter& P)
{
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13.5, 5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    P.setPen(QPen(QColor(0x7a, 0x86, 0x94), 0.8));
    P.setBrush(QColor(0xfd, 0xfd, 0xfb));
    P.drawPath(page);
    P.setBrush(QColor(0xd9, 0xdf, 0xe6));
    QPainterPath fold;
    fold.moveTo(10, 1.5);
    fold.lineTo(10, 5);
    fold.lineTo(13.5, 5);
    fold.closeSubpath();
    P.drawPath(fold);
    P.setPen(QPen(QColor(0x3a, 0x7b, 0xd5), 1.1, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(5, 7.5), QPointF(11.5, 7.5));
    P.setPen(QPen(QColor(0xe0, 0x8a, 0x1e), 1.1, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(5, 10), QPointF(11.5, 10));
    P.setPen(QPen(QColor(0x9a, 0xa4, 0xae), 1.1, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(5, 12.5), QPointF(9.5, 12.5));
}

void Sliders(QPainter& P, const QColor& Colour)
{
    P.setPen(QPen(Colour, 1.3, Qt::SolidLine, Qt::RoundCap));
    for (qreal y : {3.5, 8.0, 12.5})
        P.drawLine(QPointF(2, y), QPointF(14, y));
    P.setPen(QPen(Shade(Colour, 70), 0.8));
    P.setBrush(Qt::white);
    P.drawEllipse(QPointF(10.5, 3.5), 1.9, 1.9);
    P.drawEllipse(QPointF(5.0, 8.0), 1.9, 1.9);
    P.drawEllipse(QPointF(8.5, 12.5), 1.9, 1.9);
}

void Phone(QPainter& P, const QColor& Colour)
{
    P.setPen(Qt::NoPen);
    P.setBrush(Colour);
    P.drawRoundedRect(QRectF(4, 1, 8, 14), 1.8, 1.8);
    P.setBrush(QColor(255, 255, 255, 230));
    P.drawRect(QRectF(5.2, 2.8, 5.6, 8.6));
    P.drawEllipse(QPointF(8, 13.1), 0.9, 0.9);
}

void FilmWithLens(QPainter& P, const QColor& Colour)
{
    P.setPen(QPen(Colour, 1.1));
    P.setBrush(Qt::NoBrush);
    P.drawRoundedRect(QRectF(1.5, 2, 10, 8.5), 1.5, 1.5);
    Triangle(P, {5.2, 4.2}, {5.2, 8.3}, {8.6, 6.25}, Colour);
    P.setPen(QPen(Shade(Colour, 80), 1.6, Qt::SolidLine, Qt::RoundCap));
    P.setBrush(QColor(255, 255, 255, 220));
    P.drawEllipse(QPointF(10.5, 10.5), 2.8, 2.8);
    P.drawLine(QPointF(12.6, 12.6), QPointF(14.8, 14.8));
}

void Pencil(QPainter& P, const QColor& Colour)
{
    P.save();
    P.translate(8, 8);
    P.rotate(-45);
    P.setPen(QPen(Shade(Colour, 70), 0.7));
    P.setBrush(Colour);
    P.drawRect(QRectF(-4.5, -1.8, 8.5, 3.6));
    P.setBrush(QColor(0xf2, 0xc1, 0x8c));
    QPainterPath tip;
    tip.moveTo(4, -1.8);
    tip.lineTo(7, 0);
    tip.lineTo(4, 1.8);
    tip.closeSubpath();
    P.drawPath(tip);
    P.setBrush(QColor(0xe5, 0x7a, 0x8a));
    P.drawRect(QRectF(-6.5, -1.8, 2, 3.6));
    P.restore();
}

void RoundSign(QPainter& P, const QColor& Colour, bool Plus)
{
    QLinearGradient fill(0, 1, 0, 15);
    fill.setColorAt(0, Shade(Colour, 130));
    fill.setColorAt(1, Colour);
    P.setPen(QPen(Shade(Colour, 75), 0.8));
    P.setBrush(fill);
    P.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    P.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(4.8, 8), QPointF(11.2, 8));
    if (Plus)
        P.drawLine(QPointF(8, 4.8), QPointF(8, 11.2));
}

void Bin(QPainter& P)
{
    const QColor colour(0x6d, 0x7b, 0x8a);
    P.setPen(QPen(colour, 1.2, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(QPointF(2.5, 4), QPointF(13.5, 4));
    P.drawLine(QPointF(6.5, 2.2), QPointF(9.5, 2.2));
    P.setBrush(QColor(0xe6, 0xea, 0xee));
    QPainterPath body;
    body.moveTo(4, 5.5);
    body.lineTo(12, 5.5);
    body.lineTo(11.2, 14.2);
    body.lineTo(4.8, 14.2);
    body.closeSubpath();
    P.drawPath(body);
    P.setPen(QPen(colour, 0.9, Qt::SolidLine, Qt::RoundCap));
    for (qreal x : {6.5, 8.0, 9.5})
        P.drawLine(QPointF(x, 7.5), QPointF(x, 12.5));
}

void Folder(QPainter& P, bool Open)
{
    const QColor back(0xd9, 0xa4, 0x3c);
    const QColor front(0xf6, 0xc8, 0x5f);
    P.setPen(QPen(back.darker(130), 0.7));
    P.setBrush(back);
    QPainterPath tab;
    tab.moveTo(1.5, 3.5);
    tab.lineTo(6, 3.5);
    tab.lineTo(7.5, 5);
    tab.lineTo(14.5, 5);
    tab.lineTo(14.5, 13.5);
    tab.lineTo(1.5, 13.5);
    tab.closeSubpath();
    P.drawPath(tab);
    P.setBrush(front);
    QPainterPath flap;
    if (Open) {
        flap.moveTo(3.5, 7);
        flap.lineTo(15.5, 7);
        flap.lineTo(13.5, 13.5);
        flap.lineTo(1.5, 13.5);
    } else {
        flap.moveTo(1.5, 6.5);
        flap.lineTo(14.5, 6.5);
        flap.lineTo(14.5, 13.5);
        flap.lineTo(1.5, 13.5);
    }
    flap.closeSubpath();
    P.drawPath(flap);
    if (!Open) {
        P.setPen(Qt::NoPen);
        P.setBrush(QColor(0x8a, 0x5a, 0x10));
        for (qreal x : {5.5, 8.0, 10.5})
            P.drawEllipse(QPointF(x, 10.2), 0.9, 0.9);
    } else {
        P.setPen(QPen(QColor(0x2f, 0x78, 0xc0), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        P.drawLine(QPointF(8.5, 11.5), QPointF(12.5, 1.8));
        P.drawLine(QPointF(12.5, 1.8), QPointF(9.6, 2.6));
        P.drawLine(QPointF(12.5, 1.8), QPointF(13.2, 4.8));
    }
}

void PlayMark(QPainter& P, const QColor& Colour)
{
    P.setPen(QPen(Colour, 1.2));
    P.setBrush(Qt::NoBrush);
    P.drawEllipse(QRectF(1.2, 1.2, 13.6, 13.6));
    Triangle(P, {6.3, 4.6}, {6.3, 11.4}, {11.6, 8.0}, Colour);
}

// The nine file types, one colour each.
const QColor FileTypeColours[9] = {
    QColor(0x3f, 0xa3, 0x4d), QColor(0xe6, 0x8f, 0x1c), QColor(0x3a, 0x7b, 0xd5),
    QColor(0x8e, 0x44, 0xad), QColor(0x1e, 0x9b, 0xb0), QColor(0xc0, 0x39, 0x2b),
    QColor(0x5d, 0x6d, 0x7e), QColor(0x7a, 0x9b, 0x2e), QColor(0xd8, 0x1b, 0x60),
};
const QColor TabColours[4] = {
    QColor(0xe0, 0x8a, 0x1e), QColor(0x3a, 0x7b, 0xd5), QColor(0x8e, 0x44, 0xad), QColor(0x2e, 0x9e, 0x5b)};
const QColor InactiveTab(0x8f, 0x96, 0x9e);

// ---- Controls ------------------------------------------------------------------------------------------

template <typename T>
T* Make(QWidget* Parent, const char* Name, QRect Geometry)
{
    auto* widget = new T(Parent);
    widget->setObjectName(QString::fromLatin1(Name));
    widget->setGeometry(Geometry);
    return widget;
}

QLabel* Caption(QWidget* Parent, const char* Name, const QString& Text, QRect Geometry)
{
    auto* label = Make<QLabel>(Parent, Name, Geometry);
    label->setText(Text);
    label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    return label;
}

template <typename T>
T* Button(QWidget* Parent, const char* Name, const QString& Text, QRect Geometry, const QIcon& Icon = {})
{
    auto* button = Make<T>(Parent, Name, Geometry);
    button->setText(Text);
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

QComboBox* Combo(QWidget* Parent, const char* Name, const QString& Hint, QRect Geometry)
{
    auto* combo = Make<QComboBox>(Parent, Name, Geometry);
    combo->setToolTip(Hint);
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
    C.FileList->setHeaderLabels({QStringLiteral("文件名"), QStringLiteral("类型"), QStringLiteral("分辨率"),
                                 QStringLiteral("时长"), QStringLiteral("进度")});
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
    const int widths[5] = {155, 52, 70, 60, 52};
    for (int column = 0; column < 5; ++column)
        C.FileList->setColumnWidth(column, widths[column]);

    const QString addHint = QStringLiteral("添加待转视频文件");
    C.AddPanel = Button<QPushButton>(&Client, "btnAddPanel", addHint, listArea, [] {
        QIcon icon;
        for (int size : {48, 96}) {
            icon.addPixmap(Paint(size, [](QPainter& p) {
                FilmBadge(p, QColor(0x4a, 0x7f, 0xb5));
                p.save();
                p.translate(7.2, 7.2);
                p.scale(0.55, 0.55);
                RoundSign(p, QColor(0x3f, 0xa3, 0x4d), true);
                p.restore();
            }));
        }
        return icon;
    }());
    C.AddPanel->setIconSize(QSize(48, 48));
    C.AddPanel->setToolTip(addHint);
    C.AddPanel->setCursor(Qt::PointingHandCursor);
    C.AddPanel->raise();

    const int y = 191;
    C.Add = Button<QToolButton>(&Client, "btnAdd", QStringLiteral("添加"), {6, y, 64, 24},
                                IconOf([](QPainter& p) { RoundSign(p, QColor(0x3f, 0xa3, 0x4d), true); }));
    C.Delete = Button<QToolButton>(&Client, "btnDelete", QStringLiteral("删除"), {74, y, 64, 24},
                                   IconOf([](QPainter& p) { RoundSign(p, QColor(0xd0, 0x4a, 0x3c), false); }));
    C.Clear = Button<QToolButton>(&Client, "btnClear", QStringLiteral("清空"), {142, y, 64, 24},
                                  IconOf([](QPainter& p) { Bin(p); }));
    for (QToolButton* button : {C.Add, C.Delete, C.Clear}) {
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIconSize(QSize(14, 14));
        button->hide();
    }
}

void BuildPresetAndDeviceTabs(TMainWindowControls& C)
{
    QWidget* preset = C.TabPages[otPreset];
    C.FileTypeCaption =
        Caption(preset, "lblFileType", QStringLiteral("文件类型:"), {RowLeft, 8, 72, RowHeight});
    C.FileType = Combo(preset, "cmbFileType", QStringLiteral("选择文件类型方案"),
                       {FieldLeft, 8, FieldWidth, RowHeight});
    C.PresetCaption = Caption(preset, "lblPreset", QStringLiteral("预置方案:"), {RowLeft, 38, 72, RowHeight});
    C.Preset = Combo(preset, "cmbPreset", QStringLiteral("选择预置方案"), {FieldLeft, 38, FieldWidth, RowHeight});

    // The device tab's combos sit where the preset tab's do, so both tabs look alike.
    QWidget* device = C.TabPages[otDevice];
    C.BrandCaption = Caption(device, "lblBrand", QStringLiteral("设备品牌:"), {RowLeft, 8, 72, RowHeight});
    C.Brand = Combo(device, "cmbBrand", QStringLiteral("选择设备类型"), {FieldLeft, 8, FieldWidth, RowHeight});
    C.ModelCaption = Caption(device, "lblModel", QStringLiteral("设备型号:"), {RowLeft, 38, 72, RowHeight});
    C.Model = Combo(device, "cmbModel", QStringLiteral("选择预置方案"), {FieldLeft, 38, FieldWidth, RowHeight});
}

void BuildInfoPanel(TMainWindowControls& C)
{
    C.InfoPanel = Make<QFrame>(C.TabPages[otPreset], "pnlInfo", {RowLeft, 72, 370, 80});
    const int half = 178;
    C.FrameSizeLabel = Caption(C.InfoPanel, "lblFrameSize", QStringLiteral("视频像素："), {10, 4, half, 22});
    C.VideoCodecLabel = Caption(C.InfoPanel, "lblVideoCodec", QStringLiteral("视频编码："), {10, 28, half, 22});
    C.AudioCodecLabel = Caption(C.InfoPanel, "lblAudioCodec", QStringLiteral("音频编码："), {10, 52, half, 22});
    C.VideoBitrateLabel =
        Caption(C.InfoPanel, "lblVideoBitrate", QStringLiteral("视频码率："), {192, 4, half - 10, 22});
    C.FrameRateLabel = Caption(C.InfoPanel, "lblFrameRate", QStringLiteral("帧速率："), {192, 28, half - 10, 22});
}

void BuildAnalysisTab(TMainWindowControls& C)
{
    QWidget* page = C.TabPages[otAnalysis];
    C.AnalysisText = Caption(page, "lblAnalysis",
                             QStringLiteral("       比如您不知该生成什么样的视频格式给自己的手机用，但手机里已经有一些"
                                            "可以播放的视频文件，OK,本软件可以提取并分析这些文件为您自动生成合适的方案。"),
                             {RowLeft, 2, 258, 68});
    C.AnalysisText->setWordWrap(true);
    C.AnalysisText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    C.Analyse = Button<QPushButton>(page, "btnAnalyse", QStringLiteral("分析视频文件"), {272, 20, 112, 32},
                                    IconOf([](QPainter& p) { FilmWithLens(p, TabColours[otAnalysis]); }));
}

void BuildCustomTab(TMainWindowControls& C)
{
    QWidget* page = C.TabPages[otCustom];
    C.ShowCustom = Button<QPushButton>(page, "btnShowCustom", QStringLiteral("自定义"), {RowLeft, 20, 100, 32},
                                       IconOf([](QPainter& p) { Pencil(p, TabColours[otCustom]); }));

    // When shown, the panel fills the page, whatever size the tab widget gives the page.
    C.CustomPanel = Make<QFrame>(page, "pnlCustom", {});
    auto* fill = new QGridLayout(page);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(C.CustomPanel, 0, 0);
    QWidget* panel = C.CustomPanel;
    C.CustomTypeCaption = Caption(panel, "lblCustomType", QStringLiteral("视频类型"), {RowLeft, 8, 72, RowHeight});
    C.CustomType = Combo(panel, "cmbCustomType", QStringLiteral("选择转换视频类型方案"),
                         {FieldLeft, 8, FieldWidth, RowHeight});
    C.CustomSizeCaption = Caption(panel, "lblCustomSize", QStringLiteral("视频尺寸"), {RowLeft, 40, 72, RowHeight});
    C.CustomWidth = Edit(panel, "edtCustomWidth", QStringLiteral("220"), 4, {FieldLeft, 40, 64, RowHeight});
    C.CustomTimes = Caption(panel, "lblCustomTimes", QStringLiteral("Ⅹ"), {FieldLeft + 64, 40, 24, RowHeight});
    C.CustomTimes->setAlignment(Qt::AlignCenter);
    C.CustomHeight = Edit(panel, "edtCustomHeight", QStringLiteral("176"), 4, {FieldLeft + 88, 40, 64, RowHeight});
    C.CustomBitrateCaption =
        Caption(panel, "lblCustomBitrate", QStringLiteral("视频比特率"), {RowLeft, 72, 72, RowHeight});
    C.CustomBitrate = Edit(panel, "edtCustomBitrate", QStringLiteral("38400"), 7, {FieldLeft, 72, 152, RowHeight});
    C.CustomFrameRateCaption =
        Caption(panel, "lblCustomFrameRate", QStringLiteral("帧速率"), {RowLeft, 104, 72, RowHeight});
    C.CustomFrameRate = Edit(panel, "edtCustomFrameRate", QStringLiteral("15"), 2, {FieldLeft, 104, 64, RowHeight});
    C.CustomPanel->hide();
}

void BuildOutputSettings(TMainWindowControls& C, QWidget& Client)
{
    C.OutputGroup = Make<QGroupBox>(&Client, "grpOutput", {4, 219, 413, 225});
    C.OutputGroup->setTitle(QStringLiteral("输出设置："));
    C.OutputTabs = Make<QTabWidget>(C.OutputGroup, "tabOutput", {5, 22, 403, 196});
    C.OutputTabs->setIconSize(QSize(16, 16));
    C.OutputTabs->setUsesScrollButtons(false);
    C.OutputTabs->setDocumentMode(false);
    const char* const names[4] = {"tabPreset", "tabDevice", "tabAnalysis", "tabCustom"};
    const QString captions[4] = {QStringLiteral("按预置方案"), QStringLiteral("按设备类型"),
                                 QStringLiteral("按已有视频"), QStringLiteral("自己定义")};
    for (int tab = 0; tab < 4; ++tab) {
        C.TabPages[tab] = new QWidget;
        C.TabPages[tab]->setObjectName(QString::fromLatin1(names[tab]));
        C.OutputTabs->addTab(C.TabPages[tab], TabImage(tab == 0 ? tab + 4 : tab), captions[tab]);
    }
    C.OutputTabs->setCurrentIndex(0);

    BuildPresetAndDeviceTabs(C);
    BuildInfoPanel(C);
    BuildAnalysisTab(C);
    BuildCustomTab(C);

    const int y = 452;
    C.OutputFolderCaption = Caption(&Client, "lblOutputFolder", QStringLiteral("输出目录："), {6, y, 66, 26});
    C.OutputFolder = Edit(&Client, "edtOutputFolder", {}, 0, {72, y, 288, 26});
    C.OutputFolder->setToolTip(QStringLiteral("视频输出目录"));
    C.BrowseFolder = Button<QToolButton>(&Client, "btnBrowseFolder", QStringLiteral("..."), {362, y, 26, 26},
                                         IconOf([](QPainter& p) { Folder(p, false); }));
    C.BrowseFolder->setToolTip(QStringLiteral("另外指定输出目录"));
    C.OpenFolder = Button<QToolButton>(&Client, "btnOpenFolder", QStringLiteral("打开目录"), {391, y, 26, 26},
                                       IconOf([](QPainter& p) { Folder(p, true); }));
    C.OpenFolder->setToolTip(QStringLiteral("打开目录"));
    for (QToolButton* button : {C.BrowseFolder, C.OpenFolder}) {
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setIconSize(QSize(16, 16));
    }
}

void BuildPreview(TMainWindowControls& C, QWidget& Client)
{
    C.PreviewGroup = Make<QGroupBox>(&Client, "grpPreview", {425, 6, 247, 310});
    C.PreviewGroup->setTitle(QStringLiteral("视频预览窗口"));
    QWidget* group = C.PreviewGroup;
    const int left = 13;
    const int width = 220;
    C.PreviewImage = Make<QLabel>(group, "imgPreview", {left, 24, width, 145});
    C.PreviewImage->setAlignment(Qt::AlignCenter);
    C.PreviewImage->setPixmap(PreviewPlaceholder(C.PreviewImage->size()));
    C.PreviewTrack = Make<QSlider>(group, "trcPreview", {left, 174, width, 26});
    C.PreviewTrack->setOrientation(Qt::Horizontal);
    C.PreviewTrack->setTickPosition(QSlider::TicksAbove);
    C.PreviewTrack->setRange(0, 0);
    C.PreviewTime = Caption(group, "lblPTS", QStringLiteral("--"), {left, 200, width, 18});
    C.StartTime = Button<QPushButton>(group, "btnStartTime", QStringLiteral("起始位置"), {left, 222, 76, 24});
    C.StartTimeEdit = Edit(group, "edtStartTime", QStringLiteral("0"), 0, {left + 82, 222, width - 82, 24});
    C.EndTime = Button<QPushButton>(group, "btnEndTime", QStringLiteral("结束位置"), {left, 250, 76, 24});
    C.EndTimeEdit = Edit(group, "edtEndTime", QStringLiteral("0"), 0, {left + 82, 250, width - 82, 24});
    for (QLineEdit* edit : {C.StartTimeEdit, C.EndTimeEdit})
        edit->setReadOnly(true);
    C.CutClip = Make<QCheckBox>(group, "chkCutClip", {left, 280, 120, 22});
    C.CutClip->setText(QStringLiteral("是否裁剪"));
}

void BuildDriver(TMainWindowControls& C, QWidget& Client)
{
    C.DriverPanel = Make<QFrame>(&Client, "pnlDriver", {425, 324, 247, 118});
    QWidget* panel = C.DriverPanel;
    C.Start = Button<QToolButton>(panel, "btnStart", QStringLiteral("开始"), {9, 9, 118, 100},
                                  IconOf([](QPainter& p) { PlayMark(p, Qt::white); }, {32, 64}));
    C.Start->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    C.Start->setIconSize(QSize(32, 32));
    C.Start->setCursor(Qt::PointingHandCursor);
    const int left = 135;
    const int width = 103;
    C.Pause = Button<QPushButton>(panel, "btnPause", QStringLiteral("暂停"), {left, 9, width, 30},
                                  IconOf([](QPainter& p) {
                                      p.setPen(Qt::NoPen);
                                      p.setBrush(QColor(0x3a, 0x7b, 0xd5));
                                      p.drawRoundedRect(QRectF(3.5, 2.5, 3.2, 11), 1, 1);
                                      p.drawRoundedRect(QRectF(9.3, 2.5, 3.2, 11), 1, 1);
                                  }));
    C.Resume = Button<QPushButton>(panel, "btnResume", QStringLiteral("继续"), {left, 44, width, 30},
                                   IconOf([](QPainter& p) {
                                       Triangle(p, {4, 2.5}, {4, 13.5}, {13, 8}, QColor(0x3f, 0xa3, 0x4d));
                                   }));
    C.Stop = Button<QPushButton>(panel, "btnStop", QStringLiteral("停止"), {left, 79, width, 30},
                                 IconOf([](QPainter& p) {
                                     p.setPen(Qt::NoPen);
                                     p.setBrush(QColor(0xd0, 0x4a, 0x3c));
                                     p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
                                 }));
    for (QPushButton* button : {C.Pause, C.Resume, C.Stop}) {
        button->setIconSize(QSize(14, 14));
        button->setEnabled(false);
    }
    C.Shutdown = Make<QCheckBox>(&Client, "chkShutdown", {429, 452, 240, 26});
    C.Shutdown->setText(QStringLiteral("转换完成自动关机"));
}

}  // namespace

QIcon SmallImage(int Index)
{
    if (Index >= 0 && Index < 9) {
        const QColor colour = FileTypeColours[Index];
        return IconOf([colour](QPainter& p) { FilmBadge(p, colour); });
    }
    return IconOf([](QPainter& p) { ProfileSheet(p); });
}

QIcon TabImage(int Index)
{
    const int tab = Index % 4;
    const QColor colour = Index >= 4 ? TabColours[tab] : InactiveTab;
    switch (tab) {
    case otPreset:
        return IconOf([colour](QPainter& p) { Sliders(p, colour); });
    case otDevice:
        return IconOf([colour](QPainter& p) { Phone(p, colour); });
    case otAnalysis:
        return IconOf([colour](QPainter& p) { FilmWithLens(p, colour); });
    default:
        return IconOf([colour](QPainter& p) { Pencil(p, colour); });
    }
}

QPixmap PreviewPlaceholder(QSize Size)
{
    QPixmap picture(Size);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    // The preview's background colour, with a soft light from above.
    const QColor background(166, 202, 240);
    QLinearGradient fill(0, 0, 0, Size.height());
    fill.setColorAt(0, background.lighter(112));
    fill.setColorAt(1, background);
    p.fillRect(picture.rect(), fill);
    const QPointF centre(Size.width() / 2.0, Size.height() / 2.0 - 8);
    p.setPen(QPen(QColor(255, 255, 255, 210), 2.5));
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawEllipse(centre, 26, 26);
    QPainterPath play;
    play.moveTo(centre + QPointF(-8, -13));
    play.lineTo(centre + QPointF(-8, 13));
    play.lineTo(centre + QPointF(14, 0));
    play.closeSubpath();
    p.fillPath(play, QColor(255, 255, 255, 225));
    p.setPen(QColor(255, 255, 255, 235));
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    p.drawText(QRectF(0, centre.y() + 32, Size.width(), 20), Qt::AlignCenter, QStringLiteral("视频预览"));
    return picture;
}

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
