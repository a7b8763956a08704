#include <QApplication>

#include "app/BatchController.h"
#include "app/MainWindow.h"
#include "app/Skins.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KelvaneV1.3"));
    kv::app::InstallApplicationLook(application);
    // The window installs the translations of the language chosen in config.ini (Chinese by default).
    kv::app::TMainWindow window;
    window.show();
    // Files named on the command line (a file manager's "Open with") are added as the add button would.
    window.Batch().AddFiles(QApplication::arguments().mid(1));
    return QApplication::exec();
}
