#include "KyrDatabase.h"

#include "ui_KyrDatabase.h"

#include "Dialogs.h"
#include "Forms.h"
#include "KyrGlobals.h"
#include "KyrSqlText.h"
#include "MemoText.h"
#include "Shell.h"
#include "SysUtils.h"
#include "Trace.h"
#include "Win32.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>

QString LastResultsReclID;
TfmKyrDatabase* fmKyrDatabase = nullptr;

namespace {
enum { pgResults, pgReclosers, pgTypes, pgTechs, pgCust };

struct PageFile {
    const char* file;
    const char* missing;
};
const PageFile PageFiles[5] = {
    {"KyrRes.dbf", "Results file KyrRes.dbf not found"},
    {"KyrRecl.dbf", "Recloser file KyrRecl.dbf not found"},
    {"KyrTypes.dbf", "Recloser Types file KyrTypes.dbf not found"},
    {"KyrTechs.dbf", "Technician file KyrTechs.dbf not found"},
    {"KyrCust.dbf", "Customer file KyrCust.dbf not found"},
};

const QString EditSQLCaption = QStringLiteral("Edit SQL");
const QString ViewSQLCaption = QStringLiteral("View SQL");
const QString FinishCaption = QStringLiteral("Finish");

// A row of these tables is found by its key alone. A new row without one, or a row
// whose key is cleared, would be stored where no list can pick it again: the post is
// refused and the row stays as the user left it, to be completed. A row that lacks its
// key already (stored so by an earlier program) can still be changed.
std::function<void(TDataSet*)> RequireKey(const QString& keyField)
{
    return [keyField](TDataSet* ds) {
        const TField* key = ds->FindField(keyField);
        if (key && !key->AsString().trimmed().isEmpty())
            return;
        if (ds->State() == dsEdit && (!key || key->OldValue().toString().trimmed().isEmpty()))
            return;
        throw EDatabaseError(QStringLiteral("The row is not stored: enter its %1 first").arg(keyField));
    };
}

void CannotModify()
{
    Application.MessageBox(QStringLiteral("Records cannot be modified due to SQL statement"),
                           QStringLiteral("Query disallows edit"), MB_OK);
}

} // namespace

