#include <QApplication>

#include "app/MainWindow.h"
#include "app/Skins.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KelvaneV1.3"));
    kv::app::InstallApplicationLook(application);
    MainWindow window;
    window.show();
    return QApplication::exec();
}
