#include "KyrData.h"

#include "ui_KyrData.h"

#include "Trace.h"
#include "Dialogs.h"
#include "Forms.h"
#include "InputBox.h"
#include "PaintBox.h"
#include "KyrGlobals.h"
#include "KyrSqlText.h"
#include "SysUtils.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <cmath>

TfmReclData* fmReclData = nullptr;
bool KyrDataRefresh = true;
QString LastReclIDEntered;

namespace {

const QString kCurveFileName = QStringLiteral("Kestrovan.rcf");

QColor ButtonFace() { return QApplication::palette().color(QPalette::Button); }
QColor WindowColour() { return QApplication::palette().color(QPalette::Base); }

void SetBaseColour(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    for (auto g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        p.setColor(g, QPalette::Base, c);
    w->setPalette(p);
}

// Program-set texts, lists and selections run no change handler.
void SetBoxText(QComboBox* box, const QString& text)
{
    const QSignalBlocker block(box);
    box->setEditText(text);
}

void SetBoxIndex(QComboBox* box, int index)
{
    const QSignalBlocker block(box);
    box->setCurrentIndex(index);
    if (index < 0 || index >= box->count())
        box->setEditText(QString());
}

// A new list; the text stays.
void SetBoxItems(QComboBox* box, const QStringList& items)
{
    const QSignalBlocker block(box);
    const QString text = box->currentText();
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setEditText(text);
}

QString Item(const QComboBox* box, int i) { return i >= 0 && i < box->count() ? box->itemText(i) : QString(); }

bool ListHolds(const QComboBox* box, const QString& text)
{
    return box->findText(text, Qt::MatchFixedString) >= 0;  // without regard to case
}

} // namespace

// ====================================================================== creation

TfmReclData::TfmReclData(IReclDataSource* Hub, TKyrRecordsData* Data, QWidget* parent)
    : QWidget(parent), ui(new Ui::TfmReclData), hub_(Hub),
      ownData_(Data ? nullptr : std::make_unique<TKyrRecordsData>()), data_(Data ? Data : ownData_.get())
{
    if (!data_->Tables)
        data_->Tables = std::make_unique<TReclTables>();
    TReclTables& t = *data_->Tables;
    tblTechs = t.tblTechs;
    dsTechs = t.dsTechs;
    qTechs = t.qTechs;
    tblReclosers = t.tblReclosers;
    dsReclosers = t.dsReclosers;
    qReclosers = t.qReclosers;
    tblTypes = t.tblTypes;
    dsTypes = t.dsTypes;
    qTypes = t.qTypes;
    tblCust = t.tblCust;
    dsCust = t.dsCust;
    qCust = t.qCust;
    tblRes = t.tblRes;
    dsResults = t.dsResults;
    qRes = t.qRes;

    ui->setupUi(this);
    setObjectName(QStringLiteral("fmReclData"));
    cbTechID = ui->cbTechID;
    cbReclID = ui->cbReclID;
    cbCustID = ui->cbCustID;
    cbReclType = ui->cbReclType;
    ebReclTime = ui->ebReclTime;
    btSaveSettings = ui->btSaveSettings;
    cbTestType = ui->cbTestType;
    cbPhase = ui->cbPhase;
    PageControl2 = ui->PageControl2;
    tsPhaseTrip = ui->tsPhaseTrip;
    tsGndTrip = ui->tsGndTrip;
    cbReclFastOps = ui->cbReclFastOps;
    cbReclDelayOps = ui->cbReclDelayOps;
    cbReclCoil = ui->cbReclCoil;
    cbReclDelayCurve = ui->cbReclDelayCurve;
    ebPhaseMPU = ui->ebPhaseMPU;
    cbReclGndCT = ui->cbReclGndCT;
    cbGndFastCurve = ui->cbGndFastCurve;
    cbGndFastOps = ui->cbGndFastOps;
    cbGndDelayOps = ui->cbGndDelayOps;
    cbGndSlowCurve = ui->cbGndSlowCurve;
    ebGndMPU = ui->ebGndMPU;
    PageControl1 = ui->PageControl1;
    tsFast = ui->tsFast;
    tsDelay = ui->tsDelay;
    tsGndFast = ui->tsGndFast;
    tsGndSlow = ui->tsGndSlow;
    lbFastCurve = ui->lbFastCurve;
    lbDelayCurve = ui->lbDelayCurve;
    lbGndFastCurve = ui->lbGndFastCurve;
    lbGndSlowCurve = ui->lbGndSlowCurve;
    btSaveFast = ui->btSaveFast;
    btSaveDelay = ui->btSaveDelay;
    btSaveGndFast = ui->btSaveGndFast;
    btSaveGndSlow = ui->btSaveGndSlow;
    btViewCurves = ui->btViewCurves;
    btRunTest = ui->btRunTest;

    // Texts at start that a list does not give by its first item.
    SetBoxIndex(cbTestType, cbTestType->findText(QStringLiteral("4X")));
    SetBoxIndex(cbPhase, -1);
    SetBoxIndex(cbReclFastOps, 2);
    SetBoxIndex(cbReclDelayOps, 2);
    SetBoxIndex(cbReclCoil, 0);
    SetBoxIndex(cbReclDelayCurve, 0);
    SetBoxIndex(cbReclGndCT, -1);
    SetBoxText(cbReclGndCT, QStringLiteral("100:5 Ser"));  // a text the list does not hold
    SetBoxIndex(cbGndFastCurve, -1);
    SetBoxIndex(cbGndFastOps, 2);
    SetBoxIndex(cbGndDelayOps, 2);
    SetBoxIndex(cbGndSlowCurve, -1);
    SetBoxIndex(cbTechID, -1);
    SetBoxIndex(cbCustID, -1);
    SetBoxIndex(cbReclID, -1);
    SetBoxIndex(cbReclType, -1);
    for (QComboBox* box : findChildren<QComboBox*>()) {
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        // An editable box that finishes editing (loses the focus, opens its list, takes
        // Enter) with a text that some item holds selects that item and reports it as
        // picked. After the program set a list or a text that is no pick of the user's:
        // it would run the box's change handler on a mere focus move. The user's own
        // picks (from the list, with the arrow keys or the wheel) still report.
        if (QLineEdit* edit = box->lineEdit())
            disconnect(edit, &QLineEdit::editingFinished, box, nullptr);
    }
    SetBaseColour(ebReclTime, ButtonFace());
    PageControl2->setCurrentWidget(tsPhaseTrip);
    PageControl1->setCurrentWidget(tsFast);
    // The curve pages' texts at start are written with a point: they show in the
    // system's format, as a stored curve does.
    for (int kind = 0; kind < CurveKindCount; ++kind)
        for (int i = 0; i < CurveFieldCount; ++i)
            if (QLineEdit* e = CurveEdit(kind, i))
                e->setText(CurveValueShown(e->text()));

    ConnectHandlers();
    Trace(QStringLiteral("fmReclData FormCreate"));
    OpenCurveStore();
}

TfmReclData::~TfmReclData()
{
    CloseCurveStore();
    KyrDataRefresh = true;
    delete ui;
}

void TfmReclData::ConnectHandlers()
{
    // A change handler runs on the user's typing or picking only.
    auto onUserChange = [this](QComboBox* box, void (TfmReclData::*handler)()) {
        connect(box, &QComboBox::activated, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
        connect(box->lineEdit(), &QLineEdit::textEdited, this,
                [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    onUserChange(cbReclType, &TfmReclData::cbReclTypeChange);
    onUserChange(cbReclCoil, &TfmReclData::cbReclCoilChange);
    onUserChange(cbReclGndCT, &TfmReclData::cbReclGndCTChange);
    onUserChange(cbReclDelayCurve, &TfmReclData::cbReclDelayCurveChange);
    onUserChange(cbGndFastCurve, &TfmReclData::cbGndFastCurveChange);
    onUserChange(cbGndSlowCurve, &TfmReclData::cbGndSlowCurveChange);
    onUserChange(cbTestType, &TfmReclData::cbTestTypeChange);
    onUserChange(cbPhase, &TfmReclData::cbTestTypeChange);
    onUserChange(cbReclID, &TfmReclData::cbReclIDChange);
    onUserChange(cbCustID, &TfmReclData::cbCustIDChange);
    for (QComboBox* box : {cbReclFastOps, cbReclDelayOps, cbGndFastOps, cbGndDelayOps}) {
        auto run = [this, box] { Guarded([&] { UpdateOps(box); }); };
        connect(box, &QComboBox::activated, this, run);
        connect(box->lineEdit(), &QLineEdit::textEdited, this, run);
    }
    // Every program change of PageControl2 is made with its signals blocked.
    connect(PageControl2, &QTabWidget::currentChanged, this, [this] { Guarded([&] { PageControl2Change(); }); });
    // A curve page made active, by the user or the program, runs its show handler.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        Guarded([&] {
            QWidget* page = PageControl1->currentWidget();
            if (page == tsFast)
                tsFastShow();
            else if (page == tsDelay)
                tsDelayShow();
            else if (page == tsGndFast)
                tsGndFastShow();
            else if (page == tsGndSlow)
                tsGndSlowShow();
        });
    });
    connect(btSaveSettings, &QPushButton::clicked, this, [this] { Guarded([&] { btSaveSettingsClick(); }); });
    connect(btRunTest, &QPushButton::clicked, this, [this] { Guarded([&] { btRunTestClick(); }); });
    connect(btViewCurves, &QPushButton::clicked, this, [this] { Guarded([&] { btViewCurvesClick(); }); });
    for (QPushButton* b : {btSaveFast, btSaveDelay, btSaveGndFast, btSaveGndSlow})
        connect(b, &QPushButton::clicked, this, [this, b] { Guarded([&] { SaveCurveClick(b); }); });
    connect(ebReclTime, &QLineEdit::textChanged, this, [this] { Guarded([&] { ebReclTimeChange(); }); });

    // Enter, exit, Enter-key and double-click events come through the event filter.
    for (QComboBox* box : {cbTechID, cbCustID, cbReclID, cbReclType}) {
        box->installEventFilter(this);
        box->lineEdit()->installEventFilter(this);
    }
    ebReclTime->installEventFilter(this);
    for (int k = 0; k < CurveKindCount; ++k) {
        CurveLabel(k)->installEventFilter(this);
        if (QLineEdit* ref = CurveEdit(k, 1))
            ref->installEventFilter(this);
    }
}

bool TfmReclData::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        Guarded([&] { FormActivate(); });
    return QWidget::event(e);
}