TfmKyrDatabase::TfmKyrDatabase(IReclDataSource* ReclSource, TKyrRecordsData* Data, QWidget* parent)
    : QWidget(parent), reclSource_(ReclSource), ownData_(Data ? nullptr : std::make_unique<TKyrRecordsData>()),
      data_(Data ? Data : ownData_.get()), ui(new Ui::TfmKyrDatabase)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmKyrDatabase"));
    // The browser opens where its form places it, at the screen's top-left corner, rather
    // than wherever the window manager finds room; later showings keep where the user
    // left it.
    PlaceFrame(this, [](const QRect&, const QRect& screen) { return screen.topLeft(); });
    data_->qResReport = new TQuery(this);
    data_->qResReport->RequestLive = true;
    data_->qResReport->BeforePost = RequireKey(QStringLiteral("RECLID"));
    dsRes = new TDataSource(this);
    dsResReport = new TDataSource(this);
    dsResReport->DataSet = data_->qResReport;

    PageControl1 = ui->PageControl1;
    tsResults = ui->tsResults;
    tsReclosers = ui->tsReclosers;
    tsTypes = ui->tsTypes;
    tsTechs = ui->tsTechs;
    tsCust = ui->tsCust;
    DBGrid1 = ui->DBGrid1;
    dbGrid6 = ui->dbGrid6;
    DBGrid2 = ui->DBGrid2;
    DBGrid3 = ui->DBGrid3;
    DBGrid4 = ui->DBGrid4;
    DBGrid5 = ui->DBGrid5;
    DBNavigator1 = ui->DBNavigator1;
    DBNavigator2 = ui->DBNavigator2;
    DBNavigator3 = ui->DBNavigator3;
    DBNavigator4 = ui->DBNavigator4;
    DBNavigator5 = ui->DBNavigator5;
    btSelect = ui->btSelect;
    btDeselect = ui->btDeselect;
    btEditSQLsel = ui->btEditSQLsel;
    btEditSQLdes = ui->btEditSQLdes;
    btBackup = ui->btBackup;
    Memo1 = ui->Memo1;
    Memo2 = ui->Memo2;
    Memo1->hide();
    Memo2->hide();

    auto bind = [this](QPushButton* b, void (TfmKyrDatabase::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    bind(btSelect, &TfmKyrDatabase::btSelectClick);
    bind(btDeselect, &TfmKyrDatabase::btDeselectClick);
    bind(btEditSQLsel, &TfmKyrDatabase::btEditSQLselClick);
    bind(btEditSQLdes, &TfmKyrDatabase::btEditSQLdesClick);
    bind(btBackup, &TfmKyrDatabase::btBackupClick);
    // "+" gives the grid's new row the focus, ready for typing.
    const std::pair<TDBNavigator*, TDBGrid*> pairs[] = {
        {DBNavigator1, DBGrid1}, {DBNavigator2, DBGrid2}, {DBNavigator3, DBGrid3},
        {DBNavigator4, DBGrid4}, {DBNavigator5, DBGrid5}};
    for (const auto& [navigator, navGrid] : pairs)
        connect(navigator, &TDBNavigator::Click, this, [grid = navGrid](TDBNavigator::TNavigateBtn button) {
            if (button == TDBNavigator::nbInsert)
                Guarded([grid] { grid->EditNewRow(); });
        });
    connect(DBGrid1, &TDBGrid::Enter, this, [this] { Guarded([this] { DBGrid1Enter(); }); });
    connect(dbGrid6, &TDBGrid::Enter, this, [this] { Guarded([this] { DBGrid6Enter(); }); });
    // Only the user's change of the page runs the page rules.
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { Guarded([&] { PageControl1Change(index); }); });

    Guarded([this] { FormCreate(); });
}

TfmKyrDatabase::~TfmKyrDatabase()
{
    if (fmKyrDatabase == this)
        fmKyrDatabase = nullptr;
    delete ui;
}

TReclTables* TfmKyrDatabase::ReclData() const { return reclSource_ ? reclSource_->ReclTables() : nullptr; }

QString TfmKyrDatabase::CurrentReclID() const { return reclSource_ ? reclSource_->ReclID() : QString(); }

QStringList TfmKyrDatabase::MemoLines(const QPlainTextEdit* memo) { return ::MemoLines(memo); }

void TfmKyrDatabase::SetMemoLines(QPlainTextEdit* memo, const QStringList& lines) { ::SetMemoLines(memo, lines); }

// ---------------------------------------------------------------- creation and showing

void TfmKyrDatabase::FormCreate()
{
    LastResultsReclID.clear();
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    DWORD major = 0, minor = 0;
    if (GetVersionExA(&info)) {
        major = info.dwMajorVersion;
        minor = info.dwMinorVersion;
    }
    const QString version = QStringLiteral("%1.%2").arg(major).arg(minor);
    // The engine locks the table files itself and reads no network control folder; the
    // setting is made and traced as the callers of a session expect.
    if (Session) {
        if (major >= 6)
            Session->NetFileDir = DataFolder;
        Trace(QStringLiteral("KyrDataBase.FormCreate: OS Version: ") + version);
        Trace(QStringLiteral("KyrDataBase.FormCreate: NetFileDir: ") + Session->NetFileDir);
    }
}

void TfmKyrDatabase::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (!e->spontaneous())
        Guarded([this] { FormShow(); });
}

