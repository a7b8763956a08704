// The batch through the real window on the offscreen platform, with the dialogs, message boxes and
// power-off answered by a recorder: closing the window while a batch runs, files dropped onto the list,
// the progress cells drawn as bars, the window title following the batch, the end of a batch (its message,
// the power-off countdown box and a refused power-off), and screenshots of a running batch, of the end
// message that counts the files and of the countdown box (screenshots/batch-running.png,
// batch-end-counts.png, power-off-countdown.png) for a person to look at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "EventPump.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "WindowLogicSupport.h"
#include "app/BatchController.h"
#include "app/MainWindow.h"
#include "app/ProgressDelegate.h"
#include "app/QtPorts.h"
#include "app/TrackBar.h"
#include "app/WindowImages.h"
#include "app/Skins.h"
#include "app/logic/AddNotices.h"
#include "app/logic/Settings.h"
#include "app/logic/TimeLeft.h"
#include "app/logic/WindowLogic.h"
#include "media/FFmpegLoader.h"
#include "Screenshot.h"

using kv::app::TMainWindow;

using kvtest::SaveScreenshot;

namespace {

using namespace kv::app;

const QString Caption = QStringLiteral("Kelvane V1.3");

using kvtest::PumpFor;
using kvtest::PumpUntil;

using kvtest::WrittenSize;

double Duration(const QString& File)
{
    const auto facts = kvtest::Probe(File.toStdString());
    const auto found = facts.find("format.duration");
    return found == facts.end() ? -1 : std::atof(found->second.c_str());
}

// The file decodes to its end without a single error.
void ExpectPlays(const QString& File)
{
    std::string errors;
    EXPECT_EQ(kvtest::RunCommand("ffmpeg -nostdin -v error -i '" + File.toStdString() + "' -f null -", errors), 0)
        << File.toStdString();
    EXPECT_TRUE(errors.empty()) << File.toStdString() << ": " << errors;
}

// The desktop: also notes the window's title when the end of a batch is announced, and every power-off;
// its questions are the window's own question boxes.
class TRecorder : public kvtest::TDesktopRecorder {
public:
    QWidget* Window = nullptr;
    QStringList TitlesAtInformation;
    QStringList Sequence;  // "warning", "information": the boxes in the order shown
    int PowerOffs = 0;
    void Information(const QString& Text) override
    {
        kvtest::TDesktopRecorder::Information(Text);
        Sequence << QStringLiteral("information");
        if (Window)
            TitlesAtInformation << Window->windowTitle();
    }
    void Warning(const QString& Text) override
    {
        kvtest::TDesktopRecorder::Warning(Text);
        Sequence << QStringLiteral("warning");
    }
    // Empty: the power-off is only counted; otherwise the window's own power-off runs this command.
    QStringList PowerOffCommand;
    bool PowerOff(QString& Reason) override
    {
        ++PowerOffs;
        if (PowerOffCommand.isEmpty())
            return true;
        return kv::app::TQtPorts(Window, PowerOffCommand).PowerOff(Reason);
    }
    // The window's own countdown box.
    bool PowerOffCountdown(int Seconds) override
    {
        kvtest::TDesktopRecorder::PowerOffCountdown(Seconds);
        return kv::app::TQtPorts(Window).PowerOffCountdown(Seconds);
    }
    bool Question(const QString& Text) override { return kv::app::TQtPorts(Window).Question(Text); }
};

// A shown main window in a program folder of its own, converting to MP4 into an output folder of its own.
// The question asked on closing during a batch is recorded and answered with CloseAnswer.
struct TWindow {
    TRecorder Recorder;
    kvtest::TProgramFolder Program;
    QTemporaryDir Work;
    std::unique_ptr<TMainWindow> Window;
    QStringList Questions;
    bool CloseAnswer = false;
    std::function<bool(const QString&)> QuestionBox;  // the window's own question

    TWindow()
    {
        static const bool look = [] {
            InstallApplicationLook(*qApp);
            return true;
        }();
        (void)look;
        kvtest::LoadSystemLibraries();
        Window = std::make_unique<TMainWindow>(Program.Paths(), Recorder.Ports());
        Recorder.Window = Window.get();
        Window->show();
        QApplication::processEvents();
        QuestionBox = Batch().ConfirmClose;
        Batch().ConfirmClose = [this](const QString& Text) {
            Questions << Text;
            return CloseAnswer;
        };
        // Chosen as the user would: the file type, the preset, the typed output folder.
        emit Controls().FileType->activated(1);  // MP4
        emit Controls().Preset->activated(0);    // 480x272, MPEG-4 and AAC
        QDir().mkpath(Output());
        Controls().OutputFolder->setText(Output());
        emit Controls().OutputFolder->textEdited(Output());
    }
    ~TWindow()
    {
        // A batch still running is stopped by the window on its way out.
        Window.reset();
    }

    TBatchController& Batch() { return Window->Batch(); }
    const TMainWindowControls& Controls() const { return Window->Controls(); }
    QString Output() const { return Work.path() + QStringLiteral("/out"); }
    QString In(const QString& Name) const { return Work.path() + QStringLiteral("/in/") + Name; }

    // Copies a fixture under a name of its own into the input folder.
    QString Place(const std::string& Fixture, const QString& Name) const
    {
        QDir().mkpath(Work.path() + QStringLiteral("/in"));
        const QString path = In(Name);
        EXPECT_TRUE(QFile::copy(QString::fromStdString(kvtest::Fixture(Fixture)), path)) << Fixture;
        return path;
    }

