#include "KyrMain.h"

#include "ui_KyrMain.h"

#include "Cal.h"
#include "Comm.h"
#include "Debug.h"
#include "Trace.h"
#include "Delays.h"
#include "Forms.h"
#include "HelpApi.h"
#include "HelpKit.h"
#include "KyrHelp.h"
#include "KyrMeter.h"
#include "KyrRecordsPort.h"
#include "KyrUpdate.h"
#include "Pass.h"
#include "VersionInfo.h"
#include "Setup.h"
#include "Shell.h"
#include "SysUtils.h"
#include "Waveform.h"
#include "AnalogMeter.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

TfmKyr* fmKyr = nullptr;
THookHelpSystem* HelpSystem = nullptr;

namespace {
QColor KyrColor(TKyrColor c)
{
    switch (c) {
    case TKyrColor::Red: return QColor(255, 0, 0);
    case TKyrColor::Lime: return QColor(0, 255, 0);
    case TKyrColor::Yellow: return QColor(255, 255, 0);
    case TKyrColor::Green: return QColor(0, 128, 0);
    case TKyrColor::BtnFace: break;
    }
    return QApplication::palette().color(QPalette::Button);
}

void SetBackground(QWidget* w, const QColor& c)
{
    // A new palette repaints the widget even when it holds the same colour.
    if (w->autoFillBackground() && w->palette().color(QPalette::Window) == c)
        return;
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// An edit given its own text again would still repaint it.
void SetEditText(QLineEdit* e, const QString& text)
{
    if (e->text() != text)
        e->setText(text);
}
} // namespace

// ---- The window ----

TfmKyr::TfmKyr(QWidget* parent) : QMainWindow(parent), ui(new Ui::TfmKyr)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmKyr"));
    PanelCal = ui->PanelCal;
    ProgressBar1 = ui->ProgressBar1;
    QLineEdit* const trip[6] = {nullptr, ui->TripCurr1, ui->TripCurr2, ui->TripCurr3, ui->TripCurr4, ui->TripCurr5};
    QLineEdit* const dec[6] = {nullptr, ui->Decay1, ui->Decay2, ui->Decay3, ui->Decay4, ui->Decay5};
    QLineEdit* const tt[6] = {nullptr, ui->TripTime1, ui->TripTime2, ui->TripTime3, ui->TripTime4, ui->TripTime5};
    QLineEdit* const rt[6] = {nullptr, ui->RecloseTime1, ui->RecloseTime2, ui->RecloseTime3, ui->RecloseTime4,
                              ui->RecloseTime5};
    QLabel* const lab[6] = {nullptr, ui->LabelOp1, ui->LabelOp2, ui->LabelOp3, ui->LabelOp4, ui->LabelOp5};
    for (int i = 1; i <= 5; ++i) {
        TripCurr[i] = trip[i];
        Decay[i] = dec[i];
        TripTime[i] = tt[i];
        RecloseTime[i] = rt[i];
        LabelOp[i] = lab[i];
    }
    Current = ui->Current;
    MinPickUpCurrent = ui->MinPickUpCurrent;
    MinPUlabel = ui->MinPUlabel;
    TestTypeSel = ui->TestTypeSel;
    TestTypeSelItem[0] = ui->TestTypeSelItem0;
    TestTypeSelItem[1] = ui->TestTypeSelItem1;
    cbRange = ui->cbRange;
    cbMaxOps = ui->cbMaxOps;
    BtnReclData = ui->BtnReclData;
    PanelArmedRunning = ui->PanelArmedRunning;
    BitBtnRunStopReset = ui->BitBtnRunStopReset;
    BtnCheckTCC = ui->BtnCheckTCC;
    lbCommError = ui->lbCommError;
    StatusBar1 = ui->StatusBar1;

