// The window's language: with English chosen from the language menu every text of the main window, of its
// messages and of a batch reads in English (only the language menu's own entry, profile names and the
// user's file names may hold Chinese), Qt's own buttons follow, and choosing Chinese again brings back every
// original text exactly; the choice is remembered in config.ini and read at the next start. The English
// window is grabbed to screenshots/main-english.png and screenshots/batch-english.png.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <memory>

#include "EventPump.h"
#include "MediaFixtures.h"
#include "Screenshot.h"
#include "TestSupport.h"
#include "WindowLogicSupport.h"
#include "app/AboutDialog.h"
#include "app/BatchController.h"
#include "app/LanguageMenu.h"
#include "app/MainWindow.h"
#include "app/ProgressDelegate.h"
#include "app/QtPorts.h"
#include "app/Skins.h"
#include "app/logic/AddNotices.h"
#include "app/logic/AnalysisTab.h"
#include "app/logic/BatchDriver.h"
#include "app/logic/Language.h"
#include "app/logic/Settings.h"
#include "app/logic/TimeLeft.h"
#include "presets/IniFile.h"

namespace {

using namespace kv::app;

const QRegularExpression Chinese(QStringLiteral("[\\x{2E80}-\\x{9FFF}\\x{F900}-\\x{FAFF}\\x{FF00}-\\x{FFEF}]"));

bool HasChinese(const QString& Text) { return Text.contains(Chinese); }

// A program folder with the shipped profiles and the built translations, and a config.ini of its own.
class TProgram {
public:
    explicit TProgram(bool WithTranslations = true)
    {
        EXPECT_TRUE(m_root.isValid());
        QDir().mkpath(Program());
        EXPECT_TRUE(QFile::link(QStringLiteral(KELVANE_PROFILES_DIR), Program() + QStringLiteral("profiles")));
        if (WithTranslations) {
            EXPECT_TRUE(
                QFile::link(QStringLiteral(KELVANE_TRANSLATIONS_DIR), Program() + QStringLiteral("translations")));
        }
    }
    QString Program() const { return m_root.path() + QStringLiteral("/program/"); }
    QString Config() const { return Program() + QStringLiteral("config.ini"); }
    QString Work() const { return m_root.path() + QStringLiteral("/work/"); }
    TWindowPaths Paths() const
    {
        return {Program(), m_root.path() + QStringLiteral("/config"), m_root.path() + QStringLiteral("/videos"),
                QStringLiteral(KELVANE_CLI)};
    }
    void WriteLanguage(const char* Name) const
    {
        ASSERT_TRUE(kv::presets::TIniFile(Config().toStdString()).WriteString("Language", "name", Name));
    }
    std::string Language() const
    {
        return kv::presets::TIniFile(Config().toStdString()).ReadString("Language", "name", "(none)");
    }

private:
    QTemporaryDir m_root;
};

// Every text an object under Root shows, one line each: what shows it, then the text.
QStringList ShownTexts(QWidget& Root)
{
    QStringList texts;
    const auto add = [&](const QObject* Object, const char* What, const QString& Text) {
        if (!Text.isEmpty())
            texts << QStringLiteral("%1 %2 %3: %4")
                         .arg(QString::fromLatin1(Object->metaObject()->className()), Object->objectName(),
                              QString::fromLatin1(What), Text);
    };
    QList<QObject*> objects = Root.findChildren<QObject*>();
    objects.prepend(&Root);
    for (QObject* object : objects) {
        if (auto* widget = qobject_cast<QWidget*>(object)) {
            add(widget, "tooltip", widget->toolTip());
            if (widget->isWindow())
                add(widget, "title", widget->windowTitle());
        }
        if (auto* label = qobject_cast<QLabel*>(object))
            add(label, "text", label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(object))
            add(button, "text", button->text());
        if (auto* group = qobject_cast<QGroupBox*>(object))
            add(group, "title", group->title());
        if (auto* menu = qobject_cast<QMenu*>(object))
            add(menu, "title", menu->title());
        if (auto* action = qobject_cast<QAction*>(object)) {
            add(action, "text", action->text());
            add(action, "tooltip", action->toolTip());
        }
        if (auto* edit = qobject_cast<QLineEdit*>(object))
            add(edit, "text", edit->text());
        if (auto* combo = qobject_cast<QComboBox*>(object))
            for (int i = 0; i < combo->count(); ++i)
                add(combo, "item", combo->itemText(i));
        if (auto* tabs = qobject_cast<QTabWidget*>(object))
            for (int i = 0; i < tabs->count(); ++i)
                add(tabs, "tab", tabs->tabText(i));
        if (auto* list = qobject_cast<QTreeWidget*>(object)) {
            for (int column = 0; column < list->columnCount(); ++column)
                add(list, "header", list->headerItem()->text(column));
            for (int row = 0; row < list->topLevelItemCount(); ++row)
                for (int column = 0; column < list->columnCount(); ++column) {
                    add(list, "cell", list->topLevelItem(row)->text(column));
                    add(list, "time left",
                        list->topLevelItem(row)->data(column, TProgressDelegate::TimeLeftRole).toString());
                }
        }
    }
    return texts;
}

// The texts that hold Chinese, leaving out those that may: the language menu's entries, the names of the
// profiles and the user's files and folders.
QStringList ChineseTexts(const QStringList& Texts, const QStringList& Allowed)
{
    QStringList found;
    for (const QString& line : Texts) {
        const QString text = line.mid(line.indexOf(QStringLiteral(": ")) + 2);
        if (HasChinese(text) && !Allowed.contains(text))
            found << line;
    }
    return found;
}

// What the skin's buttons take around their icon and text, measured on the main window: a text wider than
// the button less this is cut short.
constexpr int ButtonPadding = 18;

// The controls under Root whose text needs more room than they have.
QStringList ClippedControls(QWidget& Root)
{
    QStringList clipped;
    for (QWidget* widget : Root.findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(widget);
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        const auto* tabs = qobject_cast<QTabWidget*>(widget);
        if (label && !label->text().isEmpty() && label->wordWrap()) {
            if (label->heightForWidth(label->width()) > label->height())
                clipped << label->objectName() + QStringLiteral(": ") + label->text();
        } else if (label && !label->text().isEmpty()) {
            if (label->sizeHint().width() > label->width())
                clipped << label->objectName() + QStringLiteral(": ") + label->text();
        } else if (button && !button->text().isEmpty()) {
            // The text beside the icon, with the skin's padding around them.
            const int icon = button->icon().isNull() ? 0 : button->iconSize().width();
            const int text = button->fontMetrics().horizontalAdvance(button->text());
            const auto* tool = qobject_cast<const QToolButton*>(button);
            const Qt::ToolButtonStyle style = tool ? tool->toolButtonStyle() : Qt::ToolButtonTextBesideIcon;
            const int needed = style == Qt::ToolButtonIconOnly        ? 0
                               : style == Qt::ToolButtonTextUnderIcon ? std::max(icon, text) + ButtonPadding
                                                                      : icon + text + ButtonPadding;
            if (needed > button->width())
                clipped << button->objectName() + QStringLiteral(": ") + button->text();
        } else if (tabs && tabs->tabBar()->sizeHint().width() > tabs->width()) {
            clipped << tabs->objectName();
        }
    }
    return clipped;
}

// The lines of Texts that Others lacks.
QStringList Missing(const QStringList& Texts, const QStringList& Others)
{
    QStringList missing;
    for (const QString& line : Texts)
        if (!Others.contains(line))
            missing << line;
    return missing;
}

QStringList AllowedChinese(TMainWindow& Window, const QStringList& Files = {})
{
    QStringList allowed = Files;
    allowed << LanguageMenuTitle;
    for (const TLanguageEntry& entry : Languages())
        allowed << QString::fromUtf8(entry.MenuCaption);
    TWindowLogic& logic = Window.Logic();
    allowed << logic.PresetItems() << logic.BrandItems() << logic.ModelItems() << logic.OutputFolderText();
    return allowed;
}

QAction* LanguageEntryAction(TMainWindow& Window, TLanguage Language)
{
    for (QAction* action : Window.LanguageMenu()->actions())
        if (action->text() == QString::fromUtf8(LanguageEntry(Language).MenuCaption))
            return action;
    return nullptr;
}

void Choose(TMainWindow& Window, TLanguage Language)
{
    QAction* action = LanguageEntryAction(Window, Language);
    ASSERT_NE(action, nullptr) << LanguageEntry(Language).Code;
    action->trigger();
}

// Qt's own Yes button as a message box shows it.
QString QtYesText()
{
    QMessageBox box(QMessageBox::Question, MessageCaption, QStringLiteral("?"), QMessageBox::Yes);
    return box.button(QMessageBox::Yes)->text();
}

struct TWindow {
    TProgram Program;
    kvtest::TDesktopRecorder Recorder;
    std::unique_ptr<TMainWindow> Window;

