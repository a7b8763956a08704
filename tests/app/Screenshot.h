// Screenshots the window tests leave for people to look at: build/screenshots/NAME.png.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QString>
#include <QWidget>

namespace kvtest {

inline void SaveScreenshot(QWidget& Widget, const QString& Name)
{
    QDir().mkpath(QStringLiteral(KELVANE_SCREENSHOT_DIR));
    const QImage image = Widget.grab().toImage();
    ASSERT_FALSE(image.isNull()) << Name.toStdString();
    EXPECT_TRUE(image.save(QStringLiteral(KELVANE_SCREENSHOT_DIR "/") + Name + QStringLiteral(".png")))
        << Name.toStdString();
}

}  // namespace kvtest