void TfmReclData::closeEvent(QCloseEvent* e)
{
    // Closing only hides the form.
    e->accept();
    Guarded([&] { FormCloseEvent(); });
}

bool TfmReclData::eventFilter(QObject* watched, QEvent* e)
{
    // Focus leaving for a drop-down list or another window is no exit.
    auto realFocusChange = [](QEvent* ev) {
        const auto r = static_cast<QFocusEvent*>(ev)->reason();
        return r != Qt::PopupFocusReason && r != Qt::ActiveWindowFocusReason;
    };
    QComboBox* box = nullptr;
    for (QComboBox* b : {cbTechID, cbCustID, cbReclID, cbReclType})
        if (watched == b || watched == b->lineEdit())
            box = b;
    if (box) {
        switch (e->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
                // The key is swallowed and acts as leaving the box.
                Guarded([&] {
                    if (box == cbReclType)
                        UpdateReclTypes();
                    else
                        PostEditUserName(box);
                });
                return true;
            }
            break;
        }
        case QEvent::FocusIn:
            if (watched == box && box == cbReclID && realFocusChange(e))
                Guarded([&] { cbReclIDEnter(); });
            break;
        case QEvent::FocusOut:
            if (watched == box && realFocusChange(e)) {
                Guarded([&] {
                    if (box == cbReclType)
                        UpdateReclTypes();
                    else
                        PostEditUserName(box);
                });
            }
            break;
        case QEvent::MouseButtonDblClick:
            if (box == cbReclType)
                Guarded([&] { cbReclTypeDblClick(); });
            break;
        default:
            break;
        }
        return QWidget::eventFilter(watched, e);
    }
    if (watched == ebReclTime) {
        if (e->type() == QEvent::MouseButtonDblClick)
            Guarded([&] { ebReclTimeDblClick(); });
        else if (e->type() == QEvent::FocusOut && realFocusChange(e))
            Guarded([&] { ebReclTimeExit(); });
        return QWidget::eventFilter(watched, e);
    }
    for (int k = 0; k < CurveKindCount; ++k) {
        if (watched == CurveLabel(k) && e->type() == QEvent::MouseButtonDblClick) {
            Guarded([&] { EnableEdit(k); });
            return true;
        }
        if (watched == CurveEdit(k, 1) && e->type() == QEvent::FocusOut && realFocusChange(e))
            Guarded([&] { EnableEdit(k); });
    }
    return QWidget::eventFilter(watched, e);
}