    // Seconds of 640x480 with sound: long enough to be caught running.
    QString Long(const QString& Name, int Seconds) const
    {
        QDir().mkpath(Work.path() + QStringLiteral("/in"));
        const QString path = In(Name);
        const std::string length = std::to_string(Seconds);
        std::string output;
        EXPECT_EQ(kvtest::RunCommand(
                      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=640x480:rate=25:duration=" + length +
                          " -f lavfi -i sine=frequency=440:duration=" + length +
                          " -c:v libx264 -preset ultrafast -c:a aac -shortest '" + path.toStdString() + "'",
                      output),
                  0)
            << output;
        return path;
    }

    // The add button with the open-file dialog answering Files; waits for the rows.
    void Add(const QStringList& Files)
    {
        Recorder.FilesAnswer = Files;
        QAbstractButton* add =
            Controls().AddPanel->isVisible() ? static_cast<QAbstractButton*>(Controls().AddPanel) : Controls().Add;
        add->click();
        ASSERT_TRUE(PumpUntil([&] { return !Batch().List().Reading(); }, 30000)) << "the rows never came";
    }

    // The captions the list widget shows, top to bottom.
    QStringList ShownCaptions() const
    {
        QStringList captions;
        for (int row = 0; row < Controls().FileList->topLevelItemCount(); ++row)
            captions << Controls().FileList->topLevelItem(row)->text(0);
        return captions;
    }

    QString Progress(int Row) { return Batch().List().Row(Row).Progress; }
    bool Running() { return Batch().Driver().Running(); }

    QStringList OutputFiles() const { return QDir(Output()).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name); }
};

// Runs Answer on the next message box the code under test opens.
void OnNextBox(std::function<void(QMessageBox*)> Answer)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, Answer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            Answer(box);
        }
    });
    timer->start();
}

QAbstractButton* ButtonCaptioned(QMessageBox* Box, const QString& Caption)
{
    for (QAbstractButton* button : Box->buttons())
        if (button->text() == Caption)
            return button;
    return nullptr;
}

// A drag's data naming files (and web addresses, given as such).
std::unique_ptr<QMimeData> FilesData(const QStringList& Paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : Paths)
        urls << (path.startsWith(QLatin1String("http")) ? QUrl(path) : QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// Sends a drag entering Target and says whether it was accepted.
bool DragEnterAccepted(QWidget* Target, const QMimeData* Data)
{
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &enter);
    return enter.isAccepted();
}

// Drags Data onto Target and drops it there, as a file manager does; whether the drop was accepted.
bool Drop(QWidget* Target, const QMimeData* Data)
{
    DragEnterAccepted(Target, Data);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &drop);
    return drop.isAccepted();
}

TEST(BatchWindowTest, ClosingDuringABatchAsksAndOnYesStopsTheTasksLeavingPlayableOutputs)
{
    TWindow w;
    const QStringList inputs{w.Long(QStringLiteral("one.mp4"), 30), w.Long(QStringLiteral("two.mp4"), 30)};
    w.Add(inputs);
    ASSERT_EQ(w.Batch().List().Count(), 2);
    // Asked for, but a window closed during a batch does not turn the computer off.
    w.Controls().Shutdown->setChecked(true);
    w.Controls().Start->click();
    ASSERT_TRUE(PumpUntil([&] { return !w.Progress(0).isEmpty() && w.Progress(0) != QStringLiteral("0%"); }))
        << "no progress";
    const QString output = w.Output() + QStringLiteral("/ONE_(new).mp4");
    const QString question = QStringLiteral("转换正在进行，确定要退出吗？");

    // The window's own question box: captioned, "No" unless the user picks "Yes". No keeps the window.
    {
        const auto recorder = w.Batch().ConfirmClose;
        w.Batch().ConfirmClose = w.QuestionBox;
        bool asked = false;
        QTimer answer;
        answer.setInterval(10);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            answer.stop();
            asked = true;
            EXPECT_EQ(box->text(), question);
            EXPECT_EQ(box->windowTitle(), MessageCaption);
            ASSERT_NE(box->button(QMessageBox::No), nullptr);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
            box->button(QMessageBox::No)->click();
        });
        answer.start();
        EXPECT_FALSE(w.Window->close());
        answer.stop();
        EXPECT_TRUE(asked);
        w.Batch().ConfirmClose = recorder;
    }
    EXPECT_TRUE(w.Window->isVisible());
    EXPECT_TRUE(w.Running());

    // Answered no: the window stays, the batch goes on.
    w.CloseAnswer = false;
    EXPECT_FALSE(w.Window->close());
    EXPECT_EQ(w.Questions, QStringList{question});
    EXPECT_TRUE(w.Window->isVisible());
    ASSERT_TRUE(w.Running());
    EXPECT_TRUE(w.Controls().Stop->isEnabled());
    const qint64 size = WrittenSize(output);
    EXPECT_TRUE(PumpUntil([&] { return WrittenSize(output) > size; }, 10000)) << "the batch stopped on a no";

    // While the batch runs, files dragged onto the list are refused: the rows belong to their tasks.
    const QString late = w.Place("av_source.mkv", QStringLiteral("late.mkv"));
    const auto data = FilesData({late});
    EXPECT_FALSE(DragEnterAccepted(w.Controls().FileList->viewport(), data.get()));
    Drop(w.Controls().FileList->viewport(), data.get());
    PumpUntil([&] { return !w.Batch().List().Reading(); }, 10000);
    EXPECT_EQ(w.Batch().List().Paths(), inputs);

    // Answered yes: the tasks stop, then the window closes.
    w.CloseAnswer = true;
    EXPECT_TRUE(w.Window->close());
    EXPECT_EQ(w.Questions, (QStringList{question, question}));
    EXPECT_FALSE(w.Window->isVisible());
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(w.Window->Engine().TaskCount(), 0);
    EXPECT_TRUE(w.Recorder.Informations.isEmpty()) << "a closing window announces no end of batch";
    EXPECT_EQ(w.Recorder.PowerOffs, 0);
    EXPECT_TRUE(w.Recorder.Warnings.isEmpty()) << w.Recorder.Warnings.join('\n').toStdString();
    EXPECT_NE(w.Progress(0), QStringLiteral("100%"));

    // The second file never started: no empty output of it is left. The first is shorter and plays.
    ASSERT_EQ(w.OutputFiles(), QStringList{QStringLiteral("ONE_(new).mp4")});
    const double length = Duration(output);
    EXPECT_GT(length, 0.0);
    EXPECT_LT(length, 29.0);
    ExpectPlays(output);
}

