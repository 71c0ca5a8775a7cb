#include "KyrResults.h"

#include "ui_KyrResults.h"

#include "Forms.h"
#include "Graphics.h"
#include "KyrGlobals.h"
#include "KyrTables.h"
#include "Sound.h"
#include "SysUtils.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <optional>
#include <utility>

// ---- The window ---------------------------------------------------------------------------

bool ResultsAnalyzed = false;
TfmKyrResults* fmKyrResults = nullptr;

const char* const TfmKyrResults::ResultFields[15] = {"TestCurr", "MinCurr", "MaxCurr", "OptCurr", "ResCurr",
                                                     "TestTrip", "MinTrip", "MaxTrip", "OptTrip", "ResTrip",
                                                     "TestRecl", "MinRecl", "MaxRecl", "OptRecl", "ResRecl"};

namespace {
// The window's outer size is the client area plus a dialog frame (for its size only: it
// is placed by its real frame).
constexpr int FrameWidth = 16, FrameHeight = 36;
constexpr int OuterHeight = 525, MinOuterWidth = 500;

void SetEditColors(QLineEdit* e, const QColor* base, const QColor* text)
{
    QPalette p = e->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        if (base)
            p.setColor(g, QPalette::Base, *base);
        if (text)
            p.setColor(g, QPalette::Text, *text);
    }
    e->setPalette(p);
}

int FieldIndex(const QString& name, int& row)
{
    // "eb" + field + row number.
    if (!name.startsWith(QLatin1String("eb")) || name.size() < 4)
        return -1;
    row = name.right(1).toInt();
    const QString field = name.mid(2, name.size() - 3);
    for (int i = 0; i < 15; ++i)
        if (field == QLatin1String(TfmKyrResults::ResultFields[i]))
            return row >= 1 && row <= 4 ? i : -1;
    return -1;
}
} // namespace