// ====================================================================== lookup helpers

QWidget* TfmReclData::CurvePage(int kind) const
{
    QWidget* pages[] = {tsFast, tsDelay, tsGndFast, tsGndSlow};
    return pages[kind];
}

QLabel* TfmReclData::CurveLabel(int kind) const
{
    QLabel* labels[] = {lbFastCurve, lbDelayCurve, lbGndFastCurve, lbGndSlowCurve};
    return labels[kind];
}

QPushButton* TfmReclData::SaveButton(int kind) const
{
    QPushButton* buttons[] = {btSaveFast, btSaveDelay, btSaveGndFast, btSaveGndSlow};
    return buttons[kind];
}

QComboBox* TfmReclData::CurveCombo(int kind) const
{
    QComboBox* boxes[] = {nullptr, cbReclDelayCurve, cbGndFastCurve, cbGndSlowCurve};
    return boxes[kind];
}

QLineEdit* TfmReclData::CurveEdit(int kind, int field) const
{
    const QString name = QStringLiteral("eb%1Curve%2")
                             .arg(QLatin1String(CurveKindNames[kind]), QLatin1String(CurveFieldNames[field]));
    return findChild<QLineEdit*>(name);
}

void TfmReclData::SetLocked(QLineEdit* e, bool locked)
{
    SetBaseColour(e, locked ? ButtonFace() : WindowColour());
    e->setEnabled(!locked);
}

void TfmReclData::SetPage1(QWidget* page)
{
    // The page's show handler runs through the page control's change signal.
    PageControl1->setCurrentWidget(page);
}


// ====================================================================== curve data store

bool TfmReclData::OpenCurveStore()
{
    CurveList.clear();
    curvePath_ = QDir::current().absoluteFilePath(kCurveFileName);
    // Writing is denied to others while the form exists.
    QString reason;
    if (!curveFile_.Open(curvePath_, reason)) {
        Application.ShowException(QStringLiteral("Cannot open file \"%1\". %2").arg(curvePath_, reason));
        return false;
    }
    const QStringList lines = curveFile_.ReadLines();
    if (!lines.isEmpty()) {
        CurveList = lines;
        SortCurveList(CurveList);
    }
    return true;
}

void TfmReclData::CloseCurveStore()
{
    curveFile_.Close();
    CurveList.clear();
}

int TfmReclData::FindRecord(const QString& key)
{
    Trace(QStringLiteral("fmReclData.FindRecord( ") + key + QStringLiteral(")"));
    return FindCurveLine(CurveList, key);
}

void TfmReclData::UpdateOrEnableEdit(int kind)
{
    Trace(QStringLiteral("fmReclData.UpdateOrEnableEdit"));
    const QString coil = kind < 2 ? cbReclCoil->currentText() : cbReclGndCT->currentText();
    const QString curve = kind == Fast ? QStringLiteral("A") : CurveCombo(kind)->currentText();
    CurveKey = MakeCurveKey(cbReclType->currentText(), coil, curve);
    const int i = FindRecord(CurveKey);
    if (i < 0) {
        CurveVerified = false;
        EnableEdit(kind);
    } else {
        CurveVerified = true;
        // A short line must not leave the previous record's values behind.
        CurveRecordBuffer = QString(CurveRecordLength, QLatin1Char(' '));
        StrToField(CurveList.at(i), CurveRecordBuffer, 0, CurveRecordLength - 1);
        UpdateValues(kind);
    }
}

void TfmReclData::UpdateValues(int kind)
{
    Trace(QStringLiteral("fmReclData.UpdateValues"));
    SaveButton(kind)->setEnabled(false);
    CurveLabel(kind)->setText(kind == Fast ? QStringLiteral("A") : CurveCombo(kind)->currentText());
    for (int i = 0; i < CurveFieldCount; ++i) {
        QLineEdit* e = CurveEdit(kind, i);
        if (!e)
            continue;
        const QString value = CurveValueShown(CurveRecordBuffer.mid(CurveKeyLength + 7 * i, 7));
        if (i >= 12)
            e->setText(Format("%3.0f", StrToFloatEitherSeparator(value)));
        else
            e->setText(value);
        SetLocked(e, true);
    }
    UpdateTimes();
}

