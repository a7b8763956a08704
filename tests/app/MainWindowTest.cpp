// The main window on the offscreen platform: every control where it belongs, captioned and hinted, nothing
// clipped or overlapping, Chinese text in a font that has its characters; the skins; the menu, the About
// dialog and the message boxes. Each skin's window is grabbed to screenshots/main-<skin>.png for a person
// to look at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRawFont>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <set>

#include "WindowLogicSupport.h"
#include "app/AboutDialog.h"
#include "app/MainWindow.h"
#include "app/QtPorts.h"
#include "app/Skins.h"
#include "Screenshot.h"

using kv::app::TMainWindow;

using kvtest::SaveScreenshot;

namespace {

using kv::app::TMainWindowControls;

// The desktop stand-in, also keeping the web addresses it was asked to open.
class TRecorder : public kvtest::TDesktopRecorder {
public:
    QStringList Urls;
    bool OpenUrl(const QString& Url) override
    {
        Urls << Url;
        return true;
    }
};

// A program folder with the shipped profiles and a config.ini naming the skin.
class TProgram {
public:
    explicit TProgram(const QString& Skin)
    {
        EXPECT_TRUE(m_root.isValid());
        QDir().mkpath(Program());
        EXPECT_TRUE(QFile::link(QStringLiteral(KELVANE_PROFILES_DIR), Program() + QStringLiteral("profiles")));
        QFile config(Program() + QStringLiteral("config.ini"));
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("[skin]\nname=%1\n").arg(Skin).toUtf8());
    }
    QString Program() const { return m_root.path() + QStringLiteral("/program/"); }
    kv::app::TWindowPaths Paths() const
    {
        kv::app::TWindowPaths paths;
        paths.ProgramFolder = Program();
        paths.ConfigHome = m_root.path() + QStringLiteral("/config");
        paths.VideosFolder = m_root.path() + QStringLiteral("/videos");
        return paths;
    }
    QString Setting(const QString& Section, const QString& Key) const
    {
        return QString::fromStdString(kv::presets::TIniFile((Program() + QStringLiteral("config.ini")).toStdString())
                                          .ReadString(Section.toStdString(), Key.toStdString(), ""));
    }

private:
    QTemporaryDir m_root;
};

// The look the program gives the application before it makes its window.
int InstallLook()
{
    static const int installed = [] {
        kv::app::InstallApplicationLook(*qApp);
        return 1;
    }();
    return installed;
}

// A shown window in its own program folder.
struct TShownWindow {
    explicit TShownWindow(const QString& Skin) : Program(Skin), Window(Program.Paths(), Recorder.Ports())
    {
        Window.show();
        QApplication::processEvents();
    }
    int Look = InstallLook();
    TRecorder Recorder;
    TProgram Program;
    TMainWindow Window;
};

// The text a control shows, when it shows one.
QString TextOf(const QWidget* Widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(Widget))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(Widget))
        return button->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(Widget))
        return group->title();
    if (const auto* edit = qobject_cast<const QLineEdit*>(Widget))
        return edit->text();
    return {};
}

bool HasChinese(const QString& Text)
{
    for (QChar c : Text) {
        if (c.unicode() >= 0x2000)
            return true;
    }
    return false;
}

// Every character the font has to draw is in it (no boxes in place of Chinese).
void ExpectFontDraws(const QFont& Font, const QString& Text, const QString& Where)
{
    const QFontInfo info(Font);
    EXPECT_TRUE(QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::SimplifiedChinese))
        << Where.toStdString() << ": " << info.family().toStdString();
    const QRawFont raw = QRawFont::fromFont(Font, QFontDatabase::SimplifiedChinese);
    for (QChar c : Text) {
        if (!c.isSpace()) {
            EXPECT_TRUE(raw.supportsCharacter(c))
                << Where.toStdString() << ": no glyph for " << QString(c).toStdString();
        }
    }
}

