// Adds the files named on the command line to the main window the way the add button does (the
// open-file dialog answering with all of them) and prints the time until every row is listed and the
// preview shows the last file's picture; how well the window's thread kept answering meanwhile (the
// longest gap between two ticks of a timer on it that should tick every TickMs); and how much the program's
// memory grew per row.
//
//   kelvane_addfiles_bench FILE...
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/BatchController.h"
#include "app/MainWindow.h"

namespace {

class TDialog : public kv::app::IOpenFileDialog {
public:
    QStringList Files;
    QStringList OpenFiles(const QString&, bool) override { return Files; }
};

// The resident memory of this process in KB (VmRSS), 0 when it cannot be read.
qint64 ResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

constexpr int TickMs = 20;

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TDialog dialog;
    for (int i = 1; i < argc; ++i)
        dialog.Files << QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
    if (dialog.Files.isEmpty()) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 2;
    }
    kv::app::TPorts ports;
    ports.OpenFileDialog = &dialog;
    kv::app::TMainWindow window(kv::app::TWindowPaths::FromEnvironment(), ports);
    window.show();
    kv::app::TBatchController& batch = window.Batch();
    const QString last = dialog.Files.back();

    // Settle the window first, so that the memory measured is the rows'.
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 memoryBefore = ResidentKb();
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticks;
    ticks.setInterval(TickMs);
    QObject::connect(&ticks, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });

    QElapsedTimer timer;
    timer.start();
    sinceTick.start();
    ticks.start();
    batch.AddClicked();
    qint64 listed = -1;
    while (timer.elapsed() < 600000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (listed < 0 && !batch.List().Reading() && batch.List().Count() == dialog.Files.size())
            listed = timer.elapsed();
        if (listed >= 0 && batch.Pane().Path() == last && !batch.Pane().Reading() && !batch.Pane().Frame().isNull())
            break;
    }
    const qint64 shown = timer.elapsed();
    if (listed < 0) {
        std::fprintf(stderr, "only %d of %lld files were listed\n", batch.List().Count(),
                     static_cast<long long>(dialog.Files.size()));
        return 1;
    }
    ticks.stop();
    const qint64 memoryAfter = ResidentKb();
    const double perRow = static_cast<double>(memoryAfter - memoryBefore) / static_cast<double>(dialog.Files.size());
    std::printf("files: %lld\nall rows listed: %lld ms\nlast file's picture shown: %lld ms\n"
                "longest gap between window-thread ticks (every %d ms): %lld ms\n"
                "memory: %lld KB before, %lld KB after, %.2f KB per row\n",
                static_cast<long long>(dialog.Files.size()), static_cast<long long>(listed),
                static_cast<long long>(shown), TickMs, static_cast<long long>(longestGap),
                static_cast<long long>(memoryBefore), static_cast<long long>(memoryAfter), perRow);
    return 0;
}
