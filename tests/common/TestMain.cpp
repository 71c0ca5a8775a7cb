// Test entry: the offscreen platform when none is set (test discovery runs this
// binary straight after the build), one QApplication, C numerics for C libraries,
// and message boxes answered by a script so no test ever waits on one.
#include "TestSupport.h"

#include "Forms.h"
#include "SysUtils.h"

#include <QApplication>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    DecimalSeparator = QLatin1Char('.');
    Application.Title = QStringLiteral("Kestrovan for Windows");
    Application.ExeName = QString::fromLocal8Bit(argv[0]);
    InstallDefaultMessageScript();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