// The space a control needs for what it shows fits the space it has.
void ExpectNotClipped(const QWidget* Widget)
{
    const std::string name = Widget->objectName().toStdString();
    const QSize size = Widget->size();
    if (const auto* label = qobject_cast<const QLabel*>(Widget); label && label->wordWrap()) {
        EXPECT_LE(label->heightForWidth(size.width()), size.height()) << name << " cuts its last lines";
        return;
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(Widget)) {
        EXPECT_LE(edit->sizeHint().height(), size.height()) << name;
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()) + 12, size.width()) << name;
        return;
    }
    if (const auto* tabs = qobject_cast<const QTabWidget*>(Widget)) {
        EXPECT_LE(tabs->tabBar()->sizeHint().width(), size.width()) << name << ": the tabs do not fit";
        const QTabBar* bar = tabs->tabBar();
        for (int i = 0; i < tabs->count(); ++i) {
            const int needed = bar->fontMetrics().horizontalAdvance(tabs->tabText(i)) + tabs->iconSize().width() + 8;
            EXPECT_GE(bar->tabRect(i).width(), needed) << name << " tab " << i;
        }
        return;
    }
    if (qobject_cast<const QLabel*>(Widget) || qobject_cast<const QAbstractButton*>(Widget) ||
        qobject_cast<const QComboBox*>(Widget) || qobject_cast<const QGroupBox*>(Widget)) {
        const QSize hint = Widget->sizeHint();
        EXPECT_LE(hint.width(), size.width()) << name << " \"" << TextOf(Widget).toStdString() << "\"";
        EXPECT_LE(hint.height(), size.height()) << name;
    }
}

// Controls with one parent do not overlap, apart from the pairs given.
void ExpectNoOverlaps(const QList<QWidget*>& Siblings, const std::set<std::pair<QString, QString>>& Allowed = {})
{
    for (int i = 0; i < Siblings.size(); ++i) {
        for (int j = i + 1; j < Siblings.size(); ++j) {
            const QWidget* a = Siblings[i];
            const QWidget* b = Siblings[j];
            if (Allowed.count({a->objectName(), b->objectName()}) || Allowed.count({b->objectName(), a->objectName()}))
                continue;
            EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                << a->objectName().toStdString() << " overlaps " << b->objectName().toStdString();
        }
    }
}

