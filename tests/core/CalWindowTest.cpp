// The "Calibration Menu" window, offscreen.
#include "Cal.h"
#include "KyrGlobals.h"
#include "SysUtils.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

QByteArray CustomBlock()
{
    return "0.001225\r\n0.001000\r\n0.001500\r\n0.002000\r\n0.001999\r\n0.001234\r\n0.001111\r\n0.003000\r\n"
           "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\nKV-1234   \r\n46000\r\n";
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CalWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        DemoMode = true;  // the window reads the file
        DataFolder = dir.path();
        // The range texts the main window's initialisation makes from the range table.
        const char* texts[9] = {"", "50 A", "100 A", "250 A", "500 A", "1000 A", "2500 A", "5000 A", "10000 A"};
        for (int r = 0; r <= 8; ++r)
            RangeText[r] = QString::fromLatin1(texts[r]);
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(CustomBlock());
        f.close();
        cal = std::make_unique<TfmCal>();
        fmCal = cal.get();
        ScriptedMessages m;
        cal->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(cal.get()));
        // The fetch is queued after the show: wait until it has filled the window.
        ASSERT_TRUE(QTest::qWaitFor([&] { return cal->CalSerNum->text() == QStringLiteral("KV-1234   "); }, 30000));
        ASSERT_TRUE(m.requests.empty());
    }
    void TearDown() override
    {
        cal.reset();
        DemoMode = false;
        DataFolder.clear();
        for (QString& t : RangeText)
            t.clear();
    }
    QString path() const { return dir.file(QStringLiteral("Kestrovan.kcf")); }
    TempCurrentDir dir;
    std::unique_ptr<TfmCal> cal;
};

TEST_F(CalWindow, ShowsTheFileWhenShown)
{
    EXPECT_EQ(cal->windowTitle(), QStringLiteral("Calibration Menu"));
    // Centred on the screen by its frame (placed again once the frame is known).
    const QPoint mid = cal->screen()->geometry().center();
    const auto offCentre = [&] { return (cal->frameGeometry().center() - mid).manhattanLength(); };
    (void)QTest::qWaitFor([&] { return offCentre() <= 2; }, 2000);
    EXPECT_LE(offCentre(), 2);
    EXPECT_EQ(cal->CalFactor[1]->text(), QStringLiteral("0.001225"));
    EXPECT_EQ(cal->CalFactor[8]->text(), QStringLiteral("0.003000"));
    EXPECT_EQ(cal->CalOnThresh->value(), 40);
    EXPECT_EQ(cal->CalMPUThresh->value(), 100);
    EXPECT_EQ(cal->CalOnDelay->value(), 5);
    EXPECT_EQ(cal->CalAvgTime->currentText(), QStringLiteral("0.100"));
    EXPECT_EQ(cal->CalSerNum->text(), QStringLiteral("KV-1234   "));
    EXPECT_EQ(cal->CalDate->text(), DateToStr(DayNumberToDate(46000)));
    EXPECT_EQ(cal->Label[1]->text(), QStringLiteral("50 A"));
    EXPECT_TRUE(cal->RadioAll->isChecked());
    EXPECT_FALSE(cal->CalError);
}

TEST_F(CalWindow, SpinEditsKeepValuesWithinTheirFields)
{
    struct Case {
        QSpinBox* box;
        int lo, hi, step;
        int* field;
    } cases[] = {
        {cal->CalOnThresh, 5, 99, 1, &cal->OnThresh},   {cal->CalMPUThresh, 50, 500, 10, &cal->MPUThresh},
        {cal->CalOnDelay, 1, 20, 1, &cal->OnDelay},     {cal->CalOffThresh, 5, 99, 1, &cal->OffThresh},
        {cal->CalOffDelay, 1, 20, 1, &cal->OffDelay},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.box->minimum(), c.lo) << c.box->objectName().toStdString();
        EXPECT_EQ(c.box->maximum(), c.hi);
        EXPECT_EQ(c.box->singleStep(), c.step);
        c.box->setValue(c.hi);
        c.box->stepBy(1);
        EXPECT_EQ(c.box->value(), c.hi);
        EXPECT_EQ(*c.field, c.hi);  // copied at once
        c.box->setValue(-3);
        EXPECT_EQ(*c.field, c.lo);
    }
}