TfmKyrResults::TfmKyrResults(IReclDataSource* Hub, TKyrRecordsData* Data, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(new Ui::TfmKyrResults), hub_(Hub),
      ownData_(Data ? nullptr : std::make_unique<TKyrRecordsData>()), data_(Data ? Data : ownData_.get())
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmKyrResults"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);
    setFixedHeight(OuterHeight - FrameHeight);
    setMinimumWidth(MinOuterWidth - FrameWidth);

    ebTestMPU = ui->ebTestMPU;
    ebMinMPU = ui->ebMinMPU;
    ebMaxMPU = ui->ebMaxMPU;
    ebOptMPU = ui->ebOptMPU;
    ebResMPU = ui->ebResMPU;
    ebResults = ui->ebResults;
    ebOpCounter = ui->ebOpCounter;
    ebComments = ui->ebComments;
    btClose = ui->btClose;
    sbKeyboardInput = ui->sbKeyboardInput;
    btAnalyze = ui->btAnalyze;
    btSaveResults = ui->btSaveResults;
    btViewResults = ui->btViewResults;
    btReport = ui->btReport;

    // Test values bold; limits disabled on the button face; results on gray.
    const QColor face = ColorToQColor(clBtnFace);
    const QColor gray = ColorToQColor(clGray);
    auto style = [&](QLineEdit* e, char kind) {
        e->setReadOnly(true);
        if (kind == 'T') {
            QFont bold = e->font();
            bold.setBold(true);
            e->setFont(bold);
        } else if (kind == 'R') {
            SetEditColors(e, &gray, nullptr);
        } else {
            e->setEnabled(false);
            SetEditColors(e, &face, nullptr);
        }
    };
    for (int n = 1; n <= 4; ++n)
        for (const char* field : ResultFields)
            if (QLineEdit* e = FindEdit(QStringLiteral("eb%1%2").arg(QLatin1String(field)).arg(n)))
                style(e, field[0] == 'O' || field[0] == 'M' ? 'L' : field[0]);
    style(ebTestMPU, 'T');
    style(ebMinMPU, 'L');
    style(ebMaxMPU, 'L');
    style(ebOptMPU, 'L');
    style(ebResMPU, 'R');

    auto click = [this](QPushButton* b, void (TfmKyrResults::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    click(btClose, &TfmKyrResults::btCloseClick);
    click(sbKeyboardInput, &TfmKyrResults::sbKeyboardInputClick);
    click(btAnalyze, &TfmKyrResults::btAnalyzeClick);
    click(btSaveResults, &TfmKyrResults::btSaveResultsClick);
    click(btViewResults, &TfmKyrResults::btViewResultsClick);
    click(btReport, &TfmKyrResults::btReportClick);
}

TfmKyrResults::~TfmKyrResults()
{
    if (fmKyrResults == this)
        fmKyrResults = nullptr;
    delete ui;
}

QLineEdit* TfmKyrResults::FindEdit(const QString& name) const { return findChild<QLineEdit*>(name); }

void TfmKyrResults::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (!e->spontaneous())
        Guarded([this] { FormShow(); });
}

bool TfmKyrResults::event(QEvent* e)
{
    const bool r = QWidget::event(e);
    if (e->type() == QEvent::WindowDeactivate) {
        const QWidget* now = QApplication::activeWindow();
        lostToModal_ = now && now != this && now->isModal();
    } else if (e->type() == QEvent::WindowActivate) {
        // The activation a closing message box hands back is no new visit: running the
        // activation again would show a failed analysis's box again, for ever.
        const bool fromModal = std::exchange(lostToModal_, false);
        if (!fromModal)
            Guarded([this] { FormActivate(); });
    }
    return r;
}

void TfmKyrResults::closeEvent(QCloseEvent* e)
{
    // At the program's end the window goes as the others do, without its question: a
    // save refused there would keep an ended program running.
    if (Application.Terminated) {
        e->accept();
        return;
    }
    // A save that fails inside the close query keeps the window open with its results.
    bool canClose = false;
    Guarded([this, &canClose] { canClose = FormCloseQuery(); });
    if (!canClose) {
        e->ignore();
        return;
    }
    Guarded([this] { FormClose(); });
    e->accept();
}

// The window's right edge goes by its frame as the window manager draws it.
void TfmKyrResults::PlaceFromRight(int margin)
{
    PlaceFrame(this, [margin](const QRect& frame, const QRect& screen) {
        return QPoint(screen.left() + LeftFor(screen.width(), frame.width(), margin), frame.top());
    });
}

void TfmKyrResults::FormShow() { PlaceFromRight(0); }

void TfmKyrResults::FormActivate()
{
    // The boxes of an analysis hand the activation back to this window while the
    // analysis is still running.
    if (analyzing_)
        return;
    PlaceFromRight(2);
    if (!sbKeyboardInput->isChecked()) {
        static const char* const testFields[3] = {"TestCurr", "TestTrip", "TestRecl"};
        static const int testIndex[3] = {0, 5, 10};
        for (int n = 1; n <= 4; ++n) {
            const std::optional<TLastTestTexts> last = TestSet ? TestSet->LastTest(n) : std::nullopt;
            const QString source[3] = {last ? last->TripCurr : QString(), last ? last->TripTime : QString(),
                                       last ? last->RecloseTime : QString()};
            bool found = true;
            for (int i = 0; i < 3 && found; ++i) {
                QLineEdit* e = FindEdit(QStringLiteral("eb%1%2").arg(QLatin1String(testFields[i])).arg(n));
                ResultEdits[n][testIndex[i]] = e;
                found = e && last;
                if (found) {
                    e->setText(source[i]);
                    e->setCursorPosition(0);
                }
            }
            if (!found)
                Application.MessageBox(QStringLiteral("Component not found"), QStringLiteral("Error"), MB_OK);
        }
    }
    // A new window analyses at its first activation even when the flag is still set
    // from a window that was hidden or freed without closing: it has no limits yet.
    const bool first = !activated_;
    activated_ = true;
    if (!ResultsAnalyzed || first)
        AnalyzeResults();
}

TResultsInput TfmKyrResults::GatherInput()
{
    TResultsInput in;
    if (hub_) {
        const TReclTestData rd = hub_->PreparedTest();
        in.ReclDataVisible = rd.Shown;
        in.CurveVerified = rd.CurveVerified;
        in.cbTestType = rd.TestType;
        in.cbPhase = rd.Phase;
        in.ebPhaseMPU = rd.PhaseMPU;
        in.ebGndMPU = rd.GndMPU;
        in.ebReclTime = rd.ReclTime;
        in.cbReclFastOps = rd.FastOpsText;
        in.cbGndFastOps = rd.GndFastOpsText;
        for (int k = 0; k < 4; ++k) {
            in.ebCurveRef[k] = rd.CurveRef[k];
            in.ebCurveTolMin[k] = rd.CurveTolMin[k];
            in.ebCurveTolMax[k] = rd.CurveTolMax[k];
        }
        in.CurrMultiple = rd.CurrMultiple;
        in.FastOps = rd.FastOps;
        in.GndFastOps = rd.GndFastOps;
        in.TotalOps = rd.TotalOps;
        if (in.ReclDataVisible && in.CurveVerified && in.cbTestType != QLatin1String("MPU"))
            hub_->RefreshCurveTimes();
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 10; ++i)
                in.CurveSqrtTimes[k][i] = data_->CurveSqrtTimes[k][i];
    }
    in.MaxOps = MaxOps;
    in.KeyboardInput = sbKeyboardInput->isChecked();
    in.MainMinPickUp = TestSet ? TestSet->MinPickUpText() : QString();
    in.ebTestMPU = ebTestMPU->text();
    for (int n = 1; n <= 4; ++n) {
        auto text = [this, n](const char* field) {
            const QLineEdit* e = FindEdit(QStringLiteral("eb%1%2").arg(QLatin1String(field)).arg(n));
            return e ? e->text() : QString();
        };
        in.ebTestCurr[n] = text("TestCurr");
        in.ebTestTrip[n] = text("TestTrip");
        in.ebTestRecl[n] = text("TestRecl");
    }
    return in;
}