// The title of a group box takes the top of the box: its controls start below it.
void ExpectBelowTitle(const QGroupBox* Group)
{
    const int titleBottom = Group->fontMetrics().height() + 2;
    for (const QWidget* child : Group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_GE(child->y(), titleBottom) << child->objectName().toStdString() << " under the title";
}

struct TExpectedControl {
    const char* Name;
    const char* Text;  // nullptr: not checked
    const char* Hint;  // nullptr: none
};

const TExpectedControl ExpectedControls[] = {
    {"lstFiles", nullptr, nullptr},
    {"btnAddPanel", "添加待转视频文件", "添加待转视频文件"},
    {"btnAdd", "添加", nullptr},
    {"btnDelete", "删除", nullptr},
    {"btnClear", "清空", nullptr},
    {"grpOutput", "输出设置：", nullptr},
    {"tabOutput", nullptr, nullptr},
    {"lblFileType", "文件类型:", nullptr},
    {"cmbFileType", nullptr, "选择文件类型方案"},
    {"lblPreset", "预置方案:", nullptr},
    {"cmbPreset", nullptr, "选择预置方案"},
    {"lblBrand", "设备品牌:", nullptr},
    {"cmbBrand", nullptr, "选择设备类型"},
    {"lblModel", "设备型号:", nullptr},
    {"cmbModel", nullptr, "选择预置方案"},
    {"pnlInfo", nullptr, nullptr},
    {"lblFrameSize", nullptr, nullptr},
    {"lblVideoCodec", nullptr, nullptr},
    {"lblVideoBitrate", nullptr, nullptr},
    {"lblFrameRate", nullptr, nullptr},
    {"lblAudioCodec", nullptr, nullptr},
    {"lblAnalysis",
     "       比如您不知该生成什么样的视频格式给自己的手机用，但手机里已经有一些可以播放的视频文件，OK,本软件可以提取并分析这些文件为您自动生成合适的方案。",
     nullptr},
    {"btnAnalyse", "分析视频文件", nullptr},
    {"btnShowCustom", "自定义", nullptr},
    {"pnlCustom", nullptr, nullptr},
    {"lblCustomType", "视频类型", nullptr},
    {"cmbCustomType", nullptr, "选择转换视频类型方案"},
    {"lblCustomSize", "视频尺寸", nullptr},
    {"edtCustomWidth", "220", nullptr},
    {"lblCustomTimes", "Ⅹ", nullptr},
    {"edtCustomHeight", "176", nullptr},
    {"lblCustomBitrate", "视频比特率", nullptr},
    {"edtCustomBitrate", "38400", nullptr},
    {"lblCustomFrameRate", "帧速率", nullptr},
    {"edtCustomFrameRate", "15", nullptr},
    {"lblOutputFolder", "输出目录：", nullptr},
    {"edtOutputFolder", nullptr, "视频输出目录"},
    {"btnBrowseFolder", nullptr, "另外指定输出目录"},
    {"btnOpenFolder", nullptr, "打开目录"},
    {"grpPreview", "视频预览窗口", nullptr},
    {"imgPreview", nullptr, nullptr},
    {"trcPreview", nullptr, nullptr},
    {"lblPTS", "--", nullptr},
    {"btnStartTime", "起始位置", nullptr},
    {"edtStartTime", "0", nullptr},
    {"btnEndTime", "结束位置", nullptr},
    {"edtEndTime", "0", nullptr},
    {"chkCutClip", "是否裁剪", nullptr},
    {"pnlDriver", nullptr, nullptr},
    {"btnStart", "开始", nullptr},
    {"btnPause", "暂停", nullptr},
    {"btnResume", "继续", nullptr},
    {"btnStop", "停止", nullptr},
    {"chkShutdown", "转换完成自动关机", nullptr},
    {"lblTasksAtOnce", "同时转换", nullptr},
    {"cmbTasksAtOnce", nullptr, "同时转换的视频个数"},
};

QWidget* Control(const TMainWindow& Window, const char* Name)
{
    return Window.ClientArea()->findChild<QWidget*>(QString::fromLatin1(Name));
}

// The controls of the table that are direct children of Parent and would be seen with it.
QList<QWidget*> TableChildren(const TMainWindow& Window, const QWidget* Parent)
{
    QList<QWidget*> children;
    for (const TExpectedControl& expected : ExpectedControls) {
        QWidget* widget = Control(Window, expected.Name);
        if (widget && widget->parentWidget() == Parent && !widget->isHidden())
            children << widget;
    }
    return children;
}

// What a person sees of one page of the window: every shown control inside the client area and its parent,
// not clipped, not overlapping its neighbours.
void ExpectPageSound(const TMainWindow& Window)
{
    const QWidget* client = Window.ClientArea();
    std::set<const QWidget*> parents;
    for (const TExpectedControl& expected : ExpectedControls) {
        QWidget* widget = Control(Window, expected.Name);
        if (!widget || !widget->isVisible())
            continue;
        const QRect inClient(widget->mapTo(client, QPoint(0, 0)), widget->size());
        EXPECT_TRUE(client->rect().contains(inClient)) << expected.Name << " outside the client area";
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()))
            << expected.Name << " cut by its parent";
        ExpectNotClipped(widget);
        parents.insert(widget->parentWidget());
    }
    for (const QWidget* parent : parents)
        ExpectNoOverlaps(TableChildren(Window, parent),
                         {{"btnAddPanel", "lstFiles"},  // the add panel covers the empty list
                          {"pnlCustom", "pnlInfo"},     // the custom panel covers its tab
                          {"pnlCustom", "btnShowCustom"}});
}