TEST_F(CalWindow, AdjustStepsFactorsWithinTheirBounds)
{
    // All, down: 0.001225 -> 0.001224; 0.001000 is at the bound and stays.
    QTest::mouseClick(cal->SpinBtnAdjustDown, Qt::LeftButton);
    EXPECT_EQ(cal->CalFactor[1]->text(), QStringLiteral("0.001224"));
    EXPECT_EQ(cal->CalFactor[2]->text(), QStringLiteral("0.001000"));
    EXPECT_EQ(cal->CalFactor[8]->text(), QStringLiteral("0.002999"));
    // All, up: below 0.002 rises, 0.002 and above stay.
    QTest::mouseClick(cal->SpinBtnAdjustUp, Qt::LeftButton);
    QTest::mouseClick(cal->SpinBtnAdjustUp, Qt::LeftButton);
    EXPECT_EQ(cal->CalFactor[1]->text(), QStringLiteral("0.001226"));
    EXPECT_EQ(cal->CalFactor[4]->text(), QStringLiteral("0.002000"));
    EXPECT_EQ(cal->CalFactor[5]->text(), QStringLiteral("0.002000"));  // 0.001999 -> 0.001998 -> 0.001999 -> 0.002000
    EXPECT_EQ(cal->CalFactor[8]->text(), QStringLiteral("0.002999"));

    // Selected: only the factor whose edit has the focus.
    cal->RadioSelected->setChecked(true);
    cal->CalFactor[3]->setFocus();
    QTest::mouseClick(cal->SpinBtnAdjustUp, Qt::LeftButton);
    EXPECT_EQ(cal->CalFactor[3]->text(), QStringLiteral("0.001502"));  // 0.001500 -1 +2 by All, +1 alone
    EXPECT_EQ(cal->CalFactor[1]->text(), QStringLiteral("0.001226"));
    EXPECT_EQ(cal->CalFactor[6]->text(), QStringLiteral("0.001235"));
    // No factor edit focused: nothing changes.
    cal->CalSerNum->setFocus();
    QTest::mouseClick(cal->SpinBtnAdjustUp, Qt::LeftButton);
    EXPECT_EQ(cal->CalFactor[3]->text(), QStringLiteral("0.001502"));
    EXPECT_FLOAT_EQ(cal->Factor[3], 0.001502f);
}

TEST_F(CalWindow, AverageTimeChoiceAndTodayTakeEffectAtOnce)
{
    const int avgSamples = cal->AvgSamples;
    cal->CalAvgTime->setCurrentIndex(0);
    emit cal->CalAvgTime->textActivated(cal->CalAvgTime->currentText());
    EXPECT_DOUBLE_EQ(cal->AvgTime, 0.25);
    EXPECT_EQ(cal->CalAvgTime->currentText(), QStringLiteral("0.250"));
    EXPECT_EQ(cal->AvgSamples, avgSamples);  // derived only by the next read

    QTest::mouseClick(cal->btToday, Qt::LeftButton);
    EXPECT_EQ(cal->CalDate->text(), DateToStr(QDate::currentDate()));
    EXPECT_EQ(cal->CalibrationDate, Today());
    cal->close();
    EXPECT_EQ(ReadFile(path()), CustomBlock());  // nothing kept without SAVE
}

TEST_F(CalWindow, UnsavedEditsSurviveReactivation)
{
    cal->CalFactor[2]->setText(QStringLiteral("0.004321"));
    cal->CalSerNum->setText(QStringLiteral("TYPED"));
    QFile::remove(path());  // a fetch now would complain about the missing file
    ScriptedMessages m;
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(cal.get(), &deactivate);
    QApplication::setActiveWindow(cal.get());
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(cal.get(), &activate);
    QTest::qWait(20);
    EXPECT_TRUE(m.requests.empty());
    EXPECT_EQ(cal->CalFactor[2]->text(), QStringLiteral("0.004321"));
    EXPECT_EQ(cal->CalSerNum->text(), QStringLiteral("TYPED"));
}

TEST_F(CalWindow, SaveWritesTheEntriesAndCloses)
{
    cal->CalFactor[1]->setText(QStringLiteral("0.001300"));
    cal->CalOffDelay->setValue(18);
    cal->CalAvgTime->setEditText(QStringLiteral("0.150"));
    cal->CalSerNum->setText(QStringLiteral("ABCDEFGHIJKLMN"));
    cal->CalDate->setText(DateToStr(DayNumberToDate(46100)));
    ScriptedMessages m;
    m.answer(mrOk);
    QTest::mouseClick(cal->SaveButton, Qt::LeftButton);
    EXPECT_EQ(m.texts(), std::vector<QString>{QStringLiteral("Writing to Cal File Kestrovan.kcf")});
    const QByteArray file = ReadFile(path());
    EXPECT_EQ(file.mid(0, 10), QByteArray("0.001300\r\n"));
    EXPECT_EQ(file.mid(97, 4), QByteArray("18\r\n"));
    EXPECT_EQ(file.mid(101, 8), QByteArray(" 0.150\r\n"));
    EXPECT_EQ(file.mid(109, 12), QByteArray("ABCDEFGHIJ\r\n"));
    EXPECT_EQ(file.mid(121, 7), QByteArray("46100\r\n"));
    EXPECT_EQ(cal->AvgSamples, 360);
    EXPECT_FALSE(cal->CalError);
    EXPECT_FALSE(cal->isVisible());
}

