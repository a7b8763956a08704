// The window program: the application, its translations and look, and the main window.
#include <QApplication>
#include <QIcon>

#include "app/BatchController.h"
#include "app/MainWindow.h"
#include "app/SelfCheck.h"
#include "app/Skins.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KelvaneV1.3"));
    // The desktop entry and the icon installed under the program's id (packaging/).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.kelvane.Kelvane"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.kelvane.Kelvane")));
    kv::app::InstallApplicationLook(application);
    // The window installs the translations of the language chosen in config.ini (Chinese by default).
    kv::app::TMainWindow window;
    window.show();
    if (kv::app::SelfCheckAsked(QApplication::arguments()))
        return kv::app::RunSelfCheck(window);
    // Files named on the command line (a file manager's "Open with") are added as the add button would.
    window.Batch().AddFiles(QApplication::arguments().mid(1));
    return QApplication::exec();
}
