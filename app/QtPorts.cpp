#include "app/QtPorts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
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

QString TQtPorts::BrowseFolder(const QString& Title)
{
    return QFileDialog::getExistingDirectory(m_window, Title, QString(), QFileDialog::ShowDirsOnly);
}

QStringList TQtPorts::OpenFiles(const QString& Filter, bool MultiSelect)
{
    const QString filter = QtFileDialogFilter(Filter);
    if (MultiSelect)
        return QFileDialog::getOpenFileNames(m_window, QString(), QString(), filter);
    const QString file = QFileDialog::getOpenFileName(m_window, QString(), QString(), filter);
    return file.isEmpty() ? QStringList() : QStringList{file};
}

bool TQtPorts::PowerOff()
{
    // No shell: the arguments go to the program as they are.
    return QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("poweroff")});
}

bool TQtPorts::OpenFolder(const QString& Folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(Folder)); }

bool TQtPorts::OpenUrl(const QString& Url) { return QDesktopServices::openUrl(QUrl(Url)); }

void TQtPorts::Beep() { QApplication::beep(); }

}  // namespace kv::app