void TfmReclData::EnableEdit(int kind)
{
    Trace(QStringLiteral("fmReclData.EnableEdit"));
    SaveButton(kind)->setEnabled(true);
    CurveLabel(kind)->setText(kind == Fast ? QStringLiteral("A") : CurveCombo(kind)->currentText());
    // Every field is unlocked; the time hints follow the reference current when it is a
    // number and stay as they were otherwise.
    double ref = 0;
    QLineEdit* refEdit = CurveEdit(kind, 1);
    const bool refOk = refEdit && TryStrToFloatEitherSeparator(refEdit->text(), ref);
    for (int i = 0; i < CurveFieldCount; ++i) {
        QLineEdit* e = CurveEdit(kind, i);
        if (!e)
            continue;
        SetLocked(e, false);
        if (i >= 2 && i <= 11 && refOk)
            e->setToolTip(Format("Time for %6.2f amps", ref * CurveMultiples[i - 2]));
    }
}

bool TfmReclData::WriteCurveFile(const QStringList& lines) { return curveFile_.Save(lines); }

void TfmReclData::SaveCurveClick(QObject* sender)
{
    Trace(QStringLiteral("fmReclData.SaveCurveClick"));
    if (cbReclType->currentText().isEmpty()) {
        MessageDlg(QStringLiteral("Must select recloser type"), mtWarning, Btn(mbOK));
        return;
    }
    if (cbReclCoil->currentText().isEmpty()) {
        MessageDlg(QStringLiteral("Must select recloser coil size"), mtWarning, Btn(mbOK));
        return;
    }
    if (!CurveStoreOpen()) {
        MessageDlg(QStringLiteral("The curve file ") + kCurveFileName +
                       QStringLiteral(" could not be opened; the curve is not saved"),
                   mtError, Btn(mbOK));
        return;
    }
    CurveRecordBuffer = QString(CurveRecordLength, QLatin1Char(' '));
    for (int i = 0; i < CurveKeyLength; ++i)
        CurveRecordBuffer[i] = QLatin1Char('_');
    StrToField(cbReclType->currentText(), CurveRecordBuffer, 0, 4);
    int kind = -1;
    if (sender == btSaveFast) {
        StrToField(cbReclCoil->currentText(), CurveRecordBuffer, 5, 6);
        StrToField(QStringLiteral("A"), CurveRecordBuffer, 12, 2);
        kind = Fast;
    } else if (sender == btSaveDelay) {
        StrToField(cbReclCoil->currentText(), CurveRecordBuffer, 5, 6);
        StrToField(cbReclDelayCurve->currentText(), CurveRecordBuffer, 12, 2);
        kind = Delay;
    } else if (sender == btSaveGndFast) {
        StrToField(cbReclGndCT->currentText(), CurveRecordBuffer, 5, 6);
        StrToField(cbGndFastCurve->currentText(), CurveRecordBuffer, 12, 2);
        kind = GndFast;
    } else if (sender == btSaveGndSlow) {
        StrToField(cbReclGndCT->currentText(), CurveRecordBuffer, 5, 6);
        StrToField(cbGndSlowCurve->currentText(), CurveRecordBuffer, 12, 2);
        kind = GndSlow;
    } else {
        return;
    }
    SortCurveList(CurveList);
    const int i = FindRecord(CurveRecordBuffer.left(CurveKeyLength));
    if (i >= 0 && MessageDlg(QStringLiteral("Previous Data Found. Overwrite?"), mtWarning, mbOKCancel) != mrOk)
        return;
    // Every value is checked before anything is stored: a text that is no number raises
    // the conversion error; a value the file cannot hold is refused.
    QString record = CurveRecordBuffer;
    for (int j = 0; j < CurveFieldCount; ++j) {
        QLineEdit* e = CurveEdit(kind, j);
        if (!e)
            continue;
        const double v = static_cast<float>(StrToFloatEitherSeparator(e->text()));
        QString problem;
        if (!std::isfinite(v))
            problem = QStringLiteral("is not a finite number");
        else if (j <= 11 && v < 0)
            problem = QStringLiteral("is negative");
        const QString text = CurveValueText(v);
        if (problem.isEmpty() && text.isEmpty())
            problem = QStringLiteral("does not fit the curve file's seven characters");
        if (!problem.isEmpty()) {
            MessageDlg(QStringLiteral("%1 %2 %3: the curve is not saved")
                           .arg(QLatin1String(CurveFieldNames[j]), e->text().trimmed(), problem),
                       mtWarning, Btn(mbOK));
            return;
        }
        StrToField(text, record, CurveKeyLength + 7 * j, 6);
    }
    CurveRecordBuffer = record;
    UpdateTimes();
    QStringList lines = CurveList;
    if (i >= 0)
        lines[i] = CurveRecordBuffer;
    else
        lines << CurveRecordBuffer;
    SortCurveList(lines);
    if (!WriteCurveFile(lines)) {
        MessageDlg(QStringLiteral("Error writing file: ") + kCurveFileName, mtError, Btn(mbOK));
        return;
    }
    CurveList = lines;
    CurveVerified = true;
    UpdateValues(kind);
}

void TfmReclData::UpdateTimes()
{
    Trace(QStringLiteral("fmReclData.UpdateTimes"));
    for (int kind = 0; kind < CurveKindCount; ++kind) {
        for (int m = 0; m < 10; ++m) {
            QLineEdit* e = CurveEdit(kind, m + 2);
            if (!e)
                continue;
            const double t = StrToFloatEitherSeparator(e->text());
            if (t < 0)
                throw Exception(QStringLiteral("Invalid floating point operation"));
            data_->CurveSqrtTimes[kind][m] = std::sqrt(t);
        }
    }
}

// ====================================================================== operation rules