// Runs Answer on the next modal window the code under test opens (a message box or a dialog).
void OnNextModal(std::function<void(QWidget*)> Answer)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, Answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            Answer(modal);
        }
    });
    timer->start();
}

class MainWindowSkinTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MainWindowSkinTest, EveryControlIsInPlaceCaptionedAndReadable)
{
    const QString skin = QString::fromLatin1(GetParam());
    TShownWindow shown(skin);
    TMainWindow& window = shown.Window;
    const TMainWindowControls& c = window.Controls();
    // The default output folder lies under the test's temporary folder, whose random name makes the text
    // wider or narrower from run to run: the edit is checked with the default folder of a typical user.
    c.OutputFolder->setText(QStringLiteral("/home/kelvane/视频/输出视频"));

    EXPECT_EQ(window.ClientArea()->size(), kv::app::ClientAreaSize);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kelvane V1.3"));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window is not of fixed size";

    for (const TExpectedControl& expected : ExpectedControls) {
        QWidget* widget = Control(window, expected.Name);
        ASSERT_NE(widget, nullptr) << expected.Name;
        if (expected.Text) {
            EXPECT_EQ(TextOf(widget), QString::fromUtf8(expected.Text)) << expected.Name;
        }
        EXPECT_EQ(widget->toolTip(), expected.Hint ? QString::fromUtf8(expected.Hint) : QString()) << expected.Name;
        const QString text = TextOf(widget);
        if (HasChinese(text)) {
            ExpectFontDraws(widget->font(), text, QString::fromLatin1(expected.Name));
        }
    }
    const QStringList columns{QStringLiteral("文件名"), QStringLiteral("类型"), QStringLiteral("分辨率"),
                              QStringLiteral("时长"), QStringLiteral("进度")};
    ASSERT_EQ(c.FileList->columnCount(), columns.size());
    for (int column = 0; column < columns.size(); ++column) {
        EXPECT_EQ(c.FileList->headerItem()->text(column), columns[column]);
        EXPECT_GE(c.FileList->columnWidth(column), c.FileList->header()->sectionSizeHint(column)) << column;
    }
    EXPECT_LE(c.FileList->header()->length(), c.FileList->viewport()->width()) << "the columns run past the list";
    const QStringList tabs{QStringLiteral("按预置方案"), QStringLiteral("按设备类型"), QStringLiteral("按已有视频"),
                           QStringLiteral("自己定义")};
    ASSERT_EQ(c.OutputTabs->count(), tabs.size());
    for (int tab = 0; tab < tabs.size(); ++tab) {
        EXPECT_EQ(c.OutputTabs->tabText(tab), tabs[tab]);
        ExpectFontDraws(c.OutputTabs->tabBar()->font(), tabs[tab], tabs[tab]);
    }
    for (QComboBox* combo : {c.FileType, c.CustomType}) {
        for (int i = 0; i < combo->count(); ++i)
            ExpectFontDraws(combo->font(), combo->itemText(i), combo->objectName());
    }
    EXPECT_TRUE(c.AddPanel->isVisible()) << "the empty list is covered by the add panel";
    EXPECT_TRUE(c.Start->isEnabled());
    for (QWidget* idle :
         {static_cast<QWidget*>(c.Pause), static_cast<QWidget*>(c.Resume), static_cast<QWidget*>(c.Stop)})
        EXPECT_FALSE(idle->isEnabled()) << idle->objectName().toStdString();
    for (QWidget* hidden : {c.Add, c.Delete, c.Clear})
        EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();