void TfmKyrResults::AnalyzeResults()
{
    analyzing_ = true;
    try {
        const TResultsOutcome o = JudgeResults(GatherInput());
        if (o.Started)
            ResultFlags = o.ResultFlags;
        if (o.MeasRead) {
            for (int n = 1; n <= 5; ++n) {
                MeasCurr[n] = o.MeasCurr[n];
                MeasTrip[n] = o.MeasTrip[n];
                MeasRecl[n] = o.MeasRecl[n];
            }
        }
        if (o.MPURead)
            MeasMPU = o.MeasMPU;
        Apply(o);
    } catch (...) {
        analyzing_ = false;
        throw;
    }
    analyzing_ = false;
}

void TfmKyrResults::Apply(const TResultsOutcome& o)
{
    for (const TResultsEffect& e : o.Effects) {
        switch (e.kind) {
        case TResultsEffect::SetText:
        case TResultsEffect::SetColor:
        case TResultsEffect::SetFontColor: {
            QLineEdit* ed = FindEdit(e.Name);
            if (!ed) {
                Application.MessageBox(QStringLiteral("Component not found"), QStringLiteral("Error"), MB_OK);
                break;
            }
            int row = 0;
            const int field = FieldIndex(e.Name, row);
            if (field >= 0)
                ResultEdits[row][field] = ed;
            if (e.kind == TResultsEffect::SetText) {
                ed->setText(e.Text);
                ed->setCursorPosition(0);
            } else {
                const QColor c = ColorToQColor(e.Color);
                if (e.kind == TResultsEffect::SetColor)
                    SetEditColors(ed, &c, nullptr);
                else
                    SetEditColors(ed, nullptr, &c);
            }
            break;
        }
        case TResultsEffect::MsgDialog:
            MessageDlg(e.Text, mtWarning, Btn(mbOK));
            break;
        case TResultsEffect::MsgBox:
            Application.MessageBox(e.Text, e.Caption, MB_OK);
            break;
        case TResultsEffect::Beep:
            MessageBeep(0);
            break;
        case TResultsEffect::ConvertError:
            Application.ShowException(e.Text);
            break;
        case TResultsEffect::ShowReclData:
            if (hub_)
                hub_->ShowDataForm();
            break;
        case TResultsEffect::Analyzed:
            ResultsAnalyzed = true;
            break;
        case TResultsEffect::FocusAnalyze:
            btAnalyze->setFocus();
            break;
        }
    }
}

void TfmKyrResults::sbKeyboardInputClick() { SetKeyboardInput(sbKeyboardInput->isChecked()); }

void TfmKyrResults::SetKeyboardInput(bool down)
{
    for (int n = 1; n <= 4; ++n)
        for (const char* field : {"TestCurr", "TestTrip", "TestRecl"})
            if (QLineEdit* e = FindEdit(QStringLiteral("eb%1%2").arg(QLatin1String(field)).arg(n)))
                e->setReadOnly(!down);
    ebTestMPU->setReadOnly(!down);
    ebResults->setReadOnly(!down);
}

void TfmKyrResults::btAnalyzeClick()
{
    ResultsAnalyzed = false;
    AnalyzeResults();
}