void TfmReclData::UpdateOps(QObject* sender)
{
    Trace(QStringLiteral("fmReclData.UpdateOps"));
    QComboBox* boxes[] = {cbReclFastOps, cbReclDelayOps, cbGndFastOps, cbGndDelayOps};
    int counts[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (boxes[i]->currentText().isEmpty())
            SetBoxText(boxes[i], QStringLiteral("0"));
        counts[i] = StrToInt(boxes[i]->currentText());
    }
    TOpsSender s = osNone;
    if (sender == cbReclFastOps)
        s = osFast;
    else if (sender == cbReclDelayOps)
        s = osDelay;
    else if (sender == cbGndFastOps)
        s = osGndFast;
    else if (sender == cbGndDelayOps)
        s = osGndDelay;
    const TOpCounts c = ApplyOpsRules(counts[0], counts[1], counts[2], counts[3], s);
    FastOps = c.FastOps;
    DelayOps = c.DelayOps;
    GndFastOps = c.GndFastOps;
    GndDelayOps = c.GndDelayOps;
    TotalOps = c.TotalOps;
    SetBoxIndex(cbReclFastOps, FastOps);
    SetBoxIndex(cbReclDelayOps, DelayOps);
    SetBoxIndex(cbGndFastOps, GndFastOps);
    SetBoxIndex(cbGndDelayOps, GndDelayOps);
}

void TfmReclData::AdjustCurrMultiple()
{
    Trace(QStringLiteral("fmReclData.AdjustCurrMultiple"));
    CurrMultiple = CurrMultipleOf(cbTestType->currentText());
}

void TfmReclData::UpdateMPUcurr()
{
    Trace(QStringLiteral("fmReclData.UpdateMPUcurr"));
    QLineEdit* phase = CurveEdit(cbReclFastOps->currentText() != QLatin1String("0") ? Fast : Delay, 0);
    QLineEdit* gnd = CurveEdit(cbGndFastOps->currentText() != QLatin1String("0") ? GndFast : GndSlow, 0);
    ebPhaseMPU->setText(phase ? phase->text() : QString());
    ebGndMPU->setText(gnd ? gnd->text() : QString());
}

// ====================================================================== activation

void TfmReclData::FormActivate()
{
    Trace(QStringLiteral("fmReclData FormActivate"));
    if (TestSet)
        TestSet->PauseLink();
    if (!KyrDataRefresh) {
        Trace(QStringLiteral("KyrDataRefresh = FALSE"));
        return;
    }
    // Cleared first: the boxes below may bring activations of their own.
    KyrDataRefresh = false;
    UpdateIDs(cbCustID);
    UpdateIDs(cbTechID);
    UpdateIDs(cbReclID);
    UpdateReclTypes();
    UpdateReclTypeData();
    UpdateOrEnableEdit(2);
    UpdateOrEnableEdit(1);
    UpdateOrEnableEdit(0);
    UpdateOps(cbReclFastOps);
    AdjustCurrMultiple();
    UpdateLastTest();
    ebGndMPU->clear();
    ebPhaseMPU->clear();
    UpdateMPUcurr();
    UpdateIDs(cbReclID);
    SelectShownReclID();
}

void TfmReclData::FormCloseEvent()
{
    hide();
    if (TestSet)
        TestSet->ResumeLink();
}

// ====================================================================== selections

void TfmReclData::cbReclTypeChange()
{
    Trace(QStringLiteral("fmReclData.cbReclTypeChange"));
    UpdateReclTypeData();
    UpdateOrEnableEdit(3);
    UpdateOrEnableEdit(2);
    UpdateOrEnableEdit(1);
    UpdateOrEnableEdit(0);
    UpdateMPUcurr();
    SetPage1(tsFast);
}

void TfmReclData::cbReclCoilChange()
{
    Trace(QStringLiteral("fmReclData.cbReclCoilChange"));
    UpdateOrEnableEdit(0);
    UpdateOrEnableEdit(1);
    UpdateMPUcurr();
    SetPage1(tsFast);
}

void TfmReclData::cbReclGndCTChange()
{
    Trace(QStringLiteral("fmReclData.cbReclGndCTChange"));
    UpdateOrEnableEdit(2);
    UpdateOrEnableEdit(3);
    UpdateMPUcurr();
    SetPage1(tsGndFast);
}

void TfmReclData::cbReclDelayCurveChange()
{
    Trace(QStringLiteral("fmReclData.cbReclDelayCurveChange"));
    if (cbReclDelayCurve->currentText() != QLatin1String("A")) {
        lbDelayCurve->setText(cbReclDelayCurve->currentText());
        SetPage1(tsDelay);
        UpdateOrEnableEdit(1);
    } else {
        SetPage1(tsFast);
        UpdateOrEnableEdit(0);
    }
    UpdateMPUcurr();
}

void TfmReclData::cbGndFastCurveChange()
{
    Trace(QStringLiteral("fmReclData.cbGndFastCurveChange"));
    SetPage1(tsGndFast);
    UpdateOrEnableEdit(2);
    if (cbGndSlowCurve->currentIndex() != cbGndFastCurve->currentIndex())
        SetBoxIndex(cbGndSlowCurve, cbGndFastCurve->currentIndex());
    UpdateMPUcurr();
}

void TfmReclData::cbGndSlowCurveChange()
{
    Trace(QStringLiteral("fmReclData.cbGndSlowCurveChange"));
    SetPage1(tsGndSlow);
    UpdateOrEnableEdit(3);
    if (cbGndFastCurve->currentIndex() != cbGndSlowCurve->currentIndex())
        SetBoxIndex(cbGndFastCurve, cbGndSlowCurve->currentIndex());
    UpdateMPUcurr();
}

void TfmReclData::PageControl2Change()
{
    UpdateMPUcurr();
    SetPage1(PageControl2->currentWidget() == tsPhaseTrip ? tsFast : tsGndFast);
}