TEST(BatchWindowTest, DroppedFilesAreAddedLikeChosenOnes)
{
    TWindow w;
    const QString a = w.Place("av_source.mkv", QStringLiteral("a.mkv"));
    const QString b = w.Place("video_audio.avi", QStringLiteral("b 片段.AVI"));
    const QString c = w.Place("av_source.mkv", QStringLiteral("c.mp4"));
    // A video under a name the dialog's filter does not show.
    const QString text = w.Place("av_source.mkv", QStringLiteral("notes.txt"));
    QWidget* panel = w.Controls().AddPanel;
    QWidget* viewport = w.Controls().FileList->viewport();
    ASSERT_TRUE(panel->isVisible()) << "the empty list is covered by the add panel";

    // Dragging files in is welcome on the add panel and on the list; anything else is not.
    QMimeData words;
    words.setText(QStringLiteral("a.mkv"));
    const auto files = FilesData({a});
    const auto remote = FilesData({QStringLiteral("http://example.com/a.mkv")});
    const struct {
        const char* Name;
        QWidget* Target;
        const QMimeData* Data;
        bool Accepted;
    } drags[] = {
        {"files on the add panel", panel, files.get(), true},
        {"files on the list", viewport, files.get(), true},
        {"text on the add panel", panel, &words, false},
        {"text on the list", viewport, &words, false},
        {"a web address on the list", viewport, remote.get(), false},
    };
    for (const auto& d : drags)
        EXPECT_EQ(DragEnterAccepted(d.Target, d.Data), d.Accepted) << d.Name;

    // Dropped on the add panel: the files the filter shows, in the order given; the rest are passed over.
    {
        const auto data = FilesData({b, text, a, QStringLiteral("http://example.com/d.mp4")});
        EXPECT_TRUE(Drop(panel, data.get()));
        ASSERT_TRUE(PumpUntil([&] { return !w.Batch().List().Reading(); }, 30000));
    }
    EXPECT_EQ(w.Batch().List().Paths(), (QStringList{b, a}));
    EXPECT_EQ(w.ShownCaptions(), (QStringList{QStringLiteral("b 片段"), QStringLiteral("a")}));
    // The file of another type is named, once the add has ended.
    ASSERT_TRUE(PumpUntil([&] { return !w.Recorder.Warnings.isEmpty(); }, 10000));
    kv::app::TNotAdded notAdded;
    notAdded.NotAccepted = QStringList{text};
    EXPECT_EQ(w.Recorder.Warnings,
              QStringList{kv::app::NotAddedMessage(notAdded, kv::app::TWindowLogic::VideoFileFilter())});
    PumpUntil([&] { return !panel->isVisible(); }, 5000);
    EXPECT_FALSE(panel->isVisible()) << "the list shows its rows";

    // Dropped on the list: files listed already are passed over, the new one comes last.
    {
        const auto data = FilesData({a, c, b});
        EXPECT_TRUE(Drop(viewport, data.get()));
        ASSERT_TRUE(PumpUntil([&] { return !w.Batch().List().Reading(); }, 30000));
    }
    EXPECT_EQ(w.Batch().List().Paths(), (QStringList{b, a, c}));
    EXPECT_EQ(w.ShownCaptions(), (QStringList{QStringLiteral("b 片段"), QStringLiteral("a"), QStringLiteral("c")}));

    // A drop without files changes nothing.
    Drop(viewport, &words);
    PumpFor(100);
    EXPECT_EQ(w.Batch().List().Count(), 3);
    EXPECT_EQ(w.Controls().FileList->topLevelItemCount(), 3);
    EXPECT_TRUE(w.Recorder.Errors.isEmpty()) << w.Recorder.Errors.join('\n').toStdString();
}

