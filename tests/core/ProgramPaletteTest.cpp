// Under a dark desktop palette the program keeps the light palette its forms' colours
// were chosen for: white edits with black text on the light-blue form, the RESET button's
// green on a light button, black test type labels.
#include "ProgramFixture.h"

#include "Kestrovan10.h"
#include "KyrMain.h"
#include "TestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QPalette DarkPalette()
{
    QPalette p(QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::WindowText, QColor(0xE0, 0xE0, 0xE0));
    p.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
    p.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, QColor(0xE0, 0xE0, 0xE0));
    return p;
}

class ProgramPalette : public ProgramFixture {
protected:
    void SetUp() override
    {
        previous_ = QApplication::palette();
        QApplication::setPalette(DarkPalette());
        ProgramFixture::SetUp();
    }
    void TearDown() override
    {
        ProgramFixture::TearDown();
        QApplication::setPalette(previous_);
    }
    QPalette previous_;
};

TEST_F(ProgramPalette, TheFormsKeepTheirContrastUnderADarkDesktopPalette)
{
    UseProgramPalette();
    StartProgram();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(fmKyr));
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));

    for (QLineEdit* edit : {fmKyr->TripTime[1], fmKyr->Current, fmKyr->TripCurr[2]}) {
        ASSERT_NE(edit, nullptr);
        EXPECT_GE(edit->palette().color(QPalette::Base).lightness(), 230) << qPrintable(edit->objectName());
        EXPECT_LE(edit->palette().color(QPalette::Text).lightness(), 40) << qPrintable(edit->objectName());
    }
    for (QRadioButton* item : fmKyr->TestTypeSelItem) {
        if (!item)
            continue;
        EXPECT_LE(item->palette().color(QPalette::WindowText).lightness(), 40) << qPrintable(item->text());
        EXPECT_LE(item->palette().color(QPalette::ButtonText).lightness(), 40) << qPrintable(item->text());
    }
    QPushButton* reset = fmKyr->BitBtnRunStopReset;
    EXPECT_GE(reset->palette().color(QPalette::Button).lightness(), 200);

    // What is drawn: an edit's inside is white.
    QLineEdit* edit = fmKyr->TripTime[1];
    const QImage shot = edit->grab().toImage();
    EXPECT_GE(QColor(shot.pixel(shot.width() - 4, shot.height() / 2)).lightness(), 230);
    EXPECT_TRUE(fmKyr->grab().save(ArtifactPath(QStringLiteral("main_window_under_dark_palette.png"))));
}

} // namespace