namespace {
void SetPage2(QTabWidget* pc, QWidget* page)
{
    const QSignalBlocker block(pc);
    pc->setCurrentWidget(page);
}
} // namespace

void TfmReclData::tsFastShow()
{
    SetPage2(PageControl2, tsPhaseTrip);
    lbFastCurve->setText(QStringLiteral("A"));
    UpdateOrEnableEdit(0);
}

void TfmReclData::tsDelayShow()
{
    SetPage2(PageControl2, tsPhaseTrip);
    lbDelayCurve->setText(cbReclDelayCurve->currentText());
    UpdateOrEnableEdit(1);
}

void TfmReclData::tsGndFastShow()
{
    SetPage2(PageControl2, tsGndTrip);
    lbGndFastCurve->setText(cbGndFastCurve->currentText());
    UpdateOrEnableEdit(2);
}

void TfmReclData::tsGndSlowShow()
{
    SetPage2(PageControl2, tsGndTrip);
    lbGndSlowCurve->setText(cbGndSlowCurve->currentText());
    UpdateOrEnableEdit(3);
}

void TfmReclData::cbTestTypeChange() { AdjustCurrMultiple(); }

// ====================================================================== reclose time

void TfmReclData::ebReclTimeDblClick()
{
    ebReclTime->setReadOnly(false);
    SetBaseColour(ebReclTime, WindowColour());
}

void TfmReclData::ebReclTimeChange()
{
    ebReclTime->setReadOnly(true);
    SetBaseColour(ebReclTime, ButtonFace());
}

void TfmReclData::ebReclTimeExit() { ebReclTimeChange(); }

// ====================================================================== IDs

void TfmReclData::cbReclIDEnter() { LastReclIDEntered = cbReclID->currentText(); }

void TfmReclData::PostEditUserName(QComboBox* box)
{
    // Handled after the exit and the focus change have completed.
    QMetaObject::invokeMethod(
        this, [this, box] { Guarded([&] { FMEditUserName(box); }); }, Qt::QueuedConnection);
}

QStringList TfmReclData::ReclRowValues() const
{
    return {cbReclID->currentText(),       cbCustID->currentText(),      cbReclType->currentText(),
            cbReclCoil->currentText(),     cbReclFastOps->currentText(), cbReclDelayOps->currentText(),
            cbReclDelayCurve->currentText(), cbReclGndCT->currentText(), cbGndFastOps->currentText(),
            cbGndFastCurve->currentText(), cbGndDelayOps->currentText(), cbGndSlowCurve->currentText()};
}

void TfmReclData::FMEditUserName(QComboBox* box)
{
    Trace(QStringLiteral("fmReclData.FMEditUserName"));
    const QString text = box->currentText();
    if (ListHolds(box, text))
        return;
    TTable* table = nullptr;
    QString fullName;
    if (box == cbCustID || box == cbTechID) {
        // A row without a key could never be picked again: an empty ID is ignored.
        if (text.isEmpty())
            return;
        if (box == cbCustID) {
            fullName = InputBox(QStringLiteral("Customer Name"), QStringLiteral("Enter Full Name"), QString());
            table = tblCust;
        } else {
            fullName = InputBox(QStringLiteral("Technician Name"), QStringLiteral("Enter Full Name"), QString());
            table = tblTechs;
        }
        if (fullName.isEmpty())
            return;
    } else if (box == cbReclID) {
        if (text.isEmpty())
            return;
        // An ID of another customer is not new: load that recloser instead.
        tblReclosers->Open();
        const bool known = tblReclosers->Locate(QStringLiteral("RECLID"), text, loCaseInsensitive);
        if (known) {
            LoadReclRow(tblReclosers);
            tblReclosers->Close();
            UpdateIDs(cbReclID);
            SelectShownReclID();
            UpdateMPUcurr();
            return;
        }
        tblReclosers->Close();
        if (MessageBoxEx(QStringLiteral("Enter new Recloser ID: ") + text + QStringLiteral("?"),
                         QStringLiteral("New Recloser ID"), MB_OKCANCEL) != IDOK) {
            SetBoxText(cbReclID, LastReclIDEntered);
            return;
        }
        table = tblReclosers;
    } else {
        return;
    }
    table->Open();
    if (box->objectName() == QLatin1String("cbReclID"))
        table->InsertRecord(ReclRowValues());
    else
        table->InsertRecord({text, fullName});
    table->Close();
    {
        const QSignalBlocker block(box);
        box->addItem(text);
        box->setEditText(text);
    }
    UpdateIDs(box);
}

void TfmReclData::UpdateIDs(QComboBox* box)
{
    Trace(QStringLiteral("fmReclData.UpdateIDs"));
    TQuery* source = nullptr;
    QString field;
    try {
        if (box == cbCustID) {
            source = qCust;
            field = QStringLiteral("CUSTID");
        } else if (box == cbTechID) {
            source = qTechs;
            field = QStringLiteral("TECHID");
        } else if (box == cbReclID) {
            source = qReclosers;
            field = QStringLiteral("RECLID");
            const QString cust = cbCustID->currentText();
            if (!cust.isEmpty()) {
                qReclosers->Close();
                qReclosers->SQL = QStringList{QStringLiteral("SELECT * FROM KYRRECL"),
                                              QStringLiteral("WHERE CUSTID=") + SqlQuoted(cust),
                                              QStringLiteral("ORDER BY RECLID")};
            }
            UpdateReclIDData();
        } else {
            return;
        }
    } catch (...) {
        return;
    }
    source->Open();
    QStringList items;
    source->First();
    while (!source->Eof()) {
        items << source->FieldByName(field)->AsString();
        source->Next();
    }
    SetBoxItems(box, items);
    source->Close();
}