// Files given to the program ("Open with") that cannot be listed are named, each under its reason.
TEST(BatchWindowTest, FilesThatCannotBeListedAreNamed)
{
    TWindow w;
    const QString good = w.Place("av_source.mkv", QStringLiteral("good.mkv"));
    const QString broken = w.In(QStringLiteral("broken.mp4"));
    {
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    const QString gone = w.In(QStringLiteral("gone.avi"));
    w.Batch().AddFiles({broken, good, gone});
    ASSERT_TRUE(PumpUntil([&] { return !w.Batch().List().Reading(); }, 30000));
    EXPECT_EQ(w.Batch().List().Paths(), QStringList{good});
    ASSERT_TRUE(PumpUntil([&] { return !w.Recorder.Warnings.isEmpty(); }, 10000));
    kvtest::PumpFor(100);
    ASSERT_EQ(w.Recorder.Warnings.size(), 1);
    EXPECT_EQ(w.Recorder.Warnings[0], QStringLiteral("以下文件未能添加：\n\n文件不存在：\n  ") + gone +
                                          QStringLiteral("\n\n无法读取（文件已损坏或不是视频文件）：\n  ") + broken);
}

// Without the codec libraries nothing can be added: the start says which are missing and what installs them,
// and the add button says it again instead of opening a dialog whose files could not be read.
TEST(BatchWindowTest, MissingCodecLibrariesAreNamedAtStartAndOnAdd)
{
    ASSERT_TRUE(kv::FFLoader().UnloadLibs(kv::ComponentLibrarySet()));
    struct TRestore {
        ~TRestore()
        {
            kv::FFLoader().UnloadLibs(kv::ComponentLibrarySet());
            kv::FFLoader().SetLibraryPath("");
            kvtest::LoadSystemLibraries();
        }
    } restore;
    TRecorder recorder;
    kvtest::TProgramFolder program;
    const QString libraries = program.Program() + QStringLiteral("LibAV");
    ASSERT_TRUE(QDir().mkpath(libraries));
    {
        QFile file(libraries + QStringLiteral("/libavfilter.so.8"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a library");
    }
    auto window = std::make_unique<TMainWindow>(program.Paths(), recorder.Ports());
    recorder.Window = window.get();
    window->show();
    QApplication::processEvents();
    ASSERT_EQ(recorder.Errors.size(), 1);
    const QString message = recorder.Errors[0];
    EXPECT_TRUE(message.startsWith(QStringLiteral("未能加载以下编解码库，无法添加和转换视频：\n  libavfilter.so.8（")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("请安装软件包：libavfilter8\n（例如：sudo apt install libavfilter8）")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(libraries)) << message.toStdString();

    recorder.FilesAnswer = {QStringLiteral("/nowhere/a.mkv")};
    window->Controls().AddPanel->click();
    EXPECT_EQ(recorder.Errors, (QStringList{message, message}));
    EXPECT_TRUE(recorder.FileFilters.isEmpty()) << "the open-file dialog was shown";
    EXPECT_EQ(window->Batch().List().Count(), 0);
    window.reset();
}

TEST(BatchWindowTest, TheTitleShowsTheOverallProgressWhileABatchRuns)
{
    TWindow w;
    w.Add({w.Place("av_source.mkv", QStringLiteral("a.mkv")), w.Place("long_av.mkv", QStringLiteral("b.mkv"))});
    ASSERT_EQ(w.Batch().List().Count(), 2);
    EXPECT_EQ(w.Window->windowTitle(), Caption);
    // Each title the window takes, with the mean of the percentages its rows show at that moment.
    QStringList titles;
    QList<int> rowsMean;
    QObject::connect(w.Window.get(), &QWidget::windowTitleChanged, [&](const QString& Title) {
        titles << Title;
        int sum = 0;
        for (int row = 0; row < w.Batch().List().Count(); ++row)
            sum += qMax(0, TProgressDelegate::PercentOf(w.Progress(row)));
        rowsMean << sum / w.Batch().List().Count();
    });

    w.Controls().Start->click();
    // Files opened or dropped while the batch runs are refused with a word.
    w.Batch().AddFiles({w.Place("av_source.mkv", QStringLiteral("c.mkv"))});
    EXPECT_EQ(w.Recorder.Warnings, QStringList{kv::app::AddWhileConvertingMessage});
    EXPECT_EQ(w.Batch().List().Count(), 2);
    ASSERT_TRUE(PumpUntil([&] { return !w.Recorder.Informations.isEmpty(); }, 120000)) << "the batch did not end";

    // "N% - caption", N being what the rows show, then the plain caption again, already under the end
    // message.
    ASSERT_GE(titles.size(), 2);
    EXPECT_EQ(titles.last(), Caption);
    EXPECT_EQ(w.Window->windowTitle(), Caption);
    EXPECT_EQ(w.Recorder.TitlesAtInformation, QStringList{Caption});
    // Once the batch can tell, its time left stands between the two: "N% - 剩余 M:SS - caption".
    const QRegularExpression shape(QStringLiteral("^(\\d+)%( - 剩余 \\d+:\\d\\d)? - Kelvane V1\\.3$"));
    int last = 0;
    bool between = false;
    for (qsizetype i = 0; i + 1 < titles.size(); ++i) {
        const QRegularExpressionMatch match = shape.match(titles[i]);
        ASSERT_TRUE(match.hasMatch()) << titles[i].toStdString();
        const int percent = match.captured(1).toInt();
        EXPECT_EQ(percent, rowsMean[i]) << titles[i].toStdString() << ": the title lags behind the rows";
        EXPECT_GE(percent, last) << titles[i].toStdString();
        between |= percent > 0 && percent < 100;
        last = percent;
    }
    EXPECT_TRUE(between) << titles.join(" | ").toStdString();
    EXPECT_EQ(last, 100) << "the last row done is counted";
    // The machine was kept awake for the batch and let go at its end.
    EXPECT_EQ(w.Recorder.SleepHolds, (QStringList{QStringLiteral("hold"), QStringLiteral("release")}));
}

TEST(BatchWindowTest, AFileFailingWhileConvertingIsAnnouncedAndTheBatchGoesOn)
{
    TWindow w;
    const QStringList inputs{w.Place("av_source.mkv", QStringLiteral("a.mkv")),
                             w.Place("av_source.mkv", QStringLiteral("b.mkv")),
                             w.Place("av_source.mkv", QStringLiteral("c.mkv"))};
    w.Add(inputs);
    ASSERT_EQ(w.Batch().List().Count(), 3);
    // The second row is queued, then its run cannot open its video encoder (a frame rate MPEG-4 cannot
    // express).
    TBatchDriver& driver = w.Batch().Driver();
    const auto build = driver.BuildRecords;
    driver.BuildRecords = [&](const TListRow& Row, kv::TInputOptions& Input, kv::TOutputOptions& Output) {
        const bool built = build(Row, Input, Output);
        if (Row.Path == inputs[1])
            Output.FrameRate = "70000";
        return built;
    };
    w.Controls().Start->click();
    ASSERT_EQ(driver.TaskRows(), (std::vector<int>{0, 1, 2})) << "every row was queued";
    ASSERT_TRUE(PumpUntil([&] { return !w.Running(); }, 120000)) << "the batch did not end";

    ASSERT_EQ(w.Recorder.Warnings.size(), 2);
    EXPECT_TRUE(w.Recorder.Warnings[0].contains(QStringLiteral("opening codec")))
        << w.Recorder.Warnings[0].toStdString();
    EXPECT_EQ(w.Recorder.Sequence, (QStringList{QStringLiteral("warning"), QStringLiteral("warning")}));
    EXPECT_EQ(w.Recorder.Warnings[1], BatchEndMessage(2, {inputs[1]}, 0)) << "the end names the failed file";
    EXPECT_TRUE(w.Recorder.Informations.isEmpty());
    EXPECT_EQ(w.Progress(0), QStringLiteral("100%"));
    EXPECT_NE(w.Progress(1), QStringLiteral("100%"));
    EXPECT_EQ(w.Progress(2), QStringLiteral("100%")) << "the batch stopped at the failed file";
    ExpectPlays(w.Output() + QStringLiteral("/C_(new).mp4"));
    // The failed file leaves nothing behind.
    EXPECT_EQ(w.OutputFiles(), (QStringList{QStringLiteral("A_(new).mp4"), QStringLiteral("C_(new).mp4")}));
}

TEST(BatchWindowTest, ABatchWithAFailedAndAStoppedFileEndsCountingThemWithoutPowerOff)
{
    TWindow w;
    const QStringList inputs{w.Place("av_source.mkv", QStringLiteral("a.mkv")),
                             w.Place("av_source.mkv", QStringLiteral("b.mkv")), w.Long(QStringLiteral("c.mp4"), 60),
                             w.Place("av_source.mkv", QStringLiteral("d.mkv"))};
    w.Add(inputs);
    ASSERT_EQ(w.Batch().List().Count(), 4);
    // Asked for, but a stopped batch did not complete.
    w.Controls().Shutdown->setChecked(true);
    TBatchDriver& driver = w.Batch().Driver();
    const auto build = driver.BuildRecords;
    driver.BuildRecords = [&](const TListRow& Row, kv::TInputOptions& Input, kv::TOutputOptions& Output) {
        const bool built = build(Row, Input, Output);
        if (Row.Path == inputs[1])
            Output.FrameRate = "70000";  // its encoder does not open
        return built;
    };
    w.Controls().Start->click();
    ASSERT_TRUE(PumpUntil([&] { return TProgressDelegate::PercentOf(w.Progress(2)) > 0; }, 120000))
        << "the third file never ran";
    w.Controls().Stop->click();
    ASSERT_TRUE(PumpUntil([&] { return !w.Running(); }, 30000)) << "no end after Stop";

    const QString expected = BatchEndMessage(1, {inputs[1]}, 2);
    ASSERT_EQ(w.Recorder.Warnings.size(), 2) << w.Recorder.Warnings.join('\n').toStdString();
    EXPECT_EQ(w.Recorder.Warnings[1], expected);
    EXPECT_TRUE(w.Recorder.Informations.isEmpty()) << w.Recorder.Informations.join('\n').toStdString();
    EXPECT_EQ(w.Recorder.PowerOffs, 0);
    EXPECT_TRUE(w.Recorder.Countdowns.isEmpty());

    // The box as the window shows it.
    OnNextBox([](QMessageBox* Box) {
        EXPECT_EQ(Box->icon(), QMessageBox::Warning);
        SaveScreenshot(*Box, QStringLiteral("batch-end-counts"));
        Box->accept();
    });
    TQtPorts(w.Window.get()).Warning(expected);
}

TEST(BatchWindowTest, AFinishedBatchWithTheBoxCheckedCountsDownToThePowerOff)
{
    const struct {
        const char* Name;
        bool Checked;
        bool Cancel;          // 取消 is clicked in the countdown box
        QStringList Command;  // empty: the power-off is only recorded
        int PowerOffs;
        bool Refused;
    } cases[] = {
        {"unchecked", false, false, {}, 0, false},
        {"runs to zero", true, false, {}, 1, false},
        {"cancelled", true, true, {}, 0, false},
        {"refused",
         true,
         false,
         {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo no >&2; exit 4")},
         1,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWindow w;
        w.Add({w.Place("av_source.mkv", QStringLiteral("a.mkv")), w.Place("av_source.mkv", QStringLiteral("b.mkv"))});
        w.Controls().Shutdown->setChecked(c.Checked);
        w.Recorder.PowerOffCommand = c.Command;
        w.Batch().Driver().PowerOffSeconds = 2;
        QElapsedTimer shown;
        QString firstText;
        if (c.Checked) {
            OnNextBox([&](QMessageBox* Box) {
                shown.start();
                firstText = Box->text();
                ASSERT_NE(ButtonCaptioned(Box, QStringLiteral("立即关机")), nullptr);
                QAbstractButton* cancel = ButtonCaptioned(Box, QStringLiteral("取消"));
                ASSERT_NE(cancel, nullptr);
                EXPECT_EQ(Box->windowTitle(), MessageCaption);
                if (c.Cancel)
                    cancel->click();
                else if (c.Command.isEmpty())
                    SaveScreenshot(*Box, QStringLiteral("power-off-countdown"));
            });
        }
        w.Controls().Start->click();
        ASSERT_TRUE(PumpUntil([&] { return !w.Running(); }, 120000)) << "the batch did not end";
        PumpFor(50);

        EXPECT_EQ(w.Recorder.PowerOffs, c.PowerOffs);
        if (!c.Checked) {
            EXPECT_EQ(w.Recorder.Informations, QStringList{QStringLiteral("视频成功转换！")});
            EXPECT_TRUE(w.Recorder.Countdowns.isEmpty());
            continue;
        }
        EXPECT_EQ(w.Recorder.Countdowns, QList<int>{2});
        EXPECT_EQ(firstText, QStringLiteral("2 秒后关机"));
        EXPECT_TRUE(w.Recorder.Informations.isEmpty()) << "the countdown takes the end message's place";
        if (!c.Cancel && c.Command.isEmpty()) {
            EXPECT_GE(shown.elapsed(), 1500) << "powered off before zero";
        }
        if (c.Refused) {
            ASSERT_EQ(w.Recorder.Errors.size(), 1);
            EXPECT_TRUE(w.Recorder.Errors[0].startsWith(PowerOffFailedMessage(QString())))
                << w.Recorder.Errors[0].toStdString();
            EXPECT_TRUE(w.Recorder.Errors[0].contains(QStringLiteral("退出码 4")))
                << w.Recorder.Errors[0].toStdString();
            EXPECT_TRUE(w.Recorder.Errors[0].contains(QStringLiteral("no"))) << w.Recorder.Errors[0].toStdString();
        } else {
            EXPECT_TRUE(w.Recorder.Errors.isEmpty()) << w.Recorder.Errors.join('\n').toStdString();
        }
    }
}

TEST(BatchWindowTest, ThePowerOffCommandIsAwaitedAndItsRefusalExplained)
{
    const struct {
        QStringList Command;
        bool Succeeds;
        QStringList ReasonHas;
    } cases[] = {
        {{QStringLiteral("true")}, true, {}},
        {{QStringLiteral("false")}, false, {QStringLiteral("false"), QStringLiteral("退出码 1")}},
        {{QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo refused; exit 3")},
         false,
         {QStringLiteral("退出码 3"), QStringLiteral("refused")}},
        {{QStringLiteral("/nonexistent/kelvane-poweroff")}, false, {QStringLiteral("无法运行")}},
        {{}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Command.join(' ').toStdString());
        QString reason;
        EXPECT_EQ(TQtPorts(nullptr, c.Command).PowerOff(reason), c.Succeeds);
        EXPECT_EQ(reason.isEmpty(), c.Succeeds) << reason.toStdString();
        for (const QString& part : c.ReasonHas)
            EXPECT_TRUE(reason.contains(part)) << reason.toStdString();
    }
}

TEST(BatchWindowTest, ScreenshotOfARunningBatch)
{
    TWindow w;
    w.Add({w.Place("av_source.mkv", QStringLiteral("first clip.mkv")), w.Long(QStringLiteral("second clip.mp4"), 120),
           w.Place("long_av.mkv", QStringLiteral("third clip.mkv"))});
    ASSERT_EQ(w.Batch().List().Count(), 3);
    w.Controls().Start->click();
    ASSERT_TRUE(PumpUntil([&] {
        // The second file has run long enough for its time left to be told.
        return w.Progress(0) == QStringLiteral("100%") && w.Batch().Driver().RowTimeLeftMs(1) &&
               w.Batch().Driver().BatchTimeLeftMs();
    })) << w.Progress(0).toStdString()
        << " " << w.Progress(1).toStdString();
    // Held still for the picture.
    w.Controls().Pause->click();
    PumpFor(500);
    const int second = TProgressDelegate::PercentOf(w.Progress(1));
    ASSERT_GT(second, 0);
    ASSERT_LT(second, 100) << "the second file ended before the pause";
    EXPECT_TRUE(w.Progress(2).isEmpty());
    const int overall = w.Batch().Driver().OverallPercent();
    EXPECT_EQ(overall, (100 + second) / 3);
    // The converting row and the batch tell their times left, the other rows none.
    QTreeWidget* list = w.Controls().FileList;
    const auto timeLeftShown = [&](int Row) {
        return list->topLevelItem(Row)->data(4, TProgressDelegate::TimeLeftRole).toString();
    };
    const std::optional<qint64> rowLeft = w.Batch().Driver().RowTimeLeftMs(1);
    const std::optional<qint64> batchLeft = w.Batch().Driver().BatchTimeLeftMs();
    ASSERT_TRUE(rowLeft && batchLeft);
    EXPECT_EQ(timeLeftShown(1), TimeLeftCaption(*rowLeft));
    EXPECT_TRUE(timeLeftShown(0).isEmpty());
    EXPECT_TRUE(timeLeftShown(2).isEmpty());
    EXPECT_EQ(w.Window->windowTitle(),
              QStringLiteral("%1% - %2 - %3").arg(overall).arg(TimeLeftCaption(*batchLeft)).arg(Caption));
    // Paused: the estimate waits with the batch.
    PumpFor(300);
    EXPECT_EQ(w.Batch().Driver().BatchTimeLeftMs(), batchLeft);
    EXPECT_FALSE(w.Controls().Start->isEnabled());
    EXPECT_TRUE(w.Controls().Resume->isEnabled());
    EXPECT_TRUE(w.Controls().Stop->isEnabled());

    SaveScreenshot(*w.Window, QStringLiteral("batch-running"));

    // Stopped while paused: the batch ends, announced, and the title is the caption again.
    w.Controls().Stop->click();
    ASSERT_TRUE(PumpUntil([&] { return !w.Recorder.Informations.isEmpty(); }, 30000)) << "no end after Stop";
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(w.Window->windowTitle(), Caption);
    EXPECT_TRUE(timeLeftShown(1).isEmpty()) << "a stopped row needs no more time";
    // The packet in hand when Stop came may still be written.
    const int stopped = TProgressDelegate::PercentOf(w.Progress(1));
    EXPECT_GE(stopped, second) << "the stopped row keeps its percentage";
    EXPECT_LT(stopped, 100);
}

// What a progress cell shows: the share of the bar's inner columns holding its highlight colour, how many
// pixels of dark text there are, and how many colours the cell has at all.
struct TCellLook {
    double Filled = 0;
    int Ink = 0;
    int Colours = 0;
};

TCellLook LookOf(const QImage& Image, const QRect& Cell, const QColor& Highlight)
{
    // The highlight and the lighter shades of it the bar's gradient uses.
    auto highlightLike = [&](const QColor& C) {
        return qAbs(C.hsvHue() - Highlight.hsvHue()) <= 15 && C.hsvSaturationF() >= 0.3 && C.valueF() >= 0.55;
    };
    // Inside the cell's margin and the bar's frame.
    const QRect inner = Cell.adjusted(4, 4, -4, -4);
    TCellLook look;
    int filledColumns = 0;
    for (int x = inner.left(); x <= inner.right(); ++x) {
        bool filled = false;
        for (int y = inner.top(); y <= inner.bottom(); ++y) {
            const QColor colour = Image.pixelColor(x, y);
            filled |= highlightLike(colour);
            look.Ink += colour.lightnessF() < 0.4;
        }
        filledColumns += filled;
    }
    look.Filled = static_cast<double>(filledColumns) / inner.width();
    QSet<QRgb> colours;
    for (int y = Cell.top(); y <= Cell.bottom(); ++y)
        for (int x = Cell.left(); x <= Cell.right(); ++x)
            colours.insert(Image.pixel(x, y));
    look.Colours = static_cast<int>(colours.size());
    return look;
}

TEST(BatchWindowTest, ProgressCellsAreBarsFilledToTheirPercentage)
{
    TWindow w;
    const struct {
        const char* Text;
        double MinFilled, MaxFilled;
        bool Written;
    } cells[] = {
        {"0%", 0.0, 0.05, true},
        {"37%", 0.2, 0.5, true},
        {"100%", 0.9, 1.0, true},
        {"", 0.0, 0.0, false},  // no percentage: no bar, nothing written
    };
    QStringList inputs;
    for (const QString& name :
         {QStringLiteral("a.mkv"), QStringLiteral("b.mkv"), QStringLiteral("c.mkv"), QStringLiteral("d.mkv")})
        inputs << w.Place("av_source.mkv", name);
    w.Add(inputs);
    ASSERT_EQ(w.Batch().List().Count(), 4);
    for (int row = 0; row < 4; ++row)
        w.Batch().List().SetProgress(row, QString::fromUtf8(cells[row].Text));
    // No selection: its background is the highlight colour too.
    QTreeWidget* list = w.Controls().FileList;
    list->clearSelection();
    list->setCurrentItem(nullptr);
    QApplication::processEvents();
    const QImage image = list->viewport()->grab().toImage();
    const QColor highlight = list->palette().color(QPalette::Highlight);

    double previous = -1;
    for (int row = 0; row < 4; ++row) {
        const auto& c = cells[row];
        const QRect cell = list->visualRect(list->model()->index(row, 4));
        ASSERT_TRUE(image.rect().contains(cell)) << c.Text;
        const TCellLook look = LookOf(image, cell, highlight);
        EXPECT_GE(look.Filled, c.MinFilled) << c.Text;
        EXPECT_LE(look.Filled, c.MaxFilled) << c.Text;
        if (c.Written) {
            EXPECT_GT(look.Ink, 10) << c.Text << ": the percentage is not written";
            EXPECT_GT(look.Filled, previous) << c.Text << ": the bar does not grow";
            previous = look.Filled;
        } else {
            EXPECT_EQ(look.Ink, 0) << "'" << c.Text << "'";
            EXPECT_EQ(look.Colours, 1) << "'" << c.Text << "': the cell is not blank";
        }
    }

    // A time left is written beside the bar, which still shows the percentage.
    const QRect cell = list->visualRect(list->model()->index(1, 4));
    const TCellLook before = LookOf(image, cell, highlight);
    list->topLevelItem(1)->setData(4, TProgressDelegate::TimeLeftRole, TimeLeftCaption(125000));
    QApplication::processEvents();
    const TCellLook after = LookOf(list->viewport()->grab().toImage(), cell, highlight);
    EXPECT_GT(after.Ink, before.Ink * 3 / 2) << "the time left is not written";
    EXPECT_GT(after.Filled, 0.1) << "the bar is gone";
    EXPECT_LT(after.Filled, before.Filled) << "the bar leaves no room for the time left";
    EXPECT_EQ(w.Progress(1), QStringLiteral("37%")) << "the row's progress keeps its percentage alone";
}

}  // namespace

namespace {

// The preview through the real window: it follows the selected row whatever the row count, clears with the
// list, draws the marked clip on its track bar, and a newly loaded file starts with no marks.
TEST(BatchWindowTest, ThePreviewFollowsTheSelectionAndShowsTheMarkedClip)
{
    TWindow w;
    const QString first = w.Place("long_av.mkv", QStringLiteral("first.mkv"));
    const QString second = w.Place("av_source.mkv", QStringLiteral("second.mkv"));
    w.Add({first, second});
    ASSERT_EQ(w.Batch().List().Count(), 2);
    const TMainWindowControls& c = w.Controls();
    TPreviewPane& pane = w.Batch().Pane();
    ASSERT_EQ(pane.Path(), second);

    // Deleting the shown row leaves one row, which the pane now shows; marks set there reach its task.
    c.FileList->setCurrentItem(c.FileList->topLevelItem(1));
    c.FileList->topLevelItem(1)->setSelected(true);
    c.Delete->click();
    ASSERT_EQ(w.Batch().List().Count(), 1);
    EXPECT_EQ(pane.Path(), first);
    EXPECT_FALSE(pane.Picture().isNull());
    ASSERT_GT(c.PreviewTrack->maximum(), 100);
    c.PreviewTrack->setValue(c.PreviewTrack->maximum() / 4);
    c.StartTime->click();
    c.PreviewTrack->setValue(c.PreviewTrack->maximum() * 3 / 4);
    c.EndTime->click();
    c.CutClip->setChecked(true);
    const TRecordSource source = RecordSourceFor(w.Batch().List().Row(0), w.Batch().List(), pane);
    EXPECT_TRUE(source.ClipChecked);
    EXPECT_GT(source.ClipLengthMs, 0);
    EXPECT_EQ(source.OwnRow, 0);

    // The marked range is drawn between the marks, in the mark colour, and nowhere else.
    const QRect band = c.PreviewTrack->MarkedRect();
    ASSERT_FALSE(band.isEmpty());
    const QImage look = c.PreviewTrack->grab().toImage();
    const int y = band.center().y();
    EXPECT_EQ(QColor(look.pixel(band.left() + 3, y)), TTrackBar::MarkColor);
    EXPECT_NE(QColor(look.pixel(band.left() - 4, y)), TTrackBar::MarkColor);
    EXPECT_NE(QColor(look.pixel(band.right() + 4, y)), TTrackBar::MarkColor);
    SaveScreenshot(*c.PreviewGroup, QStringLiteral("preview-marked-clip"));

    // Another file loaded: no marks, their texts back to 0, the check box cleared.
    w.Add({w.Place("av_source.mkv", QStringLiteral("third.mkv"))});
    EXPECT_EQ(c.StartTimeEdit->text(), QStringLiteral("0"));
    EXPECT_EQ(c.EndTimeEdit->text(), QStringLiteral("0"));
    EXPECT_FALSE(c.CutClip->isChecked());
    EXPECT_TRUE(c.PreviewTrack->MarkedRect().isEmpty());

    // Selecting the first row again shows it.
    c.FileList->setCurrentItem(c.FileList->topLevelItem(0));
    EXPECT_EQ(pane.Path(), first);

    // The list emptied: the placeholder and a bar of no positions.
    c.Clear->click();
    EXPECT_TRUE(pane.Path().isEmpty());
    EXPECT_EQ(c.PreviewTrack->maximum(), 0);
    EXPECT_EQ(c.PreviewImage->pixmap().toImage(), PreviewPlaceholder(c.PreviewImage->size()).toImage());
    EXPECT_EQ(c.PreviewTime->text(), QStringLiteral("--"));
}

}  // namespace

TEST(BatchWindowTest, StartConvertsNothingWhenTheSettingsOrTheFolderCannotBeUsed)
{
    struct TCase {
        const char* Name;
        bool CustomTabHidden;  // the custom tab, its panel never shown
        bool FolderUnderAFile;
    };
    const TCase cases[] = {
        {"the custom tab with its panel hidden", true, false},
        {"a typed folder that cannot be made", false, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TWindow w;
        w.Add({w.Place("av_source.mkv", QStringLiteral("a.mkv")), w.Place("av_source.mkv", QStringLiteral("b.mkv"))});
        ASSERT_EQ(w.Batch().List().Count(), 2);
        if (c.CustomTabHidden)
            w.Controls().OutputTabs->setCurrentIndex(otCustom);
        const QString blocker = w.Work.path() + QStringLiteral("/blocker");
        const QString typed = blocker + QStringLiteral("/out");
        if (c.FolderUnderAFile) {
            QFile file(blocker);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            w.Controls().OutputFolder->setText(typed);
            emit w.Controls().OutputFolder->textEdited(typed);
        }
        int builds = 0;
        TBatchDriver& driver = w.Batch().Driver();
        const auto build = driver.BuildRecords;
        driver.BuildRecords = [&](const TListRow& Row, kv::TInputOptions& Input, kv::TOutputOptions& Output) {
            ++builds;
            return build(Row, Input, Output);
        };
        w.Controls().Start->click();
        PumpFor(100);

        // One message for the batch, not one per row, and no task.
        EXPECT_EQ(w.Recorder.Errors,
                  QStringList{c.CustomTabHidden ? CustomPanelHiddenMessage : FolderNotCreatedMessage(typed)});
        EXPECT_EQ(builds, 0);
        EXPECT_FALSE(w.Running());
        EXPECT_TRUE(driver.TaskRows().empty());
        EXPECT_TRUE(w.Controls().Start->isEnabled());
        EXPECT_TRUE(w.Recorder.Informations.isEmpty());
        EXPECT_TRUE(w.Recorder.Warnings.isEmpty()) << w.Recorder.Warnings.join('\n').toStdString();
        EXPECT_TRUE(w.OutputFiles().isEmpty());
    }
}

TEST(BatchWindowTest, ATypedFolderIsMadeAtStartRememberedAndOpened)
{
    TWindow w;
    w.Add({w.Place("av_source.mkv", QStringLiteral("a.mkv"))});
    ASSERT_EQ(w.Batch().List().Count(), 1);
    const QString typed = w.Work.path() + QStringLiteral("/new/deeper");
    w.Controls().OutputFolder->setText(typed);
    emit w.Controls().OutputFolder->textEdited(typed);

    w.Controls().Start->click();
    ASSERT_TRUE(PumpUntil([&] { return !w.Running(); }, 120000)) << "the batch did not end";
    EXPECT_TRUE(w.Recorder.Errors.isEmpty()) << w.Recorder.Errors.join('\n').toStdString();
    EXPECT_TRUE(w.Recorder.Warnings.isEmpty()) << w.Recorder.Warnings.join('\n').toStdString();
    EXPECT_EQ(w.Recorder.Informations, QStringList{BatchDoneMessage});
    ExpectPlays(typed + QStringLiteral("/A_(new).mp4"));
    EXPECT_EQ(w.Program.Setting(QStringLiteral("savepath"), QStringLiteral("newfilepath")), typed);

    w.Controls().OpenFolder->click();
    EXPECT_EQ(w.Recorder.OpenedFolders, QStringList{typed});
}