    // As the window opens, then on each output tab, and with the custom panel shown.
    ExpectPageSound(window);
    ExpectBelowTitle(c.OutputGroup);
    ExpectBelowTitle(c.PreviewGroup);
    SaveScreenshot(window, QStringLiteral("main-") + skin);
    for (int tab = 1; tab < c.OutputTabs->count(); ++tab) {
        c.OutputTabs->setCurrentIndex(tab);
        QApplication::processEvents();
        SCOPED_TRACE(tabs[tab].toStdString());
        ExpectPageSound(window);
    }
    c.ShowCustom->click();
    QApplication::processEvents();
    ASSERT_TRUE(c.CustomPanel->isVisible());
    EXPECT_EQ(c.CustomPanel->geometry(), c.TabPages[kv::app::otCustom]->rect()) << "the panel fills its tab";
    ExpectPageSound(window);
    SaveScreenshot(window, QStringLiteral("main-") + skin + QStringLiteral("-custom"));
    c.OutputTabs->setCurrentIndex(kv::app::otPreset);
    QApplication::processEvents();

    // The labels have room for what every shipped preset and device model puts in them.
    const QLabel* labels[] = {c.FrameSizeLabel, c.VideoCodecLabel, c.VideoBitrateLabel, c.FrameRateLabel,
                              c.AudioCodecLabel};
    auto expectLabelsFit = [&](const QString& Choice) {
        for (const QLabel* label : labels) {
            EXPECT_LE(label->sizeHint().width(), label->width())
                << Choice.toStdString() << ": " << label->text().toStdString();
            ExpectFontDraws(label->font(), label->text(), label->objectName());
        }
    };
    ASSERT_EQ(c.FileType->count(), 11);
    EXPECT_EQ(c.CustomType->count(), 9) << "the custom tab makes only the nine classic types";
    for (int type = 0; type < c.FileType->count(); ++type) {
        Q_EMIT c.FileType->activated(type);
        ExpectNotClipped(c.FileType);
        ExpectNotClipped(c.Preset);
        for (int preset = 0; preset < c.Preset->count(); ++preset) {
            Q_EMIT c.Preset->activated(preset);
            expectLabelsFit(c.FileType->itemText(type) + QStringLiteral(" / ") + c.Preset->itemText(preset));
        }
    }
    // A type of today's players, with its quality shown where the others show a bitrate.
    Q_EMIT c.FileType->activated(9);
    Q_EMIT c.Preset->activated(1);
    QApplication::processEvents();
    EXPECT_EQ(c.VideoBitrateLabel->text(), QStringLiteral("视频码率：CRF 23"));
    SaveScreenshot(window, QStringLiteral("main-") + skin + QStringLiteral("-h264"));
    c.OutputTabs->setCurrentIndex(kv::app::otDevice);
    ExpectNotClipped(c.Brand);
    EXPECT_GT(c.Brand->count(), 0) << "the shipped brands are listed";
    for (int brand = 0; brand < c.Brand->count(); ++brand) {
        Q_EMIT c.Brand->activated(brand);
        ExpectNotClipped(c.Model);
        for (int model = 0; model < c.Model->count(); ++model) {
            Q_EMIT c.Model->activated(model);
            expectLabelsFit(c.Brand->itemText(brand) + QStringLiteral(" / ") + c.Model->itemText(model));
        }
    }
    SaveScreenshot(window, QStringLiteral("main-") + skin + QStringLiteral("-device"));

    // The About dialog in the same skin.
    kv::app::TAboutDialog about(&window, window.Skin(), shown.Recorder);
    about.show();
    QApplication::processEvents();
    for (QWidget* widget : about.findChildren<QWidget*>()) {
        EXPECT_TRUE(about.rect().contains(widget->geometry())) << widget->objectName().toStdString();
        ExpectNotClipped(widget);
        if (HasChinese(TextOf(widget))) {
            ExpectFontDraws(widget->font(), TextOf(widget), widget->objectName());
        }
    }
    SaveScreenshot(about, QStringLiteral("about-") + skin);
}

INSTANTIATE_TEST_SUITE_P(Skins, MainWindowSkinTest, ::testing::Values("Topaz", "Topaz2", "WLM"));