void TfmReclData::LoadReclRow(TDataSet* ds)
{
    auto text = [ds](const char* f) { return ds->FieldByName(QLatin1String(f))->AsString(); };
    SetBoxText(cbReclType, text("TYPE"));
    UpdateReclTypeData();
    SetBoxText(cbReclCoil, text("COIL"));
    UpdateMPUcurr();
    SetBoxText(cbReclFastOps, text("FASTOPS"));
    SetBoxText(cbReclDelayOps, text("DELAYOPS"));
    SetBoxText(cbReclDelayCurve, text("CURVE"));
    SetBoxText(cbReclGndCT, text("GNDCT"));
    SetBoxText(cbGndFastOps, text("GNDOPS_F"));
    SetBoxText(cbGndFastCurve, text("GNDCURV_F"));
    SetBoxText(cbGndDelayOps, text("GNDOPS_S"));
    SetBoxText(cbGndSlowCurve, text("GNDCURV_S"));
    SetBoxText(cbCustID, text("CUSTID"));
    loadedReclID_ = text("RECLID");
    SetBoxText(cbReclID, loadedReclID_);
    // The counts that the test launch and the analysis read are those the boxes now
    // show: the operation rules run on the loaded texts, no box counted as changed.
    UpdateOps(this);
}

void TfmReclData::UpdateReclIDData()
{
    Trace(QStringLiteral("fmReclData.UpdateReclIDData"));
    qReclosers->Open();
    if (qReclosers->Locate(QStringLiteral("RECLID"), cbReclID->currentText(), loCaseInsensitive)) {
        const QString shown = cbReclID->currentText();
        LoadReclRow(qReclosers);
        // The box keeps the text as typed or picked.
        SetBoxText(cbReclID, shown);
    }
    qReclosers->Close();
    UpdateOrEnableEdit(2);
    UpdateOrEnableEdit(1);
    UpdateOrEnableEdit(0);
}

void TfmReclData::SelectShownReclID()
{
    // The shown ID and the shown settings agree: the loaded recloser when it is listed,
    // else the first listed one, loaded.
    const int i = loadedReclID_.isEmpty() ? -1 : cbReclID->findText(loadedReclID_, Qt::MatchFixedString);
    if (i >= 0) {
        SetBoxIndex(cbReclID, i);
        return;
    }
    if (cbReclID->count() == 0)
        return;
    SetBoxIndex(cbReclID, 0);
    UpdateReclIDData();
    UpdateMPUcurr();
}

void TfmReclData::cbReclIDChange()
{
    Trace(QStringLiteral("fmReclData.cbReclIDChange"));
    if (ListHolds(cbReclID, cbReclID->currentText())) {
        UpdateReclIDData();
        UpdateMPUcurr();
    }
}

void TfmReclData::cbCustIDChange()
{
    UpdateIDs(cbReclID);
    SelectShownReclID();
}

void TfmReclData::UpdateLastTest()
{
    Trace(QStringLiteral("fmReclData.UpdateLastTest"));
    tblRes->Open();
    if (!tblRes->IsEmpty()) {
        tblRes->Last();
        auto take = [this](const QString& name, QComboBox* box) {
            TField* f = tblRes->FieldByName(name);
            if (f->IsNull() || f->AsString().isEmpty()) {
                tblRes->Edit();
                f->SetAsString(QStringLiteral("?"));
                tblRes->Refresh();
            } else {
                SetBoxText(box, f->AsString());
            }
        };
        take(QStringLiteral("TECHID"), cbTechID);
        take(QStringLiteral("RECLID"), cbReclID);
    }
    UpdateReclIDData();
    tblRes->Close();
}

// ====================================================================== types

void TfmReclData::UpdateReclTypes()
{
    Trace(QStringLiteral("fmReclData.UpdateReclTypes"));
    qTypes->Open();
    QStringList items;
    qTypes->First();
    while (!qTypes->Eof()) {
        items << qTypes->FieldByName(QStringLiteral("TYPE"))->AsString();
        qTypes->Next();
    }
    SetBoxItems(cbReclType, items);
    qTypes->Close();
    if (cbReclType->currentText().isEmpty())
        SetBoxText(cbReclType, Item(cbReclType, 0));
}

void TfmReclData::cbReclTypeDblClick()
{
    SetBoxItems(cbReclType, CommaTextToList(QLatin1String(FixedTypeList)));
}

void TfmReclData::UpdateReclTypeData()
{
    Trace(QStringLiteral("fmReclData.UpdateReclTypeData"));
    qTypes->Open();
    if (qTypes->Locate(QStringLiteral("TYPE"), cbReclType->currentText(), loCaseInsensitive)) {
        auto text = [this](const char* f) { return qTypes->FieldByName(QLatin1String(f))->AsString(); };
        auto fill = [](QComboBox* box, const QString& commaText, int item) {
            SetBoxItems(box, CommaTextToList(commaText));
            SetBoxText(box, Item(box, item));
        };
        if (!text("TRIPCOILS").isEmpty())
            fill(cbReclCoil, text("TRIPCOILS"), 0);
        UpdateMPUcurr();
        if (!text("GNDCTS").isEmpty())
            fill(cbReclGndCT, text("GNDCTS"), 0);
        if (!text("TRIPCURVES").isEmpty())
            fill(cbReclDelayCurve, text("TRIPCURVES"), 1);
        if (!text("GCURVES_F").isEmpty())
            fill(cbGndFastCurve, text("GCURVES_F"), 1);
        if (!text("GCURVES_S").isEmpty())
            fill(cbGndSlowCurve, text("GCURVES_S"), 1);
        TField* recl = qTypes->FieldByName(QStringLiteral("RECLTIME"));
        if (!recl->IsNull() && !recl->AsString().trimmed().isEmpty()) {
            {
                const QSignalBlocker block(ebReclTime);
                ebReclTime->setText(Format("%4.2f", StrToFloat(recl->AsString())));
            }
            ebReclTimeChange();  // read-only again
        }
        const QString phases = text("PHASES");
        if (!phases.isEmpty()) {
            if (phases == QLatin1String("3")) {
                PhaseCount = 3;
                SetBoxItems(cbPhase, CommaTextToList(QStringLiteral("\"A\",\"B\",\"C\",\"G(Gnd Trip)\"")));
            } else {
                PhaseCount = 1;
                SetBoxItems(cbPhase, QStringList{QStringLiteral("A(Single)")});
            }
        }
        SetBoxIndex(cbPhase, 0);
    }
    qTypes->Close();
    const bool ground = TypeHasGroundPages(cbReclType->currentText());
    PageControl2->setTabVisible(PageControl2->indexOf(tsGndTrip), ground);
    PageControl1->setTabVisible(PageControl1->indexOf(tsGndFast), ground);
    PageControl1->setTabVisible(PageControl1->indexOf(tsGndSlow), ground);
}