void TfmKyrResults::btSaveResultsClick()
{
    // The save waits with the windows alive: a second click meanwhile must not store
    // the row twice.
    if (saving_)
        return;
    saving_ = true;
    btSaveResults->setEnabled(false);
    try {
        SaveResults();
    } catch (...) {
        saving_ = false;
        btSaveResults->setEnabled(true);
        throw;
    }
    saving_ = false;
    btSaveResults->setEnabled(true);
}

void TfmKyrResults::SaveResults()
{
    TReclTables* tables = hub_ ? hub_->ReclTables() : nullptr;
    TTable* table = tables ? tables->tblRes : nullptr;
    const QString fileName = (table ? table->TableName : QStringLiteral("KyrRes")) + QStringLiteral(".dbf");
    if (!table || !FileExists(fileName)) {
        Application.MessageBox(QStringLiteral("Results file ") + fileName + QStringLiteral(" not found"),
                               QStringLiteral("Error"), MB_OK);
        return;
    }
    TResultsSaveInput in;
    in.IncludeInReport =
        Application.MessageBox(QStringLiteral("Include these results in report?"), QStringLiteral("Report"), MB_YESNO) !=
        IDNO;
    if (TestSet)
        TestSet->ShowWaitWindow(1000, QStringLiteral("Saving Results file: ") + fileName);

    // The texts as the windows show them now, every field checked before anything is
    // stored: a text that does not convert leaves the table as it was.
    const TReclTestData rd = hub_->PreparedTest();
    in.cbReclID = rd.ReclID;
    in.cbTechID = rd.TechID;
    in.cbCustID = rd.CustID;
    in.cbReclType = rd.ReclType;
    in.cbReclCoil = rd.ReclCoil;
    in.cbReclGndCT = rd.ReclGndCT;
    in.cbPhase = rd.Phase;
    in.cbReclFastOps = rd.FastOpsText;
    in.cbReclDelayOps = rd.DelayOpsText;
    in.cbReclDelayCurve = rd.DelayCurve;
    in.cbGndFastOps = rd.GndFastOpsText;
    in.cbGndFastCurve = rd.GndFastCurve;
    in.cbGndDelayOps = rd.GndDelayOpsText;
    in.cbGndSlowCurve = rd.GndSlowCurve;
    in.cbTestType = rd.TestType;
    in.ebResults = ebResults->text();
    for (int n = 1; n <= 5; ++n) {
        in.MeasCurr[n] = MeasCurr[n];
        in.MeasTrip[n] = MeasTrip[n];
        in.MeasRecl[n] = MeasRecl[n];
    }
    in.MeasMPU = MeasMPU;
    in.ebMinMPU = ebMinMPU->text();
    in.ebMaxMPU = ebMaxMPU->text();
    in.ebOptMPU = ebOptMPU->text();
    for (int n = 1; n <= 4; ++n) {
        auto text = [this, n](const char* field) {
            const QLineEdit* e = FindEdit(QStringLiteral("eb%1%2").arg(QLatin1String(field)).arg(n));
            return e ? e->text() : QString();
        };
        in.ebMinTrip[n] = text("MinTrip");
        in.ebMaxTrip[n] = text("MaxTrip");
        in.ebOptTrip[n] = text("OptTrip");
    }
    in.ebOpCounter = ebOpCounter->text();
    in.ebComments = ebComments->text();
    in.Now = QDateTime::currentDateTime();
    const TResultsRecord r = MakeResultsRecord(in);

    table->Open();
    try {
        table->InsertRecord(ResultsRecordValues(r, table->FieldNames()));
    } catch (...) {
        table->Close();
        throw;
    }
    table->Close();
    if (TestSet)
        TestSet->SetDataSaved(true);
}

void TfmKyrResults::btViewResultsClick()
{
    if (hub_)
        hub_->ShowDatabase();
}

void TfmKyrResults::btReportClick()
{
    if (hub_)
        hub_->ShowReport();
}

void TfmKyrResults::btCloseClick() { close(); }

bool TfmKyrResults::FormCloseQuery()
{
    if (TestSet && !TestSet->DataSaved()) {
        if (Application.MessageBox(QStringLiteral("Save Data?"), QStringLiteral("Results Form Close"), MB_YESNO) == IDYES)
            btSaveResultsClick();
    }
    ResultsAnalyzed = false;
    return true;
}

void TfmKyrResults::FormClose()
{
    {
        const QSignalBlocker block(sbKeyboardInput);
        sbKeyboardInput->setChecked(false);
    }
    if (TestSet)
        TestSet->RestoreMainWindow();
}

