// Adds the files named on the command line to the main window the way the add button does (the
// open-file dialog answering with all of them) and prints the time until every row is listed and the
// preview shows the last file's picture.
//
//   kelvane_addfiles_bench FILE...
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

#include "app/BatchController.h"
#include "app/MainWindow.h"

namespace {

class TDialog : public kv::app::IOpenFileDialog {
public:
    QStringList Files;
    QStringList OpenFiles(const QString&, bool) override { return Files; }
};

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

    QElapsedTimer timer;
    timer.start();
    batch.AddClicked();
    qint64 listed = -1;
    while (timer.elapsed() < 120000) {
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
    std::printf("files: %lld\nall rows listed: %lld ms\nlast file's picture shown: %lld ms\n",
                static_cast<long long>(dialog.Files.size()), static_cast<long long>(listed),
                static_cast<long long>(shown));
    return 0;
}