// Entries that do not fit their fields are refused before anything is written.
TEST_F(CalWindow, SaveRefusesEntriesThatDoNotFit)
{
    struct Case {
        const char* what;
        QLineEdit* edit;  // nullptr: the average time box
        QString text;
    } cases[] = {
        {"factor of 12.5", cal->CalFactor[4], QStringLiteral("12.5")},
        {"factor just below 10 rounding to 10", cal->CalFactor[1], QStringLiteral("9.9999999")},
        {"negative factor", cal->CalFactor[2], QStringLiteral("-0.0012")},
        {"average time of 150 s", nullptr, QStringLiteral("150")},
        {"negative average time", nullptr, QStringLiteral("-0.1")},
        {"date with a 4-digit day number", cal->CalDate, DateToStr(QDate(1900, 6, 1))},
        // What the engine cannot use.
        {"factor of 0", cal->CalFactor[3], QStringLiteral("0")},
        {"factor that the file would hold as 0", cal->CalFactor[3], QStringLiteral("0.0000004")},
        {"factor of 4e38", cal->CalFactor[6], QStringLiteral("4e38")},
        {"factor of 1e38", cal->CalFactor[7], QStringLiteral("1e38")},
        {"average time of 0", nullptr, QStringLiteral("0")},
        {"average time of 99.999 s", nullptr, QStringLiteral("99.999")},
        {"average time of 10.001 s", nullptr, QStringLiteral("10.001")},
        {"average time of 1e95 s", nullptr, QStringLiteral("1e95")},
        {"average time of 1e9 s", nullptr, QStringLiteral("1e9")},
    };
    for (const Case& c : cases) {
        cal->RefreshCal();
        if (c.edit)
            c.edit->setText(c.text);
        else
            cal->CalAvgTime->setEditText(c.text);
        ScriptedMessages m;
        m.answer(mrOk).answer(mrOk);
        QTest::mouseClick(cal->SaveButton, Qt::LeftButton);
        ASSERT_EQ(m.requests.size(), 1u) << c.what << ": " << m.texts().front().toStdString();
        EXPECT_EQ(m.requests[0].dlgType, mtError) << c.what;
        EXPECT_TRUE(cal->isVisible()) << c.what;
        EXPECT_EQ(ReadFile(path()), CustomBlock()) << c.what;
    }
    // A text that is no number stops the save with the conversion message.
    cal->RefreshCal();
    cal->CalFactor[5]->setText(QStringLiteral("abc"));
    ScriptedMessages m;
    QTest::mouseClick(cal->SaveButton, Qt::LeftButton);
    ASSERT_EQ(m.requests.size(), 1u);
    EXPECT_TRUE(m.requests[0].text.contains(QStringLiteral("'abc' is not a valid floating point value")))
        << m.requests[0].text.toStdString();
    EXPECT_TRUE(cal->isVisible());
    EXPECT_EQ(ReadFile(path()), CustomBlock());
}

// A typed average time is taken at once (the engine's next reset uses it for its
// tick): one the engine cannot use is refused there too, and the old value stays.
TEST_F(CalWindow, AverageTimeBoxRefusesWhatTheEngineCannotUse)
{
    const double was = cal->AvgTime;
    struct Case { const char* text; bool taken; double want; };
    const Case cases[] = {{"99.999", false, was}, {"1e95", false, was}, {"-0.1", false, was},
                          {"0", false, was},      {"10", true, 10.0},   {"0.001", true, 0.001},
                          {"0.0004", false, 0.001}};
    for (const Case& c : cases) {
        cal->CalAvgTime->setEditText(QString::fromLatin1(c.text));
        ScriptedMessages m;
        emit cal->CalAvgTime->textActivated(cal->CalAvgTime->currentText());
        EXPECT_EQ(m.requests.size(), c.taken ? 0u : 1u) << c.text;
        EXPECT_DOUBLE_EQ(cal->AvgTime, c.want) << c.text;
        EXPECT_EQ(cal->CalAvgTime->currentText(), Format("%4.3f", c.want)) << c.text;
    }
}

TEST_F(CalWindow, RenderedForALook)
{
    cal->Label[1]->setFocus();
    const QImage image = cal->grab().toImage();
    EXPECT_EQ(image.size(), cal->size());
    EXPECT_TRUE(image.save(ArtifactPath(QStringLiteral("CalibrationMenu.png"))));
}

}  // namespace