    // The window as stored: light blue, client area 498 by 361 with the status bar, the
    // framework's 8-point dialog font (11 pixels).
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    QFont small = font;
    small.setPixelSize(10);
    TestTypeSelItem[0]->setFont(small);
    TestTypeSelItem[1]->setFont(small);
    SetBackground(this, QColor(192, 192, 255));
    SetBackground(ui->centralwidget, QColor(192, 192, 255));
    ui->centralwidget->setFixedSize(498, 342);
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (QLineEdit* e : ui->centralwidget->findChildren<QLineEdit*>()) {
        QPalette p = e->palette();
        p.setColor(QPalette::Base, face);
        e->setPalette(p);
    }
    const int widths[3] = {75, 200, 150};
    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(StatusBar1);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        // A fixed height (the one the bar gives it) and its own background in the bar's
        // colour: a new text then repaints the panel alone instead of laying out and
        // repainting the whole bar.
        StatusPanel[i]->setFixedHeight(14);
        StatusPanel[i]->setAutoFillBackground(true);
        StatusPanel[i]->setFrameShape(QFrame::Panel);
        StatusPanel[i]->setFrameShadow(QFrame::Sunken);
        // The last panel (the source) reaches to the end of the bar, as a status bar's
        // last panel does, so that a long port name is not cut while there is room.
        if (i < 2) {
            StatusPanel[i]->setFixedWidth(widths[i]);
            StatusBar1->addWidget(StatusPanel[i]);
        } else {
            StatusPanel[i]->setMinimumWidth(widths[i]);
            StatusBar1->addWidget(StatusPanel[i], 1);
        }
    }
    StatusPanel[2]->setText(QStringLiteral("Setting Up"));
    StatusBar1->setFixedHeight(19);
    SetBackground(StatusBar1, face);
    SetBackground(PanelArmedRunning, face);
    SetBackground(PanelCal, face);
    setFixedSize(498, 342 + 19 + menuBar()->sizeHint().height());
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    PlaceFrame(this, FrameCentred());

    OpenDialog1.Title = QStringLiteral("Select Waveform File");
    OpenDialog1.DefaultExt = QStringLiteral("*.kwf");
    OpenDialog1.Filter =
        QStringLiteral("Kestrovan Wave Files|*.kwf|Old Wave Files|*.wav|Wave Files|*.wv|All Files|*.*");
    SaveDialog1.Save = true;
    SaveDialog1.Title = QStringLiteral("Select Data File");
    SaveDialog1.DefaultExt = QStringLiteral("*.kdf");
    SaveDialog1.Filter = QStringLiteral("Kestrovan Data Files|*.kdf|Old Data Files|*.dat");

    testTypeGroup_ = new QButtonGroup(this);
    testTypeGroup_->addButton(TestTypeSelItem[0], 0);
    testTypeGroup_->addButton(TestTypeSelItem[1], 1);

    // Handlers, bound by name as the window's description binds them.
    auto bind = [this](QAction* a, void (TfmKyr::*h)()) {
        connect(a, &QAction::triggered, this, [this, h] { Guarded([this, h] { (this->*h)(); }); });
    };
    bind(ui->mCalibrate, &TfmKyr::mCalibrateClick);
    bind(ui->mOpen, &TfmKyr::mOpenClick);
    bind(ui->mReport, &TfmKyr::mReportClick);
    bind(ui->mSave, &TfmKyr::mSaveClick);
    bind(ui->mExit, &TfmKyr::mExitClick);
    bind(ui->mSetup, &TfmKyr::mSetupClick);
    bind(ui->mStartComm, &TfmKyr::mStartCommClick);
    bind(ui->mStopComm, &TfmKyr::mStopCommClick);
    bind(ui->mDatabase, &TfmKyr::mDatabaseClick);
    bind(ui->mDebugInfo, &TfmKyr::mDebugInfoClick);
    bind(ui->mHardwareStatus, &TfmKyr::mHardwareStatusClick);
    bind(ui->mWaveform, &TfmKyr::mWaveformClick);
    bind(ui->mAbout, &TfmKyr::mAboutClick);
    bind(ui->mContents, &TfmKyr::mContentsClick);
    bind(ui->mOpGuide, &TfmKyr::mOpGuideClick);
    auto click = [this](QPushButton* b, void (TfmKyr::*h)()) {
        connect(b, &QPushButton::clicked, this, [this, h] { Guarded([this, h] { (this->*h)(); }); });
    };
    click(BitBtnRunStopReset, &TfmKyr::BitBtnRunStopResetClick);
    click(BtnCheckTCC, &TfmKyr::BtnCheckTCCClick);
    click(BtnReclData, &TfmKyr::DataButtonClick);
    // Only the user's choices run the change handlers; the program's selections do not.
    connect(cbRange, &QComboBox::activated, this, [this] { Guarded([this] { cbRangeChange(); }); });
    connect(cbMaxOps, &QComboBox::activated, this, [this] { Guarded([this] { cbMaxOpsChange(); }); });
    connect(testTypeGroup_, &QButtonGroup::idClicked, this, [this] { Guarded([this] { TestTypeSelClick(); }); });
    PanelCal->installEventFilter(this);
    ui->centralwidget->installEventFilter(this);
    // Key preview: the window sees every typed character before its controls.
    qApp->installEventFilter(this);

    Guarded([this] { FormCreate(); });
}

TfmKyr::~TfmKyr()
{
    qApp->removeEventFilter(this);
    Guarded([this] { FormDestroy(); });
    if (fmKyr == this)
        fmKyr = nullptr;
    delete ui;
}