TEST(MainWindowTest, TheSkinNamedInTheSettingsIsApplied)
{
    struct TCase {
        const char* Configured;
        int Saturation;
        int HueOffset;
        bool OwnAddFont;
    };
    const TCase cases[] = {
        {"Topaz", 100, 360, true},
        {"WLM", 33, 0, false},
        {"Topaz2", 0, 0, false},
        {"Obsidian", 0, 0, false},  // not a skin of ours: the plain adjustment and the Topaz2 look
    };
    QMap<QString, QString> sheets;
    for (const TCase& test : cases) {
        TShownWindow shown(QString::fromLatin1(test.Configured));
        const TMainWindow& window = shown.Window;
        SCOPED_TRACE(test.Configured);
        EXPECT_EQ(window.Skin().Adjustment.Saturation, test.Saturation);
        EXPECT_EQ(window.Skin().Adjustment.HueOffset, test.HueOffset);
        EXPECT_EQ(window.styleSheet(), window.Skin().StyleSheet);
        const QFont addFont = window.Controls().AddPanel->font();
        const QFont windowFont = window.Controls().FileList->font();
        EXPECT_EQ(addFont != windowFont, test.OwnAddFont) << addFont.toString().toStdString();
        sheets[QString::fromLatin1(test.Configured)] = window.styleSheet();
    }
    EXPECT_FALSE(QImage(QStringLiteral(":/skin/arrow-down.png")).isNull()) << "the skins' images are built in";
    EXPECT_NE(sheets["Topaz"], sheets["WLM"]);
    EXPECT_NE(sheets["Topaz"], sheets["Topaz2"]);
    EXPECT_NE(sheets["WLM"], sheets["Topaz2"]);
}

TEST(MainWindowTest, ColourAdjustmentsTurnTheHueAndScaleTheSaturation)
{
    struct TCase {
        QColor Base;
        kv::app::TColourAdjustment Adjustment;
        int Hue;
        int Saturation;
    };
    const QColor red = QColor::fromHsv(0, 120, 200);
    const QColor grey = QColor::fromHsv(-1, 0, 128);
    const TCase cases[] = {
        {red, {0, 0}, 0, 120},      {red, {0, 360}, 0, 120},                             // a full turn
        {red, {0, 120}, 120, 120},                                                       // red to green
        {red, {0, -120}, 240, 120},                                                      // backwards to blue
        {red, {100, 0}, 0, 240},                                                         // twice the saturation
        {red, {100, 360}, 0, 240},  {QColor::fromHsv(30, 200, 200), {100, 0}, 30, 255},  // no more than full
        {red, {33, 0}, 0, 159},     {red, {-100, 0}, 0, 0},                              // grey
        {grey, {100, 180}, 0, 0},                                                        // grey stays grey
    };
    for (const TCase& test : cases) {
        const QColor adjusted = kv::app::AdjustedColour(test.Base, test.Adjustment);
        SCOPED_TRACE(test.Base.name().toStdString() + " " + std::to_string(test.Adjustment.Saturation) + "/" +
                     std::to_string(test.Adjustment.HueOffset));
        if (test.Saturation > 0) {  // grey has no hue
            EXPECT_EQ(adjusted.hsvHue(), test.Hue);
        }
        EXPECT_EQ(adjusted.hsvSaturation(), test.Saturation);
        EXPECT_EQ(adjusted.value(), test.Base.value());
    }
}

TEST(MainWindowTest, TabsCarryTheInformationLabelsAndTheirIconsShowTheActiveTab)
{
    TShownWindow shown(QStringLiteral("Topaz"));
    const TMainWindowControls& c = shown.Window.Controls();
    for (int tab : {1, 2, 3, 0, 2}) {
        SCOPED_TRACE(tab);
        c.OutputTabs->setCurrentIndex(tab);  // as a click on the tab does
        QApplication::processEvents();
        EXPECT_EQ(shown.Program.Setting(QStringLiteral("select"), QStringLiteral("tabindex")), QString::number(tab));
        EXPECT_EQ(c.InfoPanel->parentWidget(), c.TabPages[tab]);
        EXPECT_TRUE(c.InfoPanel->isVisible());
        for (int other = 0; other < 4; ++other) {
            const int image = other == tab ? other + 4 : other;
            EXPECT_EQ(c.OutputTabs->tabIcon(other).pixmap(16).toImage(), kv::app::TabImage(image).pixmap(16).toImage())
                << "tab " << other;
        }
    }
}

