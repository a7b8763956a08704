// The file list that survives the program: a batch killed after its first file comes back with its rows
// and converts only what was left, leaving exactly its outputs; saving is atomic; a damaged saved list is
// set aside; a state folder that takes no file is told once; and what an unfinished batch left behind is
// removed only where it is still the file the program created.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <random>

#include "EventPump.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "WindowLogicSupport.h"
#include "app/BatchController.h"
#include "app/MainWindow.h"
#include "app/logic/BatchDriver.h"
#include "app/logic/FileList.h"
#include "app/logic/ListKeeper.h"
#include "app/logic/SavedList.h"
#include "component/DIdezuDOR.h"

namespace {

using namespace kv::app;
using kvtest::PumpUntil;

QString SavedListIn(const QString& StateHome) { return StateHome + QStringLiteral("/kelvane/filelist.json"); }

// Every name in Folder, hidden ones included.
QStringList AllNames(const QString& Folder)
{
    return QDir(Folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray Contents(const QString& File)
{
    QFile file(File);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& File, const QByteArray& Bytes)
{
    QDir().mkpath(QFileInfo(File).absolutePath());
    QFile file(File);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << File.toStdString();
    file.write(Bytes);
}

// ffmpeg decodes the whole file without a word of complaint.
bool DecodesCleanly(const QString& File)
{
    std::string output;
    const int status = kvtest::RunCommand("ffmpeg -nostdin -v error -i '" + File.toStdString() + "' -f null -", output);
    return status == 0 && output.empty();
}

quint64 InodeOf(const QString& File)
{
    struct stat status {};
    return ::stat(QFile::encodeName(File).constData(), &status) == 0 ? status.st_ino : 0;
}

TSavedRow Row(const QString& Path, TRowState State, const QList<TLeftover>& Leftovers = {})
{
    TSavedRow row;
    row.Path = Path;
    row.Facts = {true, QStringLiteral("avi"), 1, 160, 120, 2000000, 2000};
    row.State = State;
    row.Leftovers = Leftovers;
    return row;
}

// The list, the driver and the keeper of a window, without its widgets.
struct TKept {
    kvtest::TDesktopRecorder Desktop;
    kv::TDIdezuDOR Engine;
    TFileList List;
    TBatchDriver Driver{Engine, List, Desktop.Ports()};
    TListKeeper Keeper;
    explicit TKept(const QString& StateHome, bool Answer = false)
        : Keeper(List, Driver, Engine, Desktop.Ports(), StateHome)
    {
        Desktop.QuestionAnswer = Answer;
        Keeper.Start();
    }
};

// The batch of three, killed while its second file converts; started again, the list comes back, the
// leftovers of the kill go, and Start converts the other two only.
TEST(Queue, AKilledBatchComesBackAndConvertsOnlyTheRowsNotDone)
{
    kvtest::LoadSystemLibraries();
    kvtest::TProgramFolder program;
    QTemporaryDir work;
    const QString in = work.path() + QStringLiteral("/in/");
    const QString output = work.path() + QStringLiteral("/out");
    QDir().mkpath(in);
    const std::pair<const char*, const char*> sources[] = {
        {"video_audio.avi", "first.avi"}, {"long_120s.avi", "second.avi"}, {"video_audio.avi", "third.avi"}};
    QStringList files;
    for (const auto& [fixture, name] : sources) {
        files << in + QLatin1String(name);
        ASSERT_TRUE(QFile::copy(QString::fromStdString(kvtest::Fixture(fixture)), files.last()));
    }

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QStringLiteral(KELVANE_QUEUE_CHILD),
                QStringList{QStringLiteral("batch"), program.Program(), program.ConfigHome(), program.Videos(),
                            program.StateHome(), output} +
                    files);
    ASSERT_TRUE(child.waitForStarted());
    // Killed as soon as the saved list says the first is done and the second converting.
    const QString saved = SavedListIn(program.StateHome());
    bool killed = PumpUntil(
        [&] {
            QString error;
            const auto rows = LoadSavedList(saved, error);
            if (child.state() != QProcess::Running ||
                !(rows && rows->size() == 3 && (*rows)[0].State == TRowState::Done &&
                  (*rows)[1].State == TRowState::Converting))
                return child.state() != QProcess::Running;
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            return true;
        },
        90000);
    ASSERT_TRUE(killed);
    ASSERT_TRUE(child.waitForFinished(10000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << "the batch ended before it was killed";

    // What the kill left: the first output, and for the others the empty files that hold their names and
    // the hidden files they were being written to.
    const QString first = output + QStringLiteral("/FIRST_(new).mp4");
    const QStringList left = AllNames(output);
    ASSERT_EQ(left.size(), 5) << left.join(' ').toStdString();
    EXPECT_TRUE(left.contains(QStringLiteral("FIRST_(new).mp4")));
    EXPECT_TRUE(left.contains(QStringLiteral("SECOND_(new).mp4")));
    EXPECT_TRUE(left.contains(QStringLiteral("THIRD_(new).mp4")));
    EXPECT_EQ(QFileInfo(output + QStringLiteral("/SECOND_(new).mp4")).size(), 0);
    const quint64 firstInode = InodeOf(first);

    // Started again: asked, answered yes.
    kvtest::TDesktopRecorder desktop;
    desktop.QuestionAnswer = true;
    TMainWindow window(program.Paths(), desktop.Ports());
    window.show();  // the remembered choice comes back
    TBatchController& batch = window.Batch();
    EXPECT_EQ(desktop.Questions, QStringList{RestoreQuestion});
    ASSERT_EQ(batch.List().Count(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(batch.List().Row(row).Path, files[row]);
    EXPECT_EQ(batch.List().Row(0).Progress, QStringLiteral("100%"));
    EXPECT_EQ(batch.Keeper().State(0), TRowState::Done);
    EXPECT_EQ(batch.Keeper().State(1), TRowState::Waiting);
    EXPECT_EQ(AllNames(output), QStringList{QStringLiteral("FIRST_(new).mp4")}) << "the leftovers went";

    batch.Driver().Start();
    EXPECT_EQ(batch.Driver().TaskRows(), (std::vector<int>{1, 2})) << "only the rows not done";
    ASSERT_TRUE(PumpUntil([&] { return !batch.Driver().Running(); }, 120000));
    EXPECT_EQ(desktop.Informations, QStringList{BatchDoneMessage});
    EXPECT_TRUE(desktop.Warnings.isEmpty()) << desktop.Warnings.join('\n').toStdString();

    const QStringList outputs{QStringLiteral("FIRST_(new).mp4"), QStringLiteral("SECOND_(new).mp4"),
                              QStringLiteral("THIRD_(new).mp4")};
    ASSERT_EQ(AllNames(output), outputs) << "exactly three outputs, nothing empty or hidden beside them";
    for (const QString& name : outputs) {
        const QString path = output + QLatin1Char('/') + name;
        EXPECT_GT(QFileInfo(path).size(), 0) << name.toStdString();
        EXPECT_TRUE(DecodesCleanly(path)) << name.toStdString();
    }
    EXPECT_EQ(InodeOf(first), firstInode) << "the first was not converted again";
    QString error;
    const auto rows = LoadSavedList(saved, error);
    ASSERT_TRUE(rows) << error.toStdString();
    EXPECT_FALSE(Unfinished(*rows)) << "a converted list is not offered again";
}

// A save cut short at any point leaves the previous list as it was: killed in the middle of saving, or
// refused part way through its write.
TEST(Queue, AnInterruptedSaveLeavesThePreviousListReadable)
{
    QTemporaryDir state;
    const QString list = state.path() + QStringLiteral("/filelist.json");
    QString error;
    const QList<TSavedRow> previous{Row(QStringLiteral("/videos/a.avi"), TRowState::Waiting)};
    ASSERT_TRUE(SaveSavedList(list, previous, error)) << error.toStdString();
    // Killed at moments spread over a save, again and again: each time a list is there whole.
    std::mt19937 random(21);
    for (int round = 0; round < 12; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(KELVANE_QUEUE_CHILD), {QStringLiteral("save"), list});
        ASSERT_TRUE(saver.waitForReadyRead(10000));
        QThread::usleep(std::uniform_int_distribution<unsigned>(2000, 40000)(random));
        ::kill(static_cast<pid_t>(saver.processId()), SIGKILL);
        ASSERT_TRUE(saver.waitForFinished(10000));
        const auto rows = LoadSavedList(list, error);
        ASSERT_TRUE(rows) << "round " << round << ": " << error.toStdString();
        ASSERT_TRUE(rows->size() == 400 || *rows == previous) << rows->size();
    }

    // A write refused half way (no room for the whole file): the save says so, the previous list stays.
    ASSERT_TRUE(SaveSavedList(list, previous, error)) << error.toStdString();
    const QByteArray before = Contents(list);
    QProcess limited;
    limited.start(QStringLiteral(KELVANE_QUEUE_CHILD), {QStringLiteral("save-limited"), list, QStringLiteral("4096")});
    ASSERT_TRUE(limited.waitForFinished(10000));
    EXPECT_EQ(limited.exitCode(), 3) << "the refused write is reported";
    EXPECT_EQ(Contents(list), before);
    EXPECT_EQ(LoadSavedList(list, error), previous);
}

// A saved list that cannot be read is set aside beside itself, with a message, and the program starts
// with an empty list that it keeps from then on.
TEST(Queue, ADamagedListIsSetAsideAndTheProgramStartsEmpty)
{
    const QByteArray good = SavedListDocument({Row(QStringLiteral("/videos/a.avi"), TRowState::Waiting)});
    const struct {
        const char* Name;
        QByteArray Bytes;
    } cases[] = {
        {"cut short", good.left(good.size() / 2)},
        {"not a document", QByteArrayLiteral("\x00\x01garbage")},
        {"another version", QByteArray(good).replace("\"version\": 1", "\"version\": 7")},
        {"rows not a list", QByteArrayLiteral("{\"version\": 1, \"rows\": {}}")},
        {"a row without its file", QByteArray(good).replace("\"file\"", "\"name\"")},
        {"a leftover without its inode", SavedListDocument({Row(QStringLiteral("/videos/a.avi"), TRowState::Waiting,
                                                                {{QStringLiteral("/o/a.mp4"), 1, 2, 0}})})
                                             .replace("\"inode\"", "\"node\"")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir state;
        const QString list = SavedListIn(state.path());
        Write(list, c.Bytes);
        TKept kept(state.path(), true);
        EXPECT_EQ(kept.Desktop.Warnings, QStringList{DamagedListMessage(list, list + QStringLiteral(".damaged"))});
        EXPECT_TRUE(kept.Desktop.Questions.isEmpty());
        EXPECT_EQ(kept.List.Count(), 0);
        EXPECT_EQ(Contents(list + QStringLiteral(".damaged")), c.Bytes) << "set aside as it was";
        QString error;
        EXPECT_EQ(LoadSavedList(list, error), QList<TSavedRow>{}) << "an empty list in its place";
    }
    // One set aside earlier keeps its name.
    QTemporaryDir state;
    const QString list = SavedListIn(state.path());
    Write(list + QStringLiteral(".damaged"), "earlier");
    Write(list, "{");
    TKept kept(state.path());
    EXPECT_EQ(kept.Desktop.Warnings, QStringList{DamagedListMessage(list, list + QStringLiteral(".damaged-2"))});
    EXPECT_EQ(Contents(list + QStringLiteral(".damaged")), "earlier");
}

// Without a state folder that takes files the program runs as before and says once that its list will
// not be kept.
TEST(Queue, WithoutAWritableStateFolderTheListIsNotKeptAndThatIsSaidOnce)
{
    QTemporaryDir root;
    Write(root.path() + QStringLiteral("/file"), "a file, not a folder");
    TKept kept(root.path() + QStringLiteral("/file/state"));
    ASSERT_EQ(kept.Desktop.Warnings.size(), 1);
    const QString folder = root.path() + QStringLiteral("/file/state/kelvane");
    EXPECT_TRUE(kept.Desktop.Warnings[0].contains(folder)) << kept.Desktop.Warnings[0].toStdString();
    EXPECT_TRUE(kept.Desktop.Warnings[0].endsWith(QStringLiteral("程序退出后，文件列表不会保留。")));
    kept.List.AddKnown({{QStringLiteral("/videos/a.avi"), Row({}, TRowState::Waiting).Facts}});
    kept.List.Delete(0);
    EXPECT_EQ(kept.Desktop.Warnings.size(), 1) << "said once";
    EXPECT_TRUE(kept.Driver.ConvertsRow(0)) << "Start converts every row";
}

// After an unfinished run, at the next start (whatever the answer), the empty files that held outputs'
// names and the hidden outputs of rows not done are removed, but only where the file is still the one the
// program created: a file put in a placeholder's place, one written into, a link, and the leftovers of a
// row that is done stay.
TEST(Cleanup, NeverTouchesAFileTheProgramDidNotCreate)
{
    for (const bool answer : {false, true}) {
        SCOPED_TRACE(answer ? "restored" : "not restored");
        QTemporaryDir work;
        const QString out = work.path() + QStringLiteral("/out/");
        const QString video = work.path() + QStringLiteral("/a.avi");
        Write(video, "video");
        const auto recorded = [&](const QString& Name, const QByteArray& Bytes, bool KeepSize) {
            Write(out + Name, Bytes);
            return *RecordLeftover(out + Name, KeepSize);
        };
        const TLeftover placeholder = recorded(QStringLiteral("A_(new).mp4"), {}, true);
        const TLeftover hidden = recorded(QStringLiteral(".A_(new).kvtmp-1.mp4"), "", false);
        const TLeftover replaced = recorded(QStringLiteral("B_(new).mp4"), {}, true);
        const TLeftover grown = recorded(QStringLiteral("C_(new).mp4"), {}, true);
        const TLeftover linked = recorded(QStringLiteral("D_(new).mp4"), {}, true);
        const TLeftover doneRows = recorded(QStringLiteral("E_(new).mp4"), {}, true);
        // The hidden output grew after it was recorded; its size is not what it is known by.
        Write(hidden.Path, "half an output");
        // Put in place of the placeholder: the same name, empty as well, another file.
        const QString other = out + QStringLiteral("B_(new).mp4.other");
        Write(other, {});
        ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(replaced.Path).constData()), 0);
        Write(grown.Path, "the user's own bytes");
        QFile::remove(linked.Path);
        ASSERT_TRUE(QFile::link(out + QStringLiteral("C_(new).mp4"), linked.Path));

        QTemporaryDir state;
        TSavedRow waiting = Row(video, TRowState::Converting, {placeholder, hidden, replaced, grown, linked});
        TSavedRow done = Row(work.path() + QStringLiteral("/gone.avi"), TRowState::Done, {doneRows});
        QString error;
        QDir().mkpath(state.path() + QStringLiteral("/kelvane"));
        ASSERT_TRUE(SaveSavedList(SavedListIn(state.path()), {waiting, done}, error)) << error.toStdString();

        TKept kept(state.path(), answer);
        EXPECT_EQ(kept.Desktop.Questions, QStringList{RestoreQuestion});
        EXPECT_EQ(AllNames(out), (QStringList{QStringLiteral("B_(new).mp4"), QStringLiteral("C_(new).mp4"),
                                              QStringLiteral("D_(new).mp4"), QStringLiteral("E_(new).mp4")}));
        EXPECT_EQ(Contents(out + QStringLiteral("C_(new).mp4")), "the user's own bytes");
        EXPECT_TRUE(QFileInfo(linked.Path).isSymLink());
        EXPECT_EQ(kept.List.Count(), answer ? 1 : 0) << "the file that is gone is left out";
        if (answer) {
            EXPECT_EQ(kept.Desktop.Warnings, QStringList{MissingFilesMessage({done.Path})});
        }
        // Removed once: what is kept now records nothing left behind.
        const auto rows = LoadSavedList(SavedListIn(state.path()), error);
        ASSERT_TRUE(rows) << error.toStdString();
        for (const TSavedRow& row : *rows)
            EXPECT_TRUE(row.Leftovers.isEmpty());
    }
}

}  // namespace
