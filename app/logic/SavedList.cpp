// The saved file list's document and file: JSON through Qt's document classes, written with QSaveFile.
#include "app/logic/SavedList.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>
#include <algorithm>
#include <iterator>

namespace kv::app {

namespace {

const struct {
    TRowState State;
    const char* Name;
} GStateNames[] = {
    {TRowState::Waiting, "waiting"}, {TRowState::Converting, "converting"}, {TRowState::Done, "done"},
    {TRowState::Failed, "failed"},   {TRowState::Stopped, "stopped"},
};

QString StateName(TRowState State)
{
    for (const auto& entry : GStateNames)
        if (entry.State == State)
            return QString::fromLatin1(entry.Name);
    return QString();
}

std::optional<TRowState> StateNamed(const QString& Name)
{
    for (const auto& entry : GStateNames)
        if (Name == QLatin1String(entry.Name))
            return entry.State;
    return std::nullopt;
}

// Device and inode numbers are written as text: a JSON number would round them beyond 2^53.
QString NumberText(quint64 Value) { return QString::number(Value); }

std::optional<quint64> TextNumber(const QJsonValue& Value)
{
    bool ok = false;
    const quint64 number = Value.toString().toULongLong(&ok);
    return Value.isString() && ok ? std::optional<quint64>(number) : std::nullopt;
}

QJsonObject FactsObject(const TFileFacts& Facts)
{
    return {
        {QStringLiteral("format"), Facts.FormatName},
        {QStringLiteral("videoStreams"), Facts.VideoStreams},
        {QStringLiteral("width"), Facts.Width},
        {QStringLiteral("height"), Facts.Height},
        {QStringLiteral("durationUs"), static_cast<double>(Facts.DurationUs)},
        {QStringLiteral("playTimeMs"), static_cast<double>(Facts.PlayTimeMs)},
    };
}

std::optional<TFileFacts> FactsOf(const QJsonValue& Value)
{
    if (!Value.isObject())
        return std::nullopt;
    const QJsonObject object = Value.toObject();
    const char* const numbers[] = {"videoStreams", "width", "height", "durationUs", "playTimeMs"};
    if (!object.value(QStringLiteral("format")).isString() ||
        !std::all_of(std::begin(numbers), std::end(numbers),
                     [&](const char* Key) { return object.value(QLatin1String(Key)).isDouble(); }))
        return std::nullopt;
    TFileFacts facts;
    facts.Readable = true;
    facts.FormatName = object.value(QStringLiteral("format")).toString();
    facts.VideoStreams = object.value(QStringLiteral("videoStreams")).toInt();
    facts.Width = object.value(QStringLiteral("width")).toInt();
    facts.Height = object.value(QStringLiteral("height")).toInt();
    facts.DurationUs = static_cast<qint64>(object.value(QStringLiteral("durationUs")).toDouble());
    facts.PlayTimeMs = static_cast<qint64>(object.value(QStringLiteral("playTimeMs")).toDouble());
    return facts;
}

QJsonObject LeftoverObject(const TLeftover& Leftover)
{
    QJsonObject object{
        {QStringLiteral("path"), Leftover.Path},
        {QStringLiteral("device"), NumberText(Leftover.Device)},
        {QStringLiteral("inode"), NumberText(Leftover.Inode)},
    };
    if (Leftover.Size)
        object.insert(QStringLiteral("size"), NumberText(static_cast<quint64>(*Leftover.Size)));
    return object;
}

std::optional<TLeftover> LeftoverOf(const QJsonValue& Value)
{
    const QJsonObject object = Value.toObject();
    const std::optional<quint64> device = TextNumber(object.value(QStringLiteral("device")));
    const std::optional<quint64> inode = TextNumber(object.value(QStringLiteral("inode")));
    const QJsonValue sizeValue = object.value(QStringLiteral("size"));
    const std::optional<quint64> size = TextNumber(sizeValue);
    if (!Value.isObject() || !object.value(QStringLiteral("path")).isString() || !device || !inode ||
        (!sizeValue.isUndefined() && !size))
        return std::nullopt;
    TLeftover leftover;
    leftover.Path = object.value(QStringLiteral("path")).toString();
    leftover.Device = *device;
    leftover.Inode = *inode;
    if (size)
        leftover.Size = static_cast<qint64>(*size);
    return leftover;
}

QJsonObject RowObject(const TSavedRow& Row)
{
    QJsonObject object{
        {QStringLiteral("file"), Row.Path},
        {QStringLiteral("state"), StateName(Row.State)},
        {QStringLiteral("facts"), FactsObject(Row.Facts)},
    };
    if (!Row.Output.isEmpty())
        object.insert(QStringLiteral("output"), Row.Output);
    if (!Row.Message.isEmpty())
        object.insert(QStringLiteral("message"), Row.Message);
    if (!Row.Leftovers.isEmpty()) {
        QJsonArray leftovers;
        for (const TLeftover& leftover : Row.Leftovers)
            leftovers.append(LeftoverObject(leftover));
        object.insert(QStringLiteral("leftovers"), leftovers);
    }
    return object;
}

std::optional<TSavedRow> RowOf(const QJsonValue& Value, QString& Error)
{
    const QJsonObject object = Value.toObject();
    TSavedRow row;
    row.Path = object.value(QStringLiteral("file")).toString();
    const std::optional<TRowState> state = StateNamed(object.value(QStringLiteral("state")).toString());
    const std::optional<TFileFacts> facts = FactsOf(object.value(QStringLiteral("facts")));
    if (!Value.isObject() || row.Path.isEmpty() || !state || !facts) {
        Error = QStringLiteral("a row without its file, state or facts");
        return std::nullopt;
    }
    row.State = *state;
    row.Facts = *facts;
    row.Output = object.value(QStringLiteral("output")).toString();
    row.Message = object.value(QStringLiteral("message")).toString();
    const QJsonValue leftovers = object.value(QStringLiteral("leftovers"));
    if (!leftovers.isUndefined() && !leftovers.isArray()) {
        Error = QStringLiteral("leftovers that are not a list");
        return std::nullopt;
    }
    for (const QJsonValue& entry : leftovers.toArray()) {
        const std::optional<TLeftover> leftover = LeftoverOf(entry);
        if (!leftover) {
            Error = QStringLiteral("a leftover without its path, device or inode");
            return std::nullopt;
        }
        row.Leftovers << *leftover;
    }
    return row;
}

}  // namespace

bool Unfinished(const QList<TSavedRow>& Rows)
{
    return std::any_of(Rows.begin(), Rows.end(), [](const TSavedRow& Row) { return Row.State != TRowState::Done; });
}

QByteArray SavedListDocument(const QList<TSavedRow>& Rows)
{
    QJsonArray rows;
    for (const TSavedRow& row : Rows)
        rows.append(RowObject(row));
    const QJsonObject document{{QStringLiteral("version"), SavedListVersion}, {QStringLiteral("rows"), rows}};
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

std::optional<QList<TSavedRow>> ParseSavedList(const QByteArray& Document, QString& Error)
{
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(Document, &parse);
    if (parse.error != QJsonParseError::NoError) {
        Error = parse.errorString();
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    if (!document.isObject() || object.value(QStringLiteral("version")).toInt(-1) != SavedListVersion) {
        Error = QStringLiteral("not a saved list of version %1").arg(SavedListVersion);
        return std::nullopt;
    }
    if (!object.value(QStringLiteral("rows")).isArray()) {
        Error = QStringLiteral("no rows");
        return std::nullopt;
    }
    QList<TSavedRow> rows;
    for (const QJsonValue& value : object.value(QStringLiteral("rows")).toArray()) {
        const std::optional<TSavedRow> row = RowOf(value, Error);
        if (!row)
            return std::nullopt;
        rows << *row;
    }
    return rows;
}

std::optional<QList<TSavedRow>> LoadSavedList(const QString& File, QString& Error)
{
    Error.clear();
    QFile file(File);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        Error = file.errorString();
        return std::nullopt;
    }
    return ParseSavedList(file.readAll(), Error);
}

bool SaveSavedList(const QString& File, const QList<TSavedRow>& Rows, QString& Error)
{
    QSaveFile file(File);
    if (!file.open(QIODevice::WriteOnly)) {
        Error = file.errorString();
        return false;
    }
    const QByteArray document = SavedListDocument(Rows);
    if (file.write(document) != document.size() || !file.commit()) {
        Error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

QString SetAsideSavedList(const QString& File)
{
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString name = File + QStringLiteral(".damaged") +
                             (attempt == 1 ? QString() : QLatin1Char('-') + QString::number(attempt));
        if (QFile::exists(name))
            continue;
        return QFile::rename(File, name) ? name : QString();
    }
    return QString();
}

}  // namespace kv::app