void TfmKyr::FormCreate()
{
    Trace(QStringLiteral("FormCreate Kyr "));
    DataSaved = true;
    Trace(QStringLiteral("CurrDir: ") + QDir::currentPath());

    // The program folder is where the program file is; nothing is made there. The data
    // folder is entered, or made and entered.
    ProgFolder = QFileInfo(Application.ExeName.isEmpty() ? QCoreApplication::applicationFilePath()
                                                         : Application.ExeName)
                     .absolutePath();
    Trace(QStringLiteral("ProgFolder: ") + ProgFolder);
    QString base = QDir::currentPath();
    GetSpecialFolder(CSIDL_COMMON_APPDATA, base);
    const QString folder = base + QStringLiteral("/Kestrovan");
    const bool haveDataFolder =
        QDir::setCurrent(folder) || (QDir().mkpath(folder) && QDir::setCurrent(folder));
    DataFolder = haveDataFolder ? QDir::currentPath() : folder;
    Trace(QStringLiteral("DataFolder: ") + DataFolder);
    if (!haveDataFolder) {
        // Without it neither setup nor calibration nor results can be kept: say so once
        // and end, rather than write them into some other folder.
        MessageDlg(QStringLiteral("Cannot make the data folder: ") + folder, mtError, Btn(mbOK));
        Application.Terminate();
    } else {
        QDir::setCurrent(DataFolder);
        RemoveStaleSaveTemporaries(DataFolder);
    }
    Trace(QStringLiteral("CurrDir: ") + QDir::currentPath());

    // The help file lies beside the program file, with the help control.
    Application.HelpFile = QCoreApplication::applicationDirPath() + QStringLiteral("/Kestrovan.chm");
    delete HelpSystem;
    HelpSystem = new THookHelpSystem(Application.HelpFile, QString(), 0);

    TestEngine = new TKyrUpdate(this, &EngineLink, fmCal, fmSetup, fmWaveform);

    const QDate fileDate = QFileInfo(Application.ExeName).lastModified().date();
    setWindowTitle(QStringLiteral("%1 (%2)").arg(windowTitle(), DateToStr(fileDate.isValid() ? fileDate : QDate::currentDate())));
    Trace(QStringLiteral("Program Version ") + windowTitle());

    if (haveDataFolder && !FileExists(QStringLiteral("KestrovanNorm.kwf")))
        fmWaveform->MakeWaveFile(QStringLiteral("KestrovanNorm.kwf"), false, NormSegments);
    if (haveDataFolder && !FileExists(QStringLiteral("KestrovanMpu.kwf")))
        fmWaveform->MakeWaveFile(QStringLiteral("KestrovanMpu.kwf"), true, MpuSegments);

    ProgramSetup();
    Trace(QStringLiteral("End FormCreate Kyr "));
}

void TfmKyr::FormShow()
{
    Trace(QStringLiteral("Form Show"));
    if (fmWaveform && !(fmWaveform->SampleRate > 0))
        fmWaveform->SampleRate = 2400;
}

void TfmKyr::FormPaint()
{
    if (Painted)
        return;
    Painted = true;
    if (ProgInitDone)
        return;
    // Dialogs must not open inside a paint event: the first initialisation runs right after it.
    QTimer::singleShot(0, this, [this] {
        Guarded([this] {
            // A program ended at the welcome window never initialises.
            if (!ProgInitDone && !Application.Terminated)
                ProgInit();
        });
    });
}

void TfmKyr::FormDestroy()
{
    if (TestEngine && TestEngine->Timer)
        TestEngine->Timer->stop();
    WaitMs(300);
    delete TestEngine;
    TestEngine = nullptr;
    delete HelpSystem;
    HelpSystem = nullptr;
    HHCloseAll();
}

void TfmKyr::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    Guarded([this] { FormShow(); });
}

void TfmKyr::paintEvent(QPaintEvent* e)
{
    QMainWindow::paintEvent(e);
    Guarded([this] { FormPaint(); });
}

void TfmKyr::closeEvent(QCloseEvent* e)
{
    // A close once the application is ending: the exit has already written the data
    // file and the trace, so the window goes without the close query and without a
    // second exit.
    if (Application.Terminated) {
        e->accept();
        return;
    }
    bool canClose = true;
    Guarded([&] { canClose = FormCloseQuery(); });
    if (!canClose) {
        e->ignore();
        return;
    }
    e->accept();
    Guarded([this] { FormClose(); });
}

void TfmKyr::mousePressEvent(QMouseEvent* e)
{
    QMainWindow::mousePressEvent(e);
    Guarded([this] { FormClick(); });
}