void TfmKyrDatabase::FormShow()
{
    {
        const QSignalBlocker block(PageControl1);
        PageControl1->setCurrentWidget(tsResults);
    }
    currentPage_ = pgResults;
    SetMemoLines(Memo1, InitialResultsSQL(CurrentReclID()));
    if (ReclData()) {
        // What the browser's grids post must carry its key.
        ReclData()->qRes->BeforePost = RequireKey(QStringLiteral("RECLID"));
        ReclData()->tblReclosers->BeforePost = RequireKey(QStringLiteral("RECLID"));
        ReclData()->tblTypes->BeforePost = RequireKey(QStringLiteral("TYPE"));
        ReclData()->tblTechs->BeforePost = RequireKey(QStringLiteral("TECHID"));
        ReclData()->tblCust->BeforePost = RequireKey(QStringLiteral("CUSTID"));
        dsRes->DataSet = ReclData()->qRes;
        DBGrid2->SetDataSource(ReclData()->dsReclosers);
        DBNavigator2->SetDataSource(ReclData()->dsReclosers);
        DBGrid3->SetDataSource(ReclData()->dsTypes);
        DBNavigator3->SetDataSource(ReclData()->dsTypes);
        DBGrid4->SetDataSource(ReclData()->dsTechs);
        DBNavigator4->SetDataSource(ReclData()->dsTechs);
        DBGrid5->SetDataSource(ReclData()->dsCust);
        DBNavigator5->SetDataSource(ReclData()->dsCust);
    }
    DBGrid1->SetDataSource(dsRes);
    DBNavigator1->SetDataSource(dsRes);
    dbGrid6->SetDataSource(dsResReport);
    tsResultsEnter();
}

void TfmKyrDatabase::closeEvent(QCloseEvent* e)
{
    // A close that comes while the program ends is taken as it comes: the end hides the
    // windows without asking them, and the browser's own close work would only delay it.
    if (Application.Terminated) {
        QWidget::closeEvent(e);
        return;
    }
    e->ignore();
    Guarded([this] { FormClose(); });
}

void TfmKyrDatabase::FormClose()
{
    // The page shown leaves its table as a page change would: its own edit posted, the
    // table it opened closed. An edit that cannot be posted keeps the window open.
    if (!PageExit(currentPage_))
        return;
    hide();
}

// ---------------------------------------------------------------- pages

TTable* TfmKyrDatabase::PageTableObject(int page) const
{
    if (!ReclData())
        return nullptr;
    switch (page) {
    case pgResults: return ReclData()->tblRes;
    case pgReclosers: return ReclData()->tblReclosers;
    case pgTypes: return ReclData()->tblTypes;
    case pgTechs: return ReclData()->tblTechs;
    case pgCust: return ReclData()->tblCust;
    default: return nullptr;
    }
}

bool TfmKyrDatabase::PageEnter(int page)
{
    if (page < 0 || page > pgCust)
        return false;
    if (!QFileInfo::exists(QString::fromLatin1(PageFiles[page].file))) {
        Application.MessageBox(QString::fromLatin1(PageFiles[page].missing), QStringLiteral("Error"), MB_OK);
        return false;
    }
    TTable* t = PageTableObject(page);
    if (!t)
        return false;
    if (!t->Active()) {
        t->Open();
        opened_[page] = true;
    }
    return true;
}

bool TfmKyrDatabase::PageExit(int page)
{
    TTable* t = PageTableObject(page);
    if (page < 0 || page > pgCust || !t || !opened_[page])
        return true;  // a table the page did not open is not the page's to post or close
    if (t->Active()) {
        // What the grid's open cell editor holds counts as typed into the row.
        try {
            t->UpdateRecord();
        } catch (const Exception& e) {
            Application.ShowException(e.Message);
            return false;
        }
        if (t->State() == dsEdit) {
            try {
                t->Post();
            } catch (const Exception& e) {
                Application.ShowException(e.Message);
                return false;
            }
        } else if (t->State() == dsInsert) {
            t->Cancel();
            MessageDlg(QStringLiteral("The new record was not posted and has been discarded."), mtInformation,
                       Btn(mbOK));
        }
        t->Close();
    }
    opened_[page] = false;
    return true;
}

