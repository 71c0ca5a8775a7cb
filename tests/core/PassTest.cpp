#include "Pass.h"
#include "Debug.h"
#include "TestSupport.h"
#include "VersionInfo.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {
const QString kWrong = "Password incorrect.  Please try again.";

class PassFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        fmDebug = new TfmDebug();
        CalDateText = "12/10/2026";
        pass = std::make_unique<TfmPass>();
    }
    void TearDown() override
    {
        pass.reset();
        delete fmDebug;
    }
    std::unique_ptr<TfmPass> pass;
};
}  // namespace

TEST_F(PassFixture, DialogShowsTheCalibrationDateAndHidesTheEntry)
{
    EXPECT_EQ(pass->windowTitle(), "Password Dialog");
    EXPECT_EQ(pass->size(), QSize(216, 119));
    EXPECT_EQ(pass->lbCalDate->text(), "Calibration Date:");
    pass->show();
    EXPECT_EQ(pass->lbCalDate->text(), "Calibration Date: 12/10/2026");
    EXPECT_EQ(pass->Label1->text(), "Enter password:");
    EXPECT_EQ(pass->Password->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(pass->OKBtn->isDefault());
    EXPECT_EQ(pass->focusWidget(), pass->Password);
    pass->hide();
}

TEST_F(PassFixture, OnlyTheExactCodeOpensTheWay)
{
    struct Case { const char* typed; bool accepted; };
    const Case cases[] = {
        {"9847", true}, {"9847 ", false}, {" 9847", false}, {"", false}, {"98470", false}, {"9846", false},
        {"984", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TfmPass dlg;
        dlg.show();
        QTest::keyClicks(dlg.Password, c.typed);
        ScriptedMessages m;
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
        if (c.accepted) {
            EXPECT_TRUE(m.requests.empty());
            EXPECT_FALSE(dlg.isVisible());
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
        } else {
            ASSERT_EQ(m.texts(), std::vector<QString>{kWrong});
            EXPECT_EQ(m.requests[0].dlgType, mtInformation);
            EXPECT_EQ(m.requests[0].buttons, Btn(mbOK));
            EXPECT_TRUE(dlg.isVisible());  // another attempt, as many as wanted
            EXPECT_EQ(dlg.Password->text(), c.typed);
            EXPECT_EQ(dlg.focusWidget(), dlg.Password);
        }
        if (*c.typed) {
            EXPECT_FALSE(fmDebug->TraceText().contains(c.typed));
        }
    }
}

TEST_F(PassFixture, ModalResultFollowsTheWayTheDialogIsLeft)
{
    struct Case { const char* what; std::function<void(TfmPass&)> act; int result; int messages; };
    const Case cases[] = {
        {"wrong, then right with Enter", [](TfmPass& d) {
             QTest::keyClicks(d.Password, "1234");
             QTest::keyClick(d.Password, Qt::Key_Return);
             d.Password->clear();
             QTest::keyClicks(d.Password, "9847");
             QTest::keyClick(d.Password, Qt::Key_Return);
         }, QDialog::Accepted, 1},
        {"Cancel button", [](TfmPass& d) { QTest::keyClicks(d.Password, "9847"); d.CancelBtn->click(); },
         QDialog::Rejected, 0},
        {"Esc", [](TfmPass& d) { QTest::keyClick(d.Password, Qt::Key_Escape); }, QDialog::Rejected, 0},
        {"close box", [](TfmPass& d) { d.close(); }, QDialog::Rejected, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedMessages m;
        TfmPass dlg;
        QTimer::singleShot(0, &dlg, [&] { c.act(dlg); });
        EXPECT_EQ(dlg.exec(), c.result);
        EXPECT_EQ(static_cast<int>(m.requests.size()), c.messages);
    }
}

TEST(VersionInfo, VersionComesFromTheProjectVersion)
{
    QString text = "stale";
    GetAppVersion(text);
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+\\.\\d+$").match(text).hasMatch()) << text.toStdString();
    EXPECT_EQ(text, QString("%1.%2.%3.%4")
                        .arg(KV_VERSION_MAJOR + 0)
                        .arg(KV_VERSION_MINOR + 0)
                        .arg(KV_VERSION_PATCH + 0)
                        .arg(KV_VERSION_TWEAK + 0));
}