bool TfmKyr::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == PanelCal && e->type() == QEvent::MouseButtonDblClick) {
        Guarded([this] { PanelCalDblClick(); });
        return true;
    }
    if (watched == ui->centralwidget && e->type() == QEvent::MouseButtonPress) {
        Guarded([this] { FormClick(); });
        return true;
    }
    if (e->type() == QEvent::KeyPress && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
        auto* ke = static_cast<QKeyEvent*>(e);
        // Tab moves the focus before any typed character reaches the form, as it did
        // under the framework; only the characters that remain are the form's keys.
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab)
            return QMainWindow::eventFilter(watched, e);
        if (!ke->text().isEmpty() && !(ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            const QChar key = ke->text().at(0);
            Guarded([this, key] { FormKeyPress(key); });
            return true;  // every typed character is consumed
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TfmKyr::ProgramSetup()
{
    Trace(QStringLiteral("ProgramSetup ") + objectName() + QStringLiteral(" "));
    try {
        for (int i = 1; i <= 5; ++i) {
            auto* label = findChild<QLabel*>(QStringLiteral("LabelOp%1").arg(i));
            if (!findChild<QObject*>(QStringLiteral("LabelOp%1").arg(i)))
                throw Exception(QStringLiteral("LabelOp Not Found"));
            if (!label)
                throw Exception(QStringLiteral("Invalid class typecast"));
            OpLabels[i] = label;
            const char* names[4] = {"TripCurr", "Decay", "TripTime", "RecloseTime"};
            for (int c = 0; c < 4; ++c) {
                const QString name = QString::fromLatin1(names[c]) + QString::number(i);
                QObject* o = findChild<QObject*>(name);
                if (!o)
                    throw Exception(QString::fromLatin1(names[c]) + QStringLiteral(" Not Found"));
                auto* edit = qobject_cast<QLineEdit*>(o);
                if (!edit)
                    throw Exception(QStringLiteral("Invalid class typecast"));
                OpEdits[i][c] = edit;
            }
        }
    } catch (const Exception&) {
        Application.MessageBox(QStringLiteral("Component not found"), QStringLiteral("Error"), MB_OK);
        Application.Terminate();
    }
}

// ---- Program control ----

void TfmKyr::ProgInit()
{
    Trace(QStringLiteral("ProgInit "));
    fmSetup->SetupFileName = DataFolder + QStringLiteral("/Kestrovan.ksf");
    fmSetup->DataFileName = DataFolder + QStringLiteral("/Kestrovan.kdf");
    fmSetup->ReadSetupFile();

    {
        const QSignalBlocker block(cbRange);
        // The entries are replaced in place, so the selected range stays shown while the
        // initialisation goes on (a hardware search may ask its question meanwhile).
        while (cbRange->count() > 8)
            cbRange->removeItem(cbRange->count() - 1);
        for (int r = 1; r <= 8; ++r) {
            RangeFullScale = 0.1 * RangeTable[r] * fmSetup->ShuntAmperes / fmSetup->ShuntMillivolts;
            const char* fmt = RangeFullScale <= 25     ? "%5.3f A"
                              : RangeFullScale <= 250  ? "%5.2f A"
                              : RangeFullScale <= 2500 ? "%5.1f A"
                                                       : "%5.0f A";
            RangeText[r] = Format(fmt, RangeFullScale).trimmed();
            if (r <= cbRange->count())
                cbRange->setItemText(r - 1, RangeText[r]);
            else
                cbRange->addItem(RangeText[r]);
            RangeFormat[r] = QString::fromLatin1(fmt);
        }
    }

    bool found = false;
    if (ParamCount() > 0) {
        const QString given = CommandLineFileName(ParamStr(1));
        if (FileExists(given)) {
            fmWaveform->FileName = given;
            SetDemo(given);
        } else if (QFileInfo::exists(given) || ParamStr(1).endsWith(QStringLiteral(".kwf"), Qt::CaseInsensitive)) {
            // A waveform named on the command line that is missing or not a file is
            // reported; other parameters ("!", the curve program's) select no source.
            MessageDlg(QStringLiteral("Error loading: ") + ParamStr(1), mtError, Btn(mbOK));
        }
        found = false;
    } else if (!fmComm->PortFound) {
        HardwareSearch(found);
    } else {
        found = true;
    }

    if (found && fmCal->CalError) {
        DemoMode = false;
        Trace(QStringLiteral("Reset PIC "));
        // The reset ends the instrument's stream: stop it first, so the engine's ticks
        // during the wait do not take the silence for a lost link (step 7 restarts it).
        if (fmComm->Streaming)
            fmComm->StopComm();
        fmComm->SendStr(QByteArray(1, '\x1A'));
        WaitMs(1000);
        if (!fmCal->GetCalData())
            fmCal->CalError = true;
    }

    fmWaveform->SecPerSample = static_cast<float>(1.0 / fmWaveform->SampleRate);
    SetRange();
    ResetData();

    fmComm->StopComm();
    WaitMs(500);
    fmComm->ClearInput();
    // Enabling a running timer leaves it running: a restart would put its tick off again.
    if (!TestEngine->Timer->isActive())
        TestEngine->Timer->start();
    fmComm->StartComm();

    SelectTestType(fmSetup->TestType);
    TestEngine->ShowStatus();
    // The start-up table check belongs to the recloser records; its errors end the
    // initialisation and reach the caller.
    KyrRecords().CheckTables();

    ProgInitDone = true;
    Trace(QStringLiteral("End ProgInit "));
}

void TfmKyr::HardwareSearch(bool& found)
{
    fmComm->SerialPortOFF();
    found = false;
    bool retry = true;
    SetBackground(StatusBar1, QColor(255, 255, 0));
    StatusPanel[1]->setText(QStringLiteral("Checking Hardware ") + fmSetup->SourceName);
    DemoMode = false;
    while (retry && !found) {
        // Unsaved results stay unsaved: the resets that follow ask before they go.
        fmCal->CalError = true;
        // Every pass searches from a closed port, so a port left open by the last pass
        // is never taken for the instrument without a probe.
        fmComm->SerialPortOFF();
        QString port;
        fmComm->GetCommPortName(port);
        if (!port.isEmpty() && fmComm->TestComm(port) == 0) {
            fmSetup->SourceName = port;
            fmCal->GetCalData();
            found = true;
            break;
        }
        Trace(QStringLiteral("Hardware not found on port: ") + fmSetup->SourceName);
        const int answer = Application.MessageBox(QStringLiteral("Hardware Not Found. Try again?"),
                                                  QStringLiteral("Hardware Check"), MB_RETRYCANCEL);
        if (answer == IDRETRY) {
            Application.MessageBox(QStringLiteral("Turn Kestrovan off and remove USB cable"), QStringLiteral("Retry"),
                                   MB_OK);
            ShowWaitWindow(4000, QStringLiteral("Wait 4 Seconds"));
            Application.MessageBox(QStringLiteral("Turn Kestrovan on and replace USB cable"), QStringLiteral("Retry"),
                                   MB_OK);
            ShowWaitWindow(4000, QStringLiteral("Wait 4 Seconds"));
        } else {
            // No instrument answered: close whatever port the search left open, so no
            // range byte goes to a device that is not the instrument.
            fmComm->SerialPortOFF();
            SetDemo(QString());
            retry = false;
        }
    }
}

void TfmKyr::SetRange()
{
    Trace(QStringLiteral("SetRange "));
    const int r = std::clamp<int>(fmSetup->Range, 1, 8);
    TestEngine->TimeFormat = QStringLiteral("%8.4f secs");
    TestEngine->CurrentFormat = RangeFormat[r];
    fmComm->SendRange(fmSetup->Range);
    RangeFullScale = fmSetup->ShuntAmperes / fmSetup->ShuntMillivolts * 0.1 * RangeTable[r];
    fmWaveform->AmpsPerCount = static_cast<float>(RangeFullScale * fmCal->Factor[r]);
    const QSignalBlocker block(cbRange);
    cbRange->setCurrentIndex(r - 1);
    Trace(QStringLiteral("End SetRange "));
}

int TfmKyr::TestTypeSelItemIndex() const
{
    return testTypeGroup_->checkedId();
}

void TfmKyr::SetTestTypeSelItemIndex(int index)
{
    const QSignalBlocker b0(TestTypeSelItem[0]);
    const QSignalBlocker b1(TestTypeSelItem[1]);
    testTypeGroup_->setExclusive(false);
    TestTypeSelItem[0]->setChecked(index == 0);
    TestTypeSelItem[1]->setChecked(index == 1);
    testTypeGroup_->setExclusive(true);
}

void TfmKyr::SelectTestType(int t)
{
    SetTestTypeSelItemIndex(-1);
    SetTestTypeSelItemIndex(t != 0 ? 1 : 0);
    // Selecting an item is the selector's click: the type's settings apply again.
    TestTypeSelClick();
}

void TfmKyr::TestTypeSelClick()
{
    Trace(QStringLiteral("SetTestType "));
    if (TestTypeSelItemIndex() != 0) {
        fmSetup->TestType = 1;
        fmWaveform->FileName = QStringLiteral("KestrovanMpu.kwf");
        MaxOps = 1;
        cbMaxOps->setEnabled(false);
        MinPickUpCurrent->clear();
        MinPickUpCurrent->show();
        MinPUlabel->show();
        if (fmKyrMeter)
            fmKyrMeter->show();
        if (fmSetup->MaxOnTime < 10)
            fmSetup->MaxOnTime = 10;
    } else {
        fmSetup->TestType = 0;
        fmWaveform->FileName = QStringLiteral("KestrovanNorm.kwf");
        MaxOps = fmSetup->MaxOps;
        cbMaxOps->setEnabled(true);
        MinPickUpCurrent->hide();
        MinPUlabel->hide();
        if (fmKyrMeter)
            fmKyrMeter->hide();
    }
    SetMaxOps(MaxOps);
    ResetData();
    Trace(QStringLiteral("End SetTestType "));
}

void TfmKyr::SetMaxOps(int n)
{
    Trace(QStringLiteral("SetMaxOps ") + QString::number(n));
    for (int i = 1; i <= 5; ++i) {
        const bool shown = i <= n;
        for (int c = 0; c < 4; ++c)
            if (OpEdits[i][c])
                OpEdits[i][c]->setVisible(shown);
        if (OpLabels[i])
            OpLabels[i]->setVisible(shown);
    }
    const QSignalBlocker block(cbMaxOps);
    cbMaxOps->setCurrentIndex(n >= 1 && n <= 5 ? n - 1 : -1);
}

void TfmKyr::ResetData()
{
    Trace(QStringLiteral("ResetData "));
    if (!DataSaved) {
        if (Application.MessageBox(QStringLiteral("OK to discard data?"), QStringLiteral("Test Reset"), MB_YESNO) !=
            IDYES)
            return;
    }
    TestEngine->Reset();
    ShowCalibrationStatus();
    fmWaveform->SampleIndex = 0;
    OpCount = 0;
    DataSaved = true;
    BtnCheckTCC->setEnabled(false);
    TestEngine->TestArm();
    SetRunStopReset(DemoMode ? QStringLiteral("RUN") : QStringLiteral("READY"), TKyrColor::Green);
    Trace(QStringLiteral("End ResetData "));
}

void TfmKyr::ShowCalibrationStatus()
{
    const int d = fmCal->CalibrationDate;
    SetBackground(PanelCal, CalDateColour(d, Today()));
    PanelCal->setText(QStringLiteral("Calibration Date ") + DateToStr(DayNumberToDate(d)));
}

void TfmKyr::SetDemo(const QString& name)
{
    Trace(QStringLiteral("SetDemo "));
    DemoMode = true;
    if (fmComm->Streaming)
        fmComm->StopComm();
    if (fmComm->PortFound)
        fmComm->SerialPortOFF();
    fmComm->PortFound = false;

    auto defaultFile = [] {
        return fmSetup->TestType != 0 ? QStringLiteral("KestrovanMpu.kwf") : QStringLiteral("KestrovanNorm.kwf");
    };
    fmWaveform->FileName = name.isEmpty() ? defaultFile() : name;
    if (!fmWaveform->LoadFile(fmWaveform->FileName)) {
        fmWaveform->FileName = defaultFile();
        if (!fmWaveform->LoadFile(fmWaveform->FileName))
            MessageDlg(QStringLiteral("Error loading: ") + fmWaveform->FileName, mtError, Btn(mbOK));
    }

    const int count = std::min(fmWaveform->SampleCount - 1, static_cast<int>(TestEngine->DemoSamples.size()));
    for (int i = 0; i < count; ++i)
        TestEngine->DemoSamples[static_cast<size_t>(i)] = fmWaveform->Samples[i];
    const int r = std::clamp<int>(fmSetup->Range, 1, 8);
    fmWaveform->AmpsPerCount = static_cast<float>(RangeFullScale * fmCal->Factor[r]);
    fmWaveform->SampleIndex = 0;

    if (fmWaveform->Header.WaveType == 'N')
        fmSetup->TestType = 0;
    else if (fmWaveform->Header.WaveType == 'M')
        fmSetup->TestType = 1;

    QDir::setCurrent(DataFolder);
    fmCal->ReadCalFile();
    StatusPanel[2]->setMinimumWidth(150);

    SetRange();
    SelectTestType(fmSetup->TestType);
    ResetData();
    if (!TestEngine->Timer->isActive())
        TestEngine->Timer->start();
    Trace(QStringLiteral("End SetDemo "));
}

void TfmKyr::Start()
{
    Trace(QStringLiteral("Start "));
    if (!DemoMode) {
        fmComm->ClearInput();
        fmComm->StartComm();
    } else {
        DemoPlaying = true;
    }
    // A minimum pick-up test is watched on the meter, from either source.
    if (fmSetup->TestType == 1 && fmKyrMeter)
        fmKyrMeter->show();
    Trace(QStringLiteral("End Start "));
}

void TfmKyr::ProgExit()
{
    // The exit waits with messages processed (the data file's delay, its boxes): an Esc
    // or a close meanwhile must not start a second exit inside this one, nor one still
    // queued when the application is already ending.
    static bool exiting = false;
    if (exiting || Application.Terminated)
        return;
    exiting = true;
    struct Done {
        ~Done() { exiting = false; }
    } done;
    Trace(QStringLiteral("ProgExit"));
    fmComm->StopComm();
    if (fmSetup->DataFileName.isEmpty())
        fmSetup->DataFileName = QStringLiteral("Kestrovan.kdf");
    WriteDataFile(fmSetup->DataFileName);
    fmSetup->WriteSetupFile();
    try {
        if (fmDebug)
            fmDebug->SaveLog();
    } catch (const Exception& e) {
        // The trace is the least of what an exit keeps: say so, and end all the same.
        Application.ShowException(e.Message);
    }
    Application.Terminate();
}

TResultsData TfmKyr::CurrentResults() const
{
    TResultsData d;
    if (!TestEngine)
        return d;
    for (int i = 0; i < 5; ++i) {
        d.TripCurr[i] = TestEngine->TripCurr[static_cast<size_t>(i + 1)];
        d.TripTime[i] = TestEngine->TripTime[static_cast<size_t>(i + 1)];
        d.ReclTime[i] = TestEngine->ReclTime[static_cast<size_t>(i + 1)];
        d.Decay[i] = TestEngine->Decay[static_cast<size_t>(i + 1)];
    }
    d.PickupRms = TestEngine->PickupRms;
    return d;
}

bool TfmKyr::WriteDataFile(QString& fileName)
{
    Trace(QStringLiteral("WriteDataFile "));
    if (!IsDataFileName(fileName)) {
        Application.MessageBox(QStringLiteral("Must be type .kdf or .dat"), QStringLiteral("Wrong Data File Name"),
                               MB_OK);
        fileName = QStringLiteral("Kestrovan.kdf");
    }
    DelayMs(500);
    // Written beside the target and renamed over it: the curve program never reads a
    // half-written file, and a failure leaves the last good one in place.
    const bool written = SaveTextFile(fileName, ResultsDataLines(CurrentResults()));
    if (!written)
        MessageDlg(QStringLiteral("Error writing file: ") + fileName, mtError, Btn(mbAbort));
    Trace(QStringLiteral("End WriteDataFile "));
    return written;
}

// ---- Commands ----

void TfmKyr::mCalibrateClick()
{
    Trace(QStringLiteral("CalibrateClick "));
    if (fmComm->PortFound)
        fmComm->StopComm();
    auto* pass = new TfmPass(this);
    CalDateText = DateToStr(DayNumberToDate(fmCal->CalibrationDate));
    if (pass->exec() == QDialog::Accepted)
        fmCal->exec();
    delete pass;
    SetRange();
    ResetData();
    Trace(QStringLiteral("End CalibrateClick "));
}

void TfmKyr::mOpenClick()
{
    Trace(QStringLiteral("OpenClick "));
    OpenDialog1.FileName =
        fmSetup->TestType != 0 ? QStringLiteral("KestrovanMpu.kwf") : QStringLiteral("KestrovanNorm.kwf");
    OpenDialog1.InitialDir = DataFolder;
    // The dialog gives the chosen file's full path; that is the file played.
    if (OpenDialog1.Execute(this))
        fmWaveform->FileName = OpenDialog1.FileName;
    SetDemo(fmWaveform->FileName);
}

void TfmKyr::mReportClick()
{
    KyrRecords().ShowReport();
}

void TfmKyr::mSaveClick()
{
    Trace(QStringLiteral("SaveButtonClick "));
    SaveDialog1.InitialDir = DataFolder;
    if (fmSetup->DataFileName.isEmpty())
        fmSetup->DataFileName = QStringLiteral("Kestrovan.kdf");
    SaveDialog1.FileName = fmSetup->DataFileName;
    if (SaveDialog1.Execute(this)) {
        // The chosen file itself: its folder made current and the name written there, so
        // the name rules look at the name alone and a refused name becomes
        // "Kestrovan.kdf" beside it. Saved only when the file was written.
        QString name = SaveDialog1.FileName;
        const QString folder = ExtractFilePath(name);
        if (!folder.isEmpty() && QDir::setCurrent(folder))
            name = ExtractFileName(name);
        if (WriteDataFile(name))
            DataSaved = true;
    }
    QDir::setCurrent(DataFolder);
}

void TfmKyr::mExitClick() { ProgExit(); }

void TfmKyr::mSetupClick()
{
    fmSetup->exec();  // the setup window always closes with OK
    ProgInit();
}

void TfmKyr::mStartCommClick() { Start(); }

void TfmKyr::mStopCommClick() { fmComm->StopComm(); }

void TfmKyr::mDatabaseClick()
{
    KyrRecords().ShowDatabase();
}

void TfmKyr::mDebugInfoClick()
{
    if (fmDebug)
        fmDebug->show();
}

void TfmKyr::mHardwareStatusClick() { fmComm->show(); }

void TfmKyr::mWaveformClick()
{
    Trace(QStringLiteral("WaveformClick "));
    fmWaveform->SerNum = fmCal->SerNum;
    ShowModal(fmWaveform);
    Trace(QStringLiteral("End WaveformClick "));
}

void TfmKyr::mAboutClick()
{
    QString version;
    GetAppVersion(version);
    Application.MessageBox(QStringLiteral("Version: ") + version +
                               QStringLiteral("\r\rKestrovan Test Systems\rRecloser test sets and software\r"
                                              "Serial port component: TSerialPort"),
                           QStringLiteral("Kestrovan"), MB_OKCANCEL);
}

void TfmKyr::mContentsClick()
{
    if (HtmlHelp)
        HtmlHelp(nullptr, QFile::encodeName(Application.HelpFile).constData(), HH_DISPLAY_TOPIC, 0);
}

void TfmKyr::mOpGuideClick() { ShowOperationGuide(); }

void TfmKyr::BitBtnRunStopResetClick()
{
    Trace(QStringLiteral("BitBtnRunStopResetClick "));
    const QString caption = BitBtnRunStopReset->text();
    if (caption == QLatin1String("RUN")) {
        if (DemoMode) {
            SetDemo(QString());
            Start();
        }
    } else if (caption == QLatin1String("STOP")) {
        if (TestEngine->Result == 0)
            TestEngine->TestAbort();
    } else if (caption == QLatin1String("RESET")) {
        if (fmComm->PortFound) {
            SelectTestType(fmSetup->TestType);
        } else {
            // The search that follows a lost link must not take unsaved results with
            // it: ask first, as every other reset does.
            if (!DataSaved) {
                if (Application.MessageBox(QStringLiteral("OK to discard data?"), QStringLiteral("Test Reset"),
                                           MB_YESNO) != IDYES)
                    return;
                DataSaved = true;
            }
            ProgInit();
        }
        ResetData();
    }
}

void TfmKyr::BtnCheckTCCClick()
{
    if (ParamCount() > 0 && ParamStr(1) != QLatin1String("!")) {
        QString name = IsKyrRunName(ProgName) ? QStringLiteral("KYRRUN.DAT") : fmSetup->DataFileName;
        // The curve program reads the file once this program has ended: ending after a
        // failed write would hand it the last test's file as this one's. Stay, with the
        // results on screen, so the user can try again.
        if (WriteDataFile(name))
            ProgExit();
    } else if (ParamCount() > 0) {
        KyrRecords().RecreateResultsWindow();
    } else {
        if (fmKyrMeter)
            fmKyrMeter->hide();
        KyrRecords().RecreateResultsWindow();
    }
}

void TfmKyr::DataButtonClick()
{
    // The recloser data window belongs to the recloser records, created at start by the
    // program block.
    KyrRecords().ShowReclData();
}

void TfmKyr::cbRangeChange()
{
    Trace(QStringLiteral("cbRangeChange "));
    fmSetup->Range = static_cast<int16_t>(cbRange->currentIndex() + 1);
    SetRange();
    ResetData();
}

void TfmKyr::cbMaxOpsChange()
{
    Trace(QStringLiteral("cbMaxOpsChange "));
    if (fmSetup->TestType == 0)
        fmSetup->MaxOps = cbMaxOps->currentIndex() + 1;
    SetMaxOps(fmSetup->MaxOps);
    ResetData();
}

void TfmKyr::PanelCalDblClick() { PanelCal->hide(); }

void TfmKyr::FormClick() { QApplication::beep(); }

void TfmKyr::FormKeyPress(QChar key)
{
    if (!cbRange->isEnabled())
        return;
    if (key == QLatin1Char('+') && fmSetup->Range < 8) {
        fmSetup->Range = static_cast<int16_t>(fmSetup->Range + 1);
        SetRange();
        ResetData();
    } else if (key == QLatin1Char('-') && fmSetup->Range > 1) {
        fmSetup->Range = static_cast<int16_t>(fmSetup->Range - 1);
        SetRange();
        ResetData();
    } else if (key.unicode() == 27) {
        ProgExit();
    } else {
        ResetData();
    }
}

bool TfmKyr::FormCloseQuery()
{
    Trace(QStringLiteral("FormCloseQuery "));
    if (HtmlHelp)
        HtmlHelp(nullptr, nullptr, HH_CLOSE_ALL, 0);
    if (OpCount < 1 && TestEngine->Result == 0)
        return true;
    if (!DataSaved) {
        if (Application.MessageBox(QStringLiteral("OK to discard data?"), QStringLiteral("Program Close"), MB_YESNO) !=
            IDYES)
            return false;
    }
    if (fmComm->Streaming) {
        fmComm->StopComm();
        DelayMs(300);
    }
    return true;
}

void TfmKyr::FormClose() { ProgExit(); }

// ---- What the engine writes ----

void TfmKyr::SetStatusPanel(int Panel, const QString& Text)
{
    if (Panel >= 0 && Panel < 3 && StatusPanel[Panel]->text() != Text)
        StatusPanel[Panel]->setText(Text);
}

QString TfmKyr::StatusPanelText(int panel) const
{
    return panel >= 0 && panel < 3 ? StatusPanel[panel]->text() : QString();
}

void TfmKyr::SetStatusColor(TKyrColor Color) { SetBackground(StatusBar1, KyrColor(Color)); }

void TfmKyr::SetArmedRunning(const QString& Caption, TKyrColor Color)
{
    if (PanelArmedRunning->text() != Caption)
        PanelArmedRunning->setText(Caption);
    SetBackground(PanelArmedRunning, KyrColor(Color));
}

void TfmKyr::SetRunStopReset(const QString& Caption, TKyrColor FontColor)
{
    if (BitBtnRunStopReset->text() != Caption)
        BitBtnRunStopReset->setText(Caption);
    // Selected by name, so the button's tooltip keeps its own font and colour.
    const QString style =
        QStringLiteral("#BitBtnRunStopReset { color: %1; font-weight: bold; }").arg(KyrColor(FontColor).name());
    if (BitBtnRunStopReset->styleSheet() != style)
        BitBtnRunStopReset->setStyleSheet(style);
}

void TfmKyr::SetCheckTCCEnabled(bool Enabled) { BtnCheckTCC->setEnabled(Enabled); }
void TfmKyr::SetRangeEnabled(bool Enabled) { cbRange->setEnabled(Enabled); }
void TfmKyr::SetTestTypeSelEnabled(bool Enabled) { TestTypeSel->setEnabled(Enabled); }
void TfmKyr::SetMaxOpsBoxEnabled(bool Enabled) { cbMaxOps->setEnabled(Enabled); }

void TfmKyr::SetProgress(int Position)
{
    // The bar ignores values outside its range; the display limits them instead.
    ProgressBar1->setValue(std::clamp(Position, ProgressBar1->minimum(), ProgressBar1->maximum()));
}

void TfmKyr::SetMeterValue(int Value)
{
    if (fmKyrMeter && fmKyrMeter->Meter)
        fmKyrMeter->Meter->SetValue(static_cast<float>(Value));
}

void TfmKyr::SetCommErrorVisible(bool Visible) { lbCommError->setVisible(Visible); }
void TfmKyr::SetCurrentText(const QString& Text) { SetEditText(Current, Text); }
void TfmKyr::SetMinPickUpText(const QString& Text) { SetEditText(MinPickUpCurrent, Text); }

void TfmKyr::SetOpText(int Op, TOpColumn Column, const QString& Text)
{
    if (Op >= 1 && Op <= 5 && Column >= 0 && Column < 4 && OpEdits[Op][Column])
        SetEditText(OpEdits[Op][Column], Text);
}

void TfmKyr::ShowCommStatus() { fmComm->show(); }
