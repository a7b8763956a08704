// Recording and removing what a batch leaves behind: only a file that is still the one recorded goes.
#include "app/logic/LeftoverCleanup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStringList>

namespace kv::app {

namespace {

bool StatOf(const QString& Path, struct stat& Status)
{
    const QByteArray name = QFile::encodeName(Path);
    return !name.isEmpty() && ::lstat(name.constData(), &Status) == 0 && S_ISREG(Status.st_mode);
}

}  // namespace

std::optional<TLeftover> RecordLeftover(const QString& Path, bool KeepSize)
{
    struct stat status {};
    if (!StatOf(Path, status))
        return std::nullopt;
    TLeftover leftover;
    leftover.Path = Path;
    leftover.Device = static_cast<quint64>(status.st_dev);
    leftover.Inode = static_cast<quint64>(status.st_ino);
    if (KeepSize)
        leftover.Size = static_cast<qint64>(status.st_size);
    return leftover;
}

bool IsStillRecorded(const TLeftover& Leftover)
{
    struct stat status {};
    return StatOf(Leftover.Path, status) && static_cast<quint64>(status.st_dev) == Leftover.Device &&
           static_cast<quint64>(status.st_ino) == Leftover.Inode &&
           (!Leftover.Size || static_cast<qint64>(status.st_size) == *Leftover.Size);
}

QStringList RemoveLeftovers(const QList<TLeftover>& Leftovers)
{
    QStringList removed;
    for (const TLeftover& leftover : Leftovers)
        if (IsStillRecorded(leftover) && ::unlink(QFile::encodeName(leftover.Path).constData()) == 0)
            removed << leftover.Path;
    return removed;
}

}  // namespace kv::app
