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

namespace {
// No test may leave the next one an application about to quit: a Quit posted while a
// test ended the program (its windows closing outside the main loop) would otherwise
// end every later modal loop at once, so tests passed alone and failed in one run.
class NoQuitBetweenTests : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    }
};
} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // As the program block does: windows closing never end the application by themselves.
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_NUMERIC, "C");
    DecimalSeparator = QLatin1Char('.');
    Application.Title = QStringLiteral("Kestrovan for Windows");
    Application.ExeName = QString::fromLocal8Bit(argv[0]);
    InstallDefaultMessageScript();
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new NoQuitBetweenTests);
    return RUN_ALL_TESTS();
}
