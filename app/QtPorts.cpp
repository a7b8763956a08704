#include "app/QtPorts.h"

#include <QCoreApplication>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace kv::app {

namespace {

void Show(QWidget* Window, QMessageBox::Icon Icon, const QString& Text)
{
    QMessageBox box(Icon, MessageCaption, Text, QMessageBox::Ok, Window);
    box.exec();
}

QString AnyCase(const QString& Pattern)
{
    QString result;
    for (QChar c : Pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            result += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
        else
            result += c;
    }
    return result;
}

}  // namespace

QString QtFileDialogFilter(const QString& Filter)
{
    const int bar = Filter.indexOf(QLatin1Char('|'));
    const QString description = bar < 0 ? QString() : Filter.left(bar).trimmed();
    QStringList patterns;
    for (const QString& pattern : Filter.mid(bar + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        patterns << AnyCase(pattern.trimmed());
    return description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

void TQtPorts::Error(const QString& Text) { Show(m_window, QMessageBox::Critical, Text); }

void TQtPorts::Information(const QString& Text) { Show(m_window, QMessageBox::Information, Text); }

void TQtPorts::Warning(const QString& Text) { Show(m_window, QMessageBox::Warning, Text); }

bool TQtPorts::Question(const QString& Text)
{
    return QMessageBox::question(m_window, MessageCaption, Text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

QString TQtPorts::BrowseFolder(const QString& Title, const QString& StartFolder)
{
    return QFileDialog::getExistingDirectory(m_window, Title, StartFolder, QFileDialog::ShowDirsOnly);
}

QStringList TQtPorts::OpenFiles(const QString& Filter, bool MultiSelect)
{
    const QString filter = QtFileDialogFilter(Filter);
    if (MultiSelect)
        return QFileDialog::getOpenFileNames(m_window, QString(), QString(), filter);
    const QString file = QFileDialog::getOpenFileName(m_window, QString(), QString(), filter);
    return file.isEmpty() ? QStringList() : QStringList{file};
}

bool TQtPorts::PowerOff(QString& Reason)
{
    Reason.clear();
    if (m_powerOffCommand.isEmpty()) {
        Reason = QCoreApplication::translate("kv::app::TQtPorts", "没有关机命令");
        return false;
    }
    // No shell: the arguments go to the program as they are. The system's answer is awaited, so that a
    // refusal is seen.
    const QString command = m_powerOffCommand.join(QLatin1Char(' '));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_powerOffCommand.first(), m_powerOffCommand.mid(1));
    if (!process.waitForStarted()) {
        Reason =
            QCoreApplication::translate("kv::app::TQtPorts", "无法运行 %1：%2").arg(command, process.errorString());
        return false;
    }
    constexpr int AnswerLimit = 120000;  // ms
    if (!process.waitForFinished(AnswerLimit)) {
        Reason =
            QCoreApplication::translate("kv::app::TQtPorts", "%1 没有结束：%2").arg(command, process.errorString());
        process.kill();
        process.waitForFinished();
        return false;
    }
    const QString output = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit) {
        Reason = QCoreApplication::translate("kv::app::TQtPorts", "%1 异常退出").arg(command);
    } else if (process.exitCode() != 0) {
        Reason = QCoreApplication::translate("kv::app::TQtPorts", "%1 失败（退出码 %2）")
                     .arg(command)
                     .arg(process.exitCode());
    } else {
        return true;
    }
    if (!output.isEmpty())
        Reason += QLatin1Char('\n') + output;
    return false;
}

bool TQtPorts::PowerOffCountdown(int Seconds)
{
    QMessageBox box(QMessageBox::Warning, MessageCaption, CountdownText(Seconds), QMessageBox::NoButton, m_window);
    QPushButton* now = box.addButton(PowerOffNowCaption(), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(CancelCaption(), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    int left = Seconds;
    bool reachedZero = left <= 0;
    QTimer tick;
    tick.setInterval(1000);
    QObject::connect(&tick, &QTimer::timeout, &box, [&] {
        --left;
        if (left > 0) {
            box.setText(CountdownText(left));
            return;
        }
        reachedZero = true;
        tick.stop();
        box.done(QMessageBox::Accepted);
    });
    if (reachedZero)
        return true;
    tick.start();
    box.exec();
    tick.stop();
    return reachedZero || box.clickedButton() == now;
}

bool TQtPorts::OpenFolder(const QString& Folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(Folder)); }

bool TQtPorts::OpenUrl(const QString& Url) { return QDesktopServices::openUrl(QUrl(Url)); }

void TQtPorts::Beep() { QApplication::beep(); }

}  // namespace kv::app
