// A program the queue tests start and kill: it runs the real window through a batch, or saves file lists
// over and over, or saves one with a limit on the size of the files it may write.
//   queue-child batch PROGRAM CONFIG VIDEOS STATE OUTPUT FILE...   converts the files, then waits
//   queue-child save LIST                                           saves two lists in turn until killed
//   queue-child save-limited LIST BYTES                             exit 0 when saved, 3 when refused
#include <sys/resource.h>

#include <QApplication>
#include <QStringList>
#include <csignal>
#include <cstdio>

#include "EventPump.h"
#include "WindowLogicSupport.h"
#include "app/BatchController.h"
#include "app/MainWindow.h"
#include "app/logic/SavedList.h"

namespace {

using namespace kv::app;

// Rows enough that a save takes a while: a kill lands in the middle of one more often than not.
QList<TSavedRow> SomeRows(int Count, const QString& Tag)
{
    QList<TSavedRow> rows;
    for (int i = 0; i < Count; ++i) {
        TSavedRow row;
        row.Path = QStringLiteral("/videos/%1/片段 %2.avi").arg(Tag).arg(i);
        row.Facts = {true, QStringLiteral("avi"), 1, 320, 240, 2000000, 2000};
        row.State = i % 2 ? TRowState::Done : TRowState::Waiting;
        row.Output = row.Path + QStringLiteral(".mp4");
        rows << row;
    }
    return rows;
}

int Batch(const QStringList& Arguments)
{
    if (Arguments.size() < 6)
        return 2;
    const TWindowPaths paths{Arguments[0], Arguments[1], Arguments[2], QStringLiteral(KELVANE_CLI), Arguments[3]};
    kvtest::TDesktopRecorder desktop;
    TMainWindow window(paths, desktop.Ports());
    window.Logic().FileTypeChanged(1, true);  // MP4
    window.Logic().PresetChanged(0, true);    // 320x240
    window.Logic().OutputFolderEdited(Arguments[4]);
    window.show();
    const QStringList files = Arguments.mid(5);
    window.Batch().AddFiles(files);
    TBatchController& batch = window.Batch();
    if (!kvtest::PumpUntil([&] { return batch.List().Count() == files.size() && !batch.List().Reading(); }))
        return 4;
    batch.Driver().Start();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments().mid(1);
    const QString mode = arguments.value(0);
    QString error;
    if (mode == QStringLiteral("batch"))
        return Batch(arguments.mid(1));
    if (mode == QStringLiteral("save") && arguments.size() == 2) {
        const QList<TSavedRow> lists[] = {SomeRows(400, QStringLiteral("a")), SomeRows(400, QStringLiteral("b"))};
        std::puts("saving");
        std::fflush(stdout);
        for (unsigned turn = 0;; ++turn)
            if (!SaveSavedList(arguments[1], lists[turn % 2], error))
                return 3;
    }
    if (mode == QStringLiteral("save-limited") && arguments.size() == 3) {
        // A file may grow only so far: the write of a larger one is refused half way (the signal that would
        // end the program is ignored, as a full disk ends nothing either).
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{arguments[2].toULongLong(), arguments[2].toULongLong()};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return SaveSavedList(arguments[1], SomeRows(400, QStringLiteral("c")), error) ? 0 : 3;
    }
    return 2;
}
