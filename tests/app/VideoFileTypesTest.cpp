// The video file kinds the window takes: the open dialog's filter, and the desktop entry that has file
// managers offer the program for the same kinds.
#include <gtest/gtest.h>

#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <QTextStream>

#include "app/logic/FileList.h"
#include "app/logic/VideoFileTypes.h"
#include "app/logic/WindowLogic.h"

namespace {

using namespace kv::app;

// The value of Key in the [Desktop Entry] group of the desktop file Path.
QString DesktopEntryValue(const QString& Path, const QString& Key)
{
    QFile file(Path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << Path.toStdString();
    QTextStream in(&file);
    QString group;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[')) {
            group = line;
        } else if (group == QStringLiteral("[Desktop Entry]") && line.section('=', 0, 0).trimmed() == Key) {
            return line.section('=', 1).trimmed();
        }
    }
    return {};
}

TEST(VideoFileTypesTest, TheOpenDialogTakesTheOriginalKindsThenWebmOgvAndM4v)
{
    EXPECT_EQ(TWindowLogic::VideoFileFilter(),
              QStringLiteral("Video Files|*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;"
                             "*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;*.TP;*.IFO;*.NSV;*.MTS;*.M2TS;*.WEBM;*.OGV;*.M4V"));
    for (const char* name : {"/v/clip.webm", "/v/CLIP.OGV", "/v/clip.M4v", "/v/clip.avi"})
        EXPECT_TRUE(MatchesFilter(QString::fromLatin1(name), TWindowLogic::VideoFileFilter())) << name;
    EXPECT_FALSE(MatchesFilter(QStringLiteral("/v/clip.dv"), TWindowLogic::VideoFileFilter()));
}

TEST(VideoFileTypesTest, TheDesktopEntryOffersTheProgramForExactlyTheKindsTheWindowTakes)
{
    const QString mimeList = DesktopEntryValue(QStringLiteral(KELVANE_DESKTOP_ENTRY), QStringLiteral("MimeType"));
    ASSERT_FALSE(mimeList.isEmpty());
    const QStringList offered = mimeList.split(';', Qt::SkipEmptyParts);
    EXPECT_EQ(QSet<QString>(offered.begin(), offered.end()).size(), offered.size()) << "each type named once";
    EXPECT_EQ(offered, VideoMimeTypes()) << "the desktop entry's MimeType= and the table of VideoFileTypes.cpp";
}

TEST(VideoFileTypesTest, EachKindNamesTheMimeTypesTheDesktopGivesItsFiles)
{
    const QMimeDatabase mimes;
    for (const TVideoFileType& type : VideoFileTypes()) {
        const QString extension = QString::fromLatin1(type.Extension).toLower();
        SCOPED_TRACE(extension.toStdString());
        // The types the desktop's database gives a file of this kind (".ts" is also a Qt Linguist text).
        QSet<QString> given;
        for (const QMimeType& mime : mimes.mimeTypesForFileName(QStringLiteral("clip.") + extension))
            if (!mime.name().startsWith(QStringLiteral("text/")))
                given << mime.name();
        // The table's types, aliases resolved to the names the database uses.
        QSet<QString> listed;
        for (const QString& name : QString::fromLatin1(type.MimeTypes).split(';', Qt::SkipEmptyParts)) {
            const QMimeType mime = mimes.mimeTypeForName(name);
            EXPECT_TRUE(mime.isValid()) << name.toStdString() << " is not a known MIME type";
            listed << mime.name();
        }
        EXPECT_EQ(listed, given);
    }
}

}  // namespace