void TfmKyrDatabase::PageControl1Change(int index)
{
    if (index == currentPage_)
        return;
    if (!PageExit(currentPage_)) {
        const QSignalBlocker block(PageControl1);
        PageControl1->setCurrentIndex(currentPage_);
        return;
    }
    currentPage_ = index;
    switch (index) {
    case pgResults: tsResultsEnter(); break;
    case pgReclosers: tsReclosersEnter(); break;
    case pgTypes: tsTypesEnter(); break;
    case pgTechs: tsTechsEnter(); break;
    case pgCust: tsCustEnter(); break;
    default: break;
    }
}

void TfmKyrDatabase::tsResultsEnter()
{
    if (!PageEnter(pgResults))
        return;
    dbGrid6->EnterByProgram();
    DBGrid1->EnterByProgram();
    if (ReclData() && ReclData()->qRes->Active())
        ReclData()->tblRes->First();
}

void TfmKyrDatabase::tsResultsExit() { PageExit(pgResults); }
void TfmKyrDatabase::tsReclosersEnter() { PageEnter(pgReclosers); }
void TfmKyrDatabase::tsReclosersExit() { PageExit(pgReclosers); }
void TfmKyrDatabase::tsTypesEnter() { PageEnter(pgTypes); }
void TfmKyrDatabase::tsTypesExit() { PageExit(pgTypes); }
void TfmKyrDatabase::tsTechsEnter() { PageEnter(pgTechs); }
void TfmKyrDatabase::tsTechsExit() { PageExit(pgTechs); }
void TfmKyrDatabase::tsCustEnter() { PageEnter(pgCust); }
void TfmKyrDatabase::tsCustExit() { PageExit(pgCust); }

// ---------------------------------------------------------------- result queries

void TfmKyrDatabase::CloseQuery(TQuery* q)
{
    if (q->Active() && q->State() == dsEdit)
        q->Post();
    q->Close();
}

void TfmKyrDatabase::DBGrid1Enter()
{
    if (!ReclData())
        return;
    TQuery* q = ReclData()->qRes;
    // Coming back to a new result row still being typed is no reason to run the query
    // again: closing it would drop the row.
    if (q->Active() && q->State() == dsInsert)
        return;
    CloseQuery(q);
    const QString id = CurrentReclID();
    const QStringList memo = MemoLines(Memo1);
    if (id == LastResultsReclID && !memo.isEmpty() && !memo.first().isEmpty()) {
        q->SQL = memo;
    } else {
        q->SQL = DefaultResultsSQL(id);
        if (!id.isEmpty())
            LastResultsReclID = id;
    }
    q->Open();
}

void TfmKyrDatabase::DBGrid6Enter()
{
    CloseQuery(data_->qResReport);
    const QString id = CurrentReclID();
    const QStringList memo = MemoLines(Memo2);
    if (id == LastResultsReclID && !memo.isEmpty() && !memo.first().isEmpty())
        data_->qResReport->SQL = memo;
    else
        data_->qResReport->SQL = DefaultReportSQL(id);
    SetMemoLines(Memo2, data_->qResReport->SQL);
    data_->qResReport->Open();
}

void TfmKyrDatabase::btSelectClick()
{
    if (!ReclData())
        return;
    TQuery* q = ReclData()->qRes;
    q->Refresh();
    if (!q->Active() || q->IsEmpty())
        return;
    TField* result = q->FieldByName(QStringLiteral("TESTRESULT"));
    const QString text = result->AsString();
    if (!text.startsWith(QLatin1Char('*')))
        return;
    if (!q->CanModify()) {
        CannotModify();
        return;
    }
    q->Edit();
    result->SetAsString(QLatin1Char(' ') + text.mid(1));
    q->Refresh();
    if (data_->qResReport->Active())
        data_->qResReport->Refresh();
}

void TfmKyrDatabase::btDeselectClick()
{
    TQuery* q = data_->qResReport;
    if (!q->Active() || q->IsEmpty())
        return;
    TField* result = q->FieldByName(QStringLiteral("TESTRESULT"));
    const QString text = result->AsString();
    if (text.startsWith(QLatin1Char('*')))
        return;
    if (!q->CanModify()) {
        CannotModify();
        return;
    }
    // A result that fills its field keeps the field's width: the asterisk goes in front
    // and the text's last characters give way, so the row still leaves the report.
    QString marked = text.startsWith(QLatin1Char(' ')) ? QLatin1Char('*') + text.mid(1) : QLatin1Char('*') + text;
    if (result->Size() > 0 && marked.size() > result->Size())
        marked.truncate(result->Size());
    q->Edit();
    result->SetAsString(marked);
    q->Refresh();
}

