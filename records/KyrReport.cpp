#include "KyrReport.h"

#include "ui_KyrReport.h"

#include "DbTables.h"
#include "Forms.h"
#include "KyrSqlText.h"
#include "MemoText.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

TfmKyrReport* fmKyrReport = nullptr;

// The rows of the report query, as the report reads them.
class TfmKyrReport::QueryRows : public TQRRowSource {
public:
    explicit QueryRows(const TKyrRecordsData& data) : data_(data) {}
    void First() override
    {
        if (TQuery* q = active())
            q->First();
    }
    bool Eof() const override
    {
        TQuery* q = active();
        return !q || q->Eof();
    }
    void Next() override
    {
        if (TQuery* q = active())
            q->Next();
    }
    QVariant FieldValue(const QString& name) const override
    {
        TQuery* q = active();
        if (!q)
            throw EDatabaseError(QStringLiteral("Report query is not open"));
        TField* f = q->FieldByName(name);
        return f->IsNull() ? QVariant() : f->Value();
    }

private:
    TQuery* active() const
    {
        TQuery* q = data_.qResReport;
        return q && q->Active() ? q : nullptr;
    }
    const TKyrRecordsData& data_;
};

TfmKyrReport::TfmKyrReport(IReclDataSource* ReclSource, TKyrRecordsData* Data, QWidget* parent)
    : QWidget(parent), QuickRep1(Report.QuickRep1), ownData_(Data ? nullptr : std::make_unique<TKyrRecordsData>()),
      data_(Data ? Data : ownData_.get()), rows_(std::make_unique<QueryRows>(*data_)), reclSource_(ReclSource),
      ui(new Ui::TfmKyrReport)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("fmKyrReport"));
    setFixedSize(875, 114);
    Label1 = ui->Label1;
    cbReclID = ui->cbReclID;
    btAdd = ui->btAdd;
    btRemove = ui->btRemove;
    ListBox1 = ui->ListBox1;
    Memo2 = ui->Memo2;
    btEdit = ui->btEdit;
    btPreview = ui->btPreview;
    Report.SetDataSet(rows_.get());

    auto bind = [this](QPushButton* b, void (TfmKyrReport::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    bind(btAdd, &TfmKyrReport::btAddClick);
    bind(btRemove, &TfmKyrReport::btRemoveClick);
    bind(btEdit, &TfmKyrReport::btEditClick);
    bind(btPreview, &TfmKyrReport::btPreviewClick);
}

TfmKyrReport::~TfmKyrReport()
{
    if (fmKyrReport == this)
        fmKyrReport = nullptr;
    delete ui;
}

bool TfmKyrReport::event(QEvent* e)
{
    const bool r = QWidget::event(e);
    if (e->type() == QEvent::WindowDeactivate) {
        // A message box or dialog (the preview too) is no other window of the program:
        // coming back from it is no activation. Otherwise a failure reported from the
        // activation would be reported again each time its box closes.
        backFromDialog_ = qobject_cast<QDialog*>(QApplication::activeWindow()) != nullptr;
    } else if (e->type() == QEvent::WindowActivate) {
        if (backFromDialog_)
            backFromDialog_ = false;
        else
            Guarded([this] { FormActivate(); });
    }
    return r;
}

QStringList TfmKyrReport::ListedIDs() const
{
    QStringList ids;
    for (int i = 0; i < ListBox1->count(); ++i)
        ids << ListBox1->item(i)->text();
    return ids;
}

void TfmKyrReport::BuildResultsQuery()
{
    TQuery* q = ReportQuery();
    const QStringList sql = ResultsQueryText(ListedIDs());
    if (q) {
        q->Close();
        q->SQL.clear();
        q->SQL = sql;
    }
    SetMemoLines(Memo2, sql);
    if (q)
        q->Open();
}

void TfmKyrReport::FormActivate()
{
    TReclTables* ReclData = reclSource_ ? reclSource_->ReclTables() : nullptr;
    if (ReclData) {
        // The IDs come from the recloser table. When another window has that table
        // object open (a browser page, perhaps with an edit), its cursor and edit are
        // left alone and the file is read through an object of our own.
        TTable* shared = ReclData->tblReclosers;
        TTable own;
        TTable* t = shared;
        if (shared->Active()) {
            own.TableName = shared->TableName;
            own.DatabaseName = shared->DatabaseName;
            t = &own;
        }
        t->Open();
        QStringList ids;
        for (t->First(); !t->Eof(); t->Next())
            ids << t->FieldByName(QStringLiteral("RECLID"))->AsString();
        {
            const QSignalBlocker block(cbReclID);
            const QString text = cbReclID->currentText();
            cbReclID->clear();
            cbReclID->addItems(ids);
            cbReclID->setEditText(text);
            const QString current = reclSource_->ReclID();
            if (text.isEmpty() && !current.isEmpty())
                cbReclID->setEditText(current);
        }
        t->Close();
    }
    const QStringList browserSQL = reclSource_ ? reclSource_->BrowserReportSQL() : QStringList();
    if (!browserSQL.isEmpty())
        SetMemoLines(Memo2, browserSQL);
    else
        BuildResultsQuery();
    if (TQuery* q = ReportQuery())
        SetMemoLines(Memo2, q->SQL);
}

void TfmKyrReport::btAddClick()
{
    const QString id = cbReclID->currentText();
    if (id.isEmpty())
        return;
    for (const QString& listed : ListedIDs())
        if (listed.compare(id, Qt::CaseInsensitive) == 0)
            return;
    ListBox1->addItem(id);
    BuildResultsQuery();
}

void TfmKyrReport::btRemoveClick()
{
    const int row = ListBox1->currentRow();
    if (row < 0 || !ListBox1->item(row)->isSelected())
        return;
    delete ListBox1->takeItem(row);
    BuildResultsQuery();
}

void TfmKyrReport::btEditClick()
{
    if (btEdit->text() == QLatin1String("Edit")) {
        Memo2->setReadOnly(false);
        Memo2->setEnabled(true);
        Memo2->setFocus();
        btEdit->setText(QStringLiteral("Finish"));
    } else {
        Memo2->setReadOnly(true);
        Memo2->setEnabled(false);
        btEdit->setText(QStringLiteral("Edit"));
    }
}

void TfmKyrReport::btPreviewClick()
{
    TQuery* q = ReportQuery();
    if (!q)
        return;
    q->Close();
    q->SQL = MemoLines(Memo2);
    q->Open();
    QuickRep1.Preview();
}