// ====================================================================== settings

void TfmReclData::btSaveSettingsClick()
{
    Trace(QStringLiteral("fmReclData.btSaveSettingsClick"));
    const QString id = cbReclID->currentText();
    if (MessageBoxEx(QStringLiteral("Save settings for Recloser ID: ") + id + QStringLiteral("?"),
                     QStringLiteral("Saving Recloser Settings"), MB_OKCANCEL) != IDOK)
        return;
    tblReclosers->Open();
    if (tblReclosers->Locate(QStringLiteral("RECLID"), id, loCaseInsensitive)) {
        const QStringList values = ReclRowValues();
        tblReclosers->Edit();
        for (int i = 0; i < values.size() && i < tblReclosers->FieldCount(); ++i)
            tblReclosers->Fields(i)->SetAsString(values.at(i));
        tblReclosers->Post();
        tblReclosers->Close();
    } else {
        tblReclosers->Close();
        MessageBoxEx(QStringLiteral("Recloser ID: ") + id +
                         QStringLiteral(" is not in the recloser table; the settings are not saved"),
                     QStringLiteral("Saving Recloser Settings"), MB_OK);
    }
}

// ====================================================================== test launch

void TfmReclData::btRunTestClick()
{
    Trace(QStringLiteral("fmReclData.btRunTestClick"));
    if (!CurveVerified &&
        MessageBoxEx(QStringLiteral("Curve data not verified. Run anyway?"), QStringLiteral("Curve Data"),
                     MB_YESNO) != IDYES)
        return;
    if (MessageBoxEx(QStringLiteral("Run ") + cbTestType->currentText() + QStringLiteral(" Test on Phase ") +
                         cbPhase->currentText() + QStringLiteral("?"),
                     QStringLiteral("Run Test"), MB_YESNO) != IDYES)
        return;
    UpdateMPUcurr();
    AdjustCurrMultiple();
    // The operation rules run with no box counted as changed.
    UpdateOps(this);
    const TTestLaunch t = DeriveTestLaunch(ebPhaseMPU->text(), CurrMultiple, cbTestType->currentText(),
                                           cbPhase->currentText(), TotalOps, PhaseCount);
    if (TestSet)
        TestSet->LaunchTest(t);
}

void TfmReclData::btViewCurvesClick()
{
    Trace(QStringLiteral("fmReclData.btViewCurvesClick"));
    if (!hub_)
        return;
    const bool ground = PageControl2->currentWidget() != tsPhaseTrip;
    double plot[2][10];
    for (int m = 0; m < 10; ++m) {
        plot[0][m] = data_->CurveSqrtTimes[ground ? GndFast : Fast][m];
        plot[1][m] = data_->CurveSqrtTimes[ground ? GndSlow : Delay][m];
    }
    hub_->ShowCurves(plot);
}

TReclTestData TfmReclData::PreparedTest() const
{
    TReclTestData d;
    d.Shown = isVisible();
    d.ReclID = cbReclID->currentText();
    d.TechID = cbTechID->currentText();
    d.CustID = cbCustID->currentText();
    d.ReclType = cbReclType->currentText();
    d.ReclCoil = cbReclCoil->currentText();
    d.ReclGndCT = cbReclGndCT->currentText();
    d.Phase = cbPhase->currentText();
    d.TestType = cbTestType->currentText();
    d.FastOpsText = cbReclFastOps->currentText();
    d.DelayOpsText = cbReclDelayOps->currentText();
    d.DelayCurve = cbReclDelayCurve->currentText();
    d.GndFastOpsText = cbGndFastOps->currentText();
    d.GndFastCurve = cbGndFastCurve->currentText();
    d.GndDelayOpsText = cbGndDelayOps->currentText();
    d.GndSlowCurve = cbGndSlowCurve->currentText();
    d.PhaseMPU = ebPhaseMPU->text();
    d.GndMPU = ebGndMPU->text();
    d.ReclTime = ebReclTime->text();
    // A missing edit reads as an empty text, which does not convert.
    auto text = [this](int kind, int field) {
        const QLineEdit* e = CurveEdit(kind, field);
        return e ? e->text() : QString();
    };
    for (int k = 0; k < CurveKindCount; ++k) {
        d.CurveRef[k] = text(k, 1);
        d.CurveTolMin[k] = text(k, CurveFieldCount - 2);
        d.CurveTolMax[k] = text(k, CurveFieldCount - 1);
    }
    d.CurrMultiple = CurrMultiple;
    d.FastOps = FastOps;
    d.GndFastOps = GndFastOps;
    d.TotalOps = TotalOps;
    d.CurveVerified = CurveVerified;
    return d;
}