void TfmKyrDatabase::btEditSQLselClick()
{
    if (!ReclData())
        return;
    TQuery* q = ReclData()->qRes;
    if (btEditSQLsel->text() != FinishCaption) {
        SetMemoLines(Memo1, q->SQL);
        Memo1->show();
        btEditSQLsel->setText(FinishCaption);
        return;
    }
    CloseQuery(q);
    const QStringList kept = q->SQL;
    const QStringList lines = SubstituteToday(MemoLines(Memo1), DateToStr(QDate::currentDate()));
    SetMemoLines(Memo1, lines);
    q->SQL = lines;
    try {
        q->Open();
    } catch (...) {
        q->Close();
        q->SQL = kept;
        q->Open();
    }
    SetMemoLines(Memo1, q->SQL);

    const QStringList keptReport = data_->qResReport->SQL;
    SetMemoLines(Memo2, DeriveReportSQL(q->SQL));
    CloseQuery(data_->qResReport);
    data_->qResReport->SQL = MemoLines(Memo2);
    try {
        data_->qResReport->Open();
    } catch (...) {
        data_->qResReport->Close();
        data_->qResReport->SQL = keptReport;
        data_->qResReport->Open();
    }
    SetMemoLines(Memo2, data_->qResReport->SQL);
    Memo1->hide();
    btEditSQLsel->setText(EditSQLCaption);
    tsResultsEnter();
}

void TfmKyrDatabase::btEditSQLdesClick()
{
    if (btEditSQLdes->text() != FinishCaption) {
        SetMemoLines(Memo2, data_->qResReport->SQL);
        Memo2->show();
        btEditSQLdes->setText(FinishCaption);
        return;
    }
    CloseQuery(data_->qResReport);
    data_->qResReport->SQL = MemoLines(Memo2);
    Memo2->hide();
    btEditSQLdes->setText(ViewSQLCaption);
    data_->qResReport->Open();
    tsResultsEnter();
}

// ---------------------------------------------------------------- backup

void TfmKyrDatabase::btBackupClick()
{
    if (Application.MessageBox(QStringLiteral("Backup Database Files?"), QStringLiteral("Backup"), MB_YESNO) !=
        IDYES)
        return;
    // The tables are opened by bare name in the current folder: it is made current
    // again however the backup ends.
    const QString current = QDir::currentPath();
    struct Restore {
        QString folder;
        ~Restore() { QDir::setCurrent(folder); }
    } restore{current};

    QString documents;
    GetSpecialFolder(5, documents);
    QString folder = QDir(documents).filePath(QStringLiteral("Kestrovan"));
    SelectDirectory(folder, this);

    const QString dateText = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    auto backup = [&](const QString& source, const QString& proposed) {
        TFileDialog SaveDialog1;
        SaveDialog1.Save = true;
        SaveDialog1.Title = QStringLiteral("Backup Database File");
        SaveDialog1.InitialDir = folder;
        SaveDialog1.FileName = proposed;
        if (!SaveDialog1.Execute(this))
            return false;
        if (FileExists(source) &&
            !CopyFileWhole(source, SaveDialog1.FileName + QLatin1Char('-') + dateText))
            MessageDlg(QStringLiteral("File Copy Error"), mtInformation, Btn(mbOK));
        return true;
    };
    for (const QString& name : TableNames)
        if (!backup(QDir(DataFolder).filePath(name + QStringLiteral(".dbf")), name + QStringLiteral(".dbf")))
            return;
    backup(QDir(DataFolder).filePath(QStringLiteral("Kestrovan.rcf")), QStringLiteral("Kestrovan.rcf"));
}