TEST(MainWindowTest, TheCustomPanelTakesDigitsWithinEachEditsLength)
{
    TShownWindow shown(QStringLiteral("WLM"));
    const TMainWindowControls& c = shown.Window.Controls();
    c.OutputTabs->setCurrentIndex(kv::app::otCustom);
    EXPECT_FALSE(c.CustomPanel->isVisible());
    c.ShowCustom->click();
    QApplication::processEvents();
    ASSERT_TRUE(c.CustomPanel->isVisible());

    auto type = [](QLineEdit* Edit, Qt::Key Key, const QString& Text) {
        Edit->setFocus();
        Edit->end(false);
        QKeyEvent press(QEvent::KeyPress, Key, Qt::NoModifier, Text);
        QApplication::sendEvent(Edit, &press);
    };
    struct TCase {
        QLineEdit* Edit;
        Qt::Key Key;
        const char* Typed;
        const char* Expected;
        int Beeps;
    };
    const TCase cases[] = {
        {c.CustomWidth, Qt::Key_A, "a", "220", 1},  // a letter beeps and is dropped
        {c.CustomWidth, Qt::Key_Period, ".", "220", 1},
        {c.CustomWidth, Qt::Key_7, "7", "2207", 0},
        {c.CustomWidth, Qt::Key_1, "1", "2207", 0},  // four digits at most
        {c.CustomWidth, Qt::Key_Backspace, "\b", "220", 0},
        {c.CustomFrameRate, Qt::Key_9, "9", "15", 0},  // two digits at most
        {c.CustomBitrate, Qt::Key_0, "0", "384000", 0},
        {c.CustomBitrate, Qt::Key_0, "0", "3840000", 0},
        {c.CustomBitrate, Qt::Key_0, "0", "3840000", 0},  // seven
        {c.CustomHeight, Qt::Key_Minus, "-", "176", 1},
    };
    for (const TCase& test : cases) {
        const int beeps = shown.Recorder.Beeps;
        type(test.Edit, test.Key, QString::fromLatin1(test.Typed));
        EXPECT_EQ(test.Edit->text(), QString::fromLatin1(test.Expected)) << test.Edit->objectName().toStdString();
        EXPECT_EQ(shown.Recorder.Beeps - beeps, test.Beeps)
            << test.Edit->objectName().toStdString() << " " << test.Typed;
    }

    // Another tab and back: the panel has to be asked for again.
    c.OutputTabs->setCurrentIndex(kv::app::otPreset);
    c.OutputTabs->setCurrentIndex(kv::app::otCustom);
    QApplication::processEvents();
    EXPECT_FALSE(c.CustomPanel->isVisible());
}