    explicit TWindow(const char* Language = nullptr, bool WithTranslations = true) : Program(WithTranslations)
    {
        static const bool look = [] {
            InstallApplicationLook(*qApp);
            return true;
        }();
        (void)look;
        kvtest::LoadSystemLibraries();
        if (Language)
            Program.WriteLanguage(Language);
        Window = std::make_unique<TMainWindow>(Program.Paths(), Recorder.Ports());
        Window->show();
        QApplication::processEvents();
    }
    const TMainWindowControls& Controls() const { return Window->Controls(); }
};

TEST(LanguageTest, EnglishShowsNoChineseAndChineseBringsBackEveryOriginalText)
{
    TWindow w;
    ASSERT_EQ(w.Window->Language().Current(), TLanguage::Chinese) << "Chinese is the default";
    EXPECT_EQ(w.Controls().Start->text(), QStringLiteral("开始"));
    EXPECT_TRUE(QtYesText().contains(QStringLiteral("是"))) << QtYesText().toStdString();
    // The custom panel shown, so that its labels are as the user sees them.
    w.Controls().ShowCustom->click();
    const QStringList chinese = ShownTexts(*w.Window);
    ASSERT_TRUE(ClippedControls(*w.Window->ClientArea()).isEmpty())
        << "the measure holds for the original texts: "
        << ClippedControls(*w.Window->ClientArea()).join('\n').toStdString();

    Choose(*w.Window, TLanguage::English);
    ASSERT_EQ(w.Window->Language().Current(), TLanguage::English);
    EXPECT_TRUE(w.Recorder.Errors.isEmpty()) << w.Recorder.Errors.join('\n').toStdString();
    const QStringList english = ShownTexts(*w.Window);
    EXPECT_TRUE(ChineseTexts(english, AllowedChinese(*w.Window)).isEmpty())
        << ChineseTexts(english, AllowedChinese(*w.Window)).join('\n').toStdString();
    EXPECT_EQ(english.size(), chinese.size()) << "a text vanished or came in with the language";
    const QStringList clipped = ClippedControls(*w.Window->ClientArea());
    EXPECT_TRUE(clipped.isEmpty()) << clipped.join('\n').toStdString();
    EXPECT_EQ(w.Controls().Start->text(), QStringLiteral("Start"));
    EXPECT_EQ(w.Controls().OutputTabs->tabText(otCustom), QStringLiteral("Custom"));
    EXPECT_EQ(w.Controls().FileType->itemText(0), QStringLiteral("3GP  (for mobile phones)"));
    EXPECT_EQ(QtYesText(), QStringLiteral("&Yes")) << "Qt's own texts follow";
    EXPECT_EQ(w.Program.Language(), "en") << "remembered";
    EXPECT_TRUE(LanguageEntryAction(*w.Window, TLanguage::English)->isChecked());
    kvtest::SaveScreenshot(*w.Window, QStringLiteral("main-english"));

    {
        // The About dialog as the menu opens it.
        const TSkinChoice skin = w.Window->Logic().Skin();
        TAboutDialog about(w.Window.get(), MakeSkin(skin.Name, {skin.Saturation, skin.HueOffset}), w.Recorder);
        const QStringList aboutTexts = ShownTexts(about);
        EXPECT_TRUE(ChineseTexts(aboutTexts, {}).isEmpty()) << ChineseTexts(aboutTexts, {}).join('\n').toStdString();
    }

    Choose(*w.Window, TLanguage::Chinese);
    const QStringList back = ShownTexts(*w.Window);
    EXPECT_TRUE(back == chinese) << "now:\n"
                                 << Missing(back, chinese).join('\n').toStdString() << "\nbefore:\n"
                                 << Missing(chinese, back).join('\n').toStdString();
    EXPECT_TRUE(QtYesText().contains(QStringLiteral("是"))) << QtYesText().toStdString();
    EXPECT_EQ(w.Program.Language(), "zh_CN");
    EXPECT_TRUE(LanguageEntryAction(*w.Window, TLanguage::Chinese)->isChecked());
}

// The messages the window shows, each made as the window makes it, with English installed.
TEST(LanguageTest, EveryMessageReadsInEnglish)
{
    TWindow w("en");
    ASSERT_EQ(w.Window->Language().Current(), TLanguage::English);
    TVideoFacts facts;
    facts.FileExtension = QStringLiteral("mp4");
    TNotAdded notAdded;
    notAdded.NotAccepted = QStringList(MaxNamed + 2, QStringLiteral("/in/a.txt"));
    notAdded.Missing = {QStringLiteral("/in/gone.mp4")};
    notAdded.Unreadable = {QStringLiteral("/in/bad.mp4")};
    const struct {
        const char* Name;
        std::function<QString()> Make;
    } messages[] = {
        {"batch done", [] { return BatchEndMessage(2, {}, 0); }},
        {"batch counts", [] { return BatchEndMessage(1, {QStringLiteral("/in/b.mkv")}, 1); }},
        {"power-off failed", [] { return PowerOffFailedMessage(QStringLiteral("refused")); }},
        {"custom type", [] { return CustomFieldsProblem({}, {}, {}, {}, {}); }},
        {"custom size", [] { return CustomFieldsProblem(QStringLiteral("3GP"), {}, {}, {}, {}); }},
        {"custom bitrate", [] { return CustomFieldsProblem(QStringLiteral("3GP"), "1", "1", {}, {}); }},
        {"custom frame rate", [] { return CustomFieldsProblem(QStringLiteral("3GP"), "1", "1", "1", {}); }},
        {"not added", [&] { return NotAddedMessage(notAdded, TWindowLogic::VideoFileFilter()); }},
        {"missing libraries",
         [] {
             return MissingLibrariesMessage({{0, "not found"}, {1, "not found"}}, QStringLiteral("/lib"));
         }},
        {"folder", [] { return FolderNotCreatedMessage(QStringLiteral("/out")); }},
        {"analysis failed", [] { return AnalysisFailedMessage(QStringLiteral("/in/a.mp4")); }},
        {"analysed format", [&] { return ChosenFormatMessage(facts); }},
        {"time left", [] { return TimeLeftCaption(125000); }},
        {"countdown", [] { return TQtPorts::CountdownText(30); }},
        {"power off now", [] { return TQtPorts::PowerOffNowCaption(); }},
        {"cancel", [] { return TQtPorts::CancelCaption(); }},
        {"no power-off command",
         [&] {
             QString reason;
             TQtPorts(w.Window.get(), {}).PowerOff(reason);
             return reason;
         }},
        {"power-off command fails",
         [&] {
             QString reason;
             TQtPorts(w.Window.get(), {QStringLiteral("false")}).PowerOff(reason);
             return reason;
         }},
    };
    for (const auto& m : messages) {
        const QString text = m.Make();
        EXPECT_FALSE(text.isEmpty()) << m.Name;
        EXPECT_FALSE(HasChinese(text)) << m.Name << ": " << text.toStdString();
    }

    // Through the window, answered by the recorder: Start on an empty list, Delete with nothing chosen, the
    // folder browser's title, the custom tab's hidden panel and its empty fields.
    const struct {
        const char* Name;
        std::function<void()> Do;
    } actions[] = {
        {"start with no files", [&] { w.Controls().Start->click(); }},
        {"delete with nothing chosen", [&] { w.Window->Batch().DeleteClicked(); }},
        {"browse", [&] { w.Controls().BrowseFolder->click(); }},
        {"custom panel hidden",
         [&] {
             w.Controls().OutputTabs->setCurrentIndex(otCustom);
             kv::TInputOptions input;
             kv::TOutputOptions output;
             w.Window->Logic().BuildRecords({}, input, output);
         }},
    };
    for (const auto& a : actions) {
        w.Recorder.Errors.clear();
        w.Recorder.Informations.clear();
        w.Recorder.BrowseTitles.clear();
        a.Do();
        const QStringList shown = w.Recorder.Errors + w.Recorder.Informations + w.Recorder.BrowseTitles;
        ASSERT_FALSE(shown.isEmpty()) << a.Name;
        for (const QString& text : shown)
            EXPECT_FALSE(HasChinese(text)) << a.Name << ": " << text.toStdString();
    }
}

// A batch in English: its title and times left while it runs, its rows and its end message.
TEST(LanguageTest, ABatchInEnglishShowsEnglishTextsAndEndMessage)
{
    TWindow w("en");
    ASSERT_EQ(w.Window->Language().Current(), TLanguage::English);
    const QString output = w.Program.Work() + QStringLiteral("out");
    QDir().mkpath(output);
    w.Controls().OutputFolder->setText(output);
    emit w.Controls().OutputFolder->textEdited(output);
    emit w.Controls().FileType->activated(1);  // MP4
    emit w.Controls().Preset->activated(0);
    const QString input = w.Program.Work() + QStringLiteral("片段.mkv");  // a user's file name stays as it is
    ASSERT_TRUE(QFile::copy(QString::fromStdString(kvtest::Fixture("av_source.mkv")), input));
    w.Recorder.FilesAnswer = {input};
    w.Controls().AddPanel->click();
    ASSERT_TRUE(kvtest::PumpUntil([&] { return !w.Window->Batch().List().Reading(); }, 30000));
    ASSERT_EQ(w.Window->Batch().List().Count(), 1);

    QStringList seen;
    w.Controls().Start->click();
    ASSERT_TRUE(kvtest::PumpUntil(
        [&] {
            seen << ShownTexts(*w.Window);
            return !w.Window->Batch().Driver().Running();
        },
        120000));
    kvtest::PumpFor(50);
    seen << ShownTexts(*w.Window);
    seen.removeDuplicates();
    const QStringList files{w.Window->Batch().List().Row(0).Caption, input};
    EXPECT_TRUE(ChineseTexts(seen, AllowedChinese(*w.Window, files)).isEmpty())
        << ChineseTexts(seen, AllowedChinese(*w.Window, files)).join('\n').toStdString();
    EXPECT_EQ(w.Recorder.Informations, QStringList{QStringLiteral("Videos converted successfully!")});
    EXPECT_TRUE(w.Recorder.Errors.isEmpty() && w.Recorder.Warnings.isEmpty())
        << (w.Recorder.Errors + w.Recorder.Warnings).join('\n').toStdString();
    for (const QString& text : w.Recorder.Notifications)
        EXPECT_FALSE(HasChinese(text)) << text.toStdString();
    kvtest::SaveScreenshot(*w.Window, QStringLiteral("batch-english"));
}

// The language a window starts in: the one config.ini names, Chinese when it names none or one not
// offered; a translation that cannot be read is named, and the window stays in Chinese.
TEST(LanguageTest, TheWindowStartsInTheRememberedLanguage)
{
    const struct {
        const char* Name;
        const char* Written;  // nullptr: no [Language] section
        bool WithTranslations;
        TLanguage Expected;
        const char* StartText;
        bool Error;
    } cases[] = {
        {"none", nullptr, true, TLanguage::Chinese, "开始", false},
        {"English", "en", true, TLanguage::English, "Start", false},
        {"letter case", "EN", true, TLanguage::English, "Start", false},
        {"Chinese", "zh_CN", true, TLanguage::Chinese, "开始", false},
        {"not offered", "fr", true, TLanguage::Chinese, "开始", false},
        {"English without its file", "en", false, TLanguage::Chinese, "开始", true},
    };
    for (const auto& c : cases) {
        TWindow w(c.Written, c.WithTranslations);
        EXPECT_EQ(w.Window->Language().Current(), c.Expected) << c.Name;
        EXPECT_EQ(w.Controls().Start->text().toStdString(), c.StartText) << c.Name;
        EXPECT_TRUE(LanguageEntryAction(*w.Window, c.Expected)->isChecked()) << c.Name;
        ASSERT_EQ(w.Recorder.Errors.size(), c.Error ? 1 : 0) << c.Name;
        if (c.Error) {
            EXPECT_TRUE(w.Recorder.Errors[0].contains(QStringLiteral("kelvane_en.qm"))) << c.Name;
            // Chosen from the menu, the same: named, not remembered, the window stays as it is.
            Choose(*w.Window, TLanguage::English);
            EXPECT_EQ(w.Recorder.Errors.size(), 2) << c.Name;
            EXPECT_EQ(w.Window->Language().Current(), TLanguage::Chinese) << c.Name;
            EXPECT_TRUE(LanguageEntryAction(*w.Window, TLanguage::Chinese)->isChecked()) << c.Name;
            EXPECT_EQ(w.Controls().Start->text(), QStringLiteral("开始")) << c.Name;
            EXPECT_EQ(w.Program.Language(), "en") << c.Name << ": the file is left as it was";
        }
    }
}

}  // namespace
