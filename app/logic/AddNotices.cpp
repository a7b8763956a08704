// The texts of the add notices.
#include "app/logic/AddNotices.h"

#include <QCoreApplication>
#include <QDir>

namespace kv::app {

QString MissingLibrariesMessage(const std::vector<kv::TLoadFailure>& Failures, const QString& LibraryFolder)
{
    QString text = QCoreApplication::translate("kv::app::AddNotices", "未能加载以下编解码库，无法添加和转换视频：\n");
    QStringList packages;
    for (const kv::TLoadFailure& failure : Failures) {
        text += QCoreApplication::translate("kv::app::AddNotices", "  %1（%2）\n")
                    .arg(QString::fromStdString(kv::FFLoader().LibraryFileName(failure.Library)),
                         QString::fromStdString(failure.Error));
        const QString package = QString::fromStdString(kv::FFLoader().LibraryPackage(failure.Library));
        if (!package.isEmpty() && !packages.contains(package))
            packages << package;
    }
    if (!packages.isEmpty())
        text += QCoreApplication::translate("kv::app::AddNotices", "请安装软件包：%1\n（例如：sudo apt install %1）\n")
                    .arg(packages.join(QLatin1Char(' ')));
    if (!LibraryFolder.isEmpty() && QDir(LibraryFolder).exists())
        text += QCoreApplication::translate("kv::app::AddNotices", "程序先使用 %1 中的库文件，请检查其中的文件。\n")
                    .arg(QDir::toNativeSeparators(LibraryFolder));
    return text.trimmed();
}

namespace {

// "AVI、AVM、…" of a filter written "Description|*.AVI;*.AVM;...".
QString FilterTypes(const QString& Filter)
{
    QStringList types;
    for (QString pattern : Filter.section(QLatin1Char('|'), 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        pattern = pattern.trimmed();
        if (pattern.startsWith(QLatin1String("*.")))
            pattern = pattern.mid(2);
        types << pattern;
    }
    return types.join(QCoreApplication::translate("kv::app::AddNotices", "、"));
}

void AppendFiles(QString& Text, const QString& Heading, const QStringList& Files)
{
    if (Files.isEmpty())
        return;
    Text += QLatin1Char('\n') + Heading + QLatin1Char('\n');
    for (int i = 0; i < Files.size() && i < MaxNamed; ++i)
        Text += QStringLiteral("  ") + QDir::toNativeSeparators(Files[i]) + QLatin1Char('\n');
    if (Files.size() > MaxNamed)
        Text += QCoreApplication::translate("kv::app::AddNotices", "  ……另有 %1 个文件\n").arg(Files.size() - MaxNamed);
}

}  // namespace

QString NotAddedMessage(const TNotAdded& NotAdded, const QString& Filter)
{
    QString text = QCoreApplication::translate("kv::app::AddNotices", "以下文件未能添加：\n");
    AppendFiles(text,
                QCoreApplication::translate("kv::app::AddNotices", "不是可以转换的类型（可以添加 %1）：")
                    .arg(FilterTypes(Filter)),
                NotAdded.NotAccepted);
    AppendFiles(text, QCoreApplication::translate("kv::app::AddNotices", "文件不存在："), NotAdded.Missing);
    AppendFiles(text, QCoreApplication::translate("kv::app::AddNotices", "无法读取（文件已损坏或不是视频文件）："),
                NotAdded.Unreadable);
    return text.trimmed();
}

}  // namespace kv::app