TEST(MainWindowTest, MenuExitsAndShowsTheAboutDialog)
{
    TShownWindow shown(QStringLiteral("Topaz"));
    TMainWindow& window = shown.Window;
    ASSERT_EQ(window.FileMenu()->title(), QStringLiteral("文件"));
    ASSERT_EQ(window.FileMenu()->actions().size(), 1);
    EXPECT_EQ(window.FileMenu()->actions()[0]->text(), QStringLiteral("退出"));
    ASSERT_EQ(window.HelpMenu()->actions().size(), 1);
    EXPECT_EQ(window.HelpMenu()->actions()[0]->text(), QStringLiteral("关于"));
    EXPECT_EQ(window.SkinMenu()->title(), QStringLiteral("换皮肤"));
    EXPECT_FALSE(window.SkinMenu()->menuAction()->isVisible());
    EXPECT_TRUE(window.SkinMenu()->actions().isEmpty());
    for (QAction* menu : window.menuBar()->actions()) {
        if (menu->isVisible()) {
            ExpectFontDraws(window.menuBar()->font(), menu->text(), menu->text());
        }
    }

    // About: captioned, fixed, centred on the window; its text opens the web site, "退 出" closes it.
    bool seen = false;
    OnNextModal([&](QWidget* modal) {
        seen = true;
        EXPECT_EQ(modal->windowTitle(), QStringLiteral("关于系统"));
        EXPECT_EQ(modal->minimumSize(), modal->maximumSize());
        EXPECT_LE((modal->geometry().center() - window.geometry().center()).manhattanLength(), 4);
        EXPECT_EQ(modal->styleSheet(), window.styleSheet()) << "the dialog has the window's skin";
        auto* text = modal->findChild<QLabel*>(QStringLiteral("lblAbout"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_FALSE(text->toolTip().isEmpty());
        const QPoint middle = text->rect().center();
        QMouseEvent press(QEvent::MouseButtonPress, middle, text->mapToGlobal(middle), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, middle, text->mapToGlobal(middle), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(text, &press);
        QApplication::sendEvent(text, &release);
        EXPECT_EQ(shown.Recorder.Urls, QStringList{kv::app::AboutUrl});
        auto* close = modal->findChild<QPushButton*>(QStringLiteral("btnClose"));
        ASSERT_NE(close, nullptr);
        EXPECT_EQ(close->text(), QStringLiteral("退 出"));
        close->click();
    });
    window.HelpMenu()->actions()[0]->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    ASSERT_TRUE(window.isVisible());
    window.FileMenu()->actions()[0]->trigger();
    EXPECT_FALSE(window.isVisible()) << "退出 closes the window";
}

TEST(MainWindowTest, MessageBoxesCarryTheProgramsCaptionAndTheirIcon)
{
    QWidget owner;
    kv::app::TQtPorts ports(&owner);
    struct TCase {
        void (kv::app::TQtPorts::*Show)(const QString&);
        QMessageBox::Icon Icon;
    };
    const TCase cases[] = {
        {&kv::app::TQtPorts::Error, QMessageBox::Critical},
        {&kv::app::TQtPorts::Information, QMessageBox::Information},
        {&kv::app::TQtPorts::Warning, QMessageBox::Warning},
    };
    for (const TCase& test : cases) {
        bool seen = false;
        OnNextModal([&](QWidget* modal) {
            seen = true;
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("KelvaneV1.3"));
            EXPECT_EQ(box->icon(), test.Icon);
            EXPECT_EQ(box->text(), QStringLiteral("视频成功转换！"));
            EXPECT_EQ(box->parentWidget(), &owner);
            box->accept();
        });
        (ports.*test.Show)(QStringLiteral("视频成功转换！"));
        EXPECT_TRUE(seen) << test.Icon;
    }
}

TEST(MainWindowTest, TheOpenDialogFilterMatchesExtensionsInAnyCase)
{
    const QString filter = kv::app::QtFileDialogFilter(QStringLiteral("Video Files|*.AVI;*.MP4;*.M2TS"));
    ASSERT_TRUE(filter.startsWith(QStringLiteral("Video Files ("))) << filter.toStdString();
    const QString patterns = filter.section(QLatin1Char('('), 1).chopped(1);
    QTemporaryDir folder;
    for (const char* name : {"a.avi", "b.AVI", "c.Mp4", "d.m2ts", "e.txt", "f.mp3", "avi"}) {
        QFile file(folder.path() + QLatin1Char('/') + QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QStringList matched =
        QDir(folder.path()).entryList(patterns.split(QLatin1Char(' ')), QDir::Files | QDir::CaseSensitive, QDir::Name);
    EXPECT_EQ(matched, (QStringList{"a.avi", "b.AVI", "c.Mp4", "d.m2ts"}));
}

}  // namespace
