#include "app/MainWindow.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>

#include "app/QtMainThreadBridge.h"

QString ProgramFolder()
{
    QString folder = QCoreApplication::applicationDirPath();
    return folder.endsWith('/') ? folder : folder + '/';
}

MainWindow::MainWindow()
{
    setWindowTitle(QStringLiteral("Kelvane V1.3"));
    resize(800, 560);
    auto* placeholder = new QLabel(QStringLiteral("Kelvane V1.3"), this);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);

    m_engine.SetMainThreadBridge(std::make_shared<QtMainThreadBridge>(this));
    const QString libraryFolder = ProgramFolder() + QStringLiteral("LibAV");
    if (!m_engine.LoadLibraries(libraryFolder.toStdString()))
        QMessageBox::critical(this, QStringLiteral("KelvaneV1.3"), QString::fromStdString(m_engine.LastError()));
}
