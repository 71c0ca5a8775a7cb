#include "DbControls.h"

#include "Dialogs.h"
#include "Forms.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>

// ---------------------------------------------------------------- grid

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), model_(new TDBGridModel(nullptr, this))
{
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setDefaultSectionSize(20);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        follow();
        SyncFromDataSet();
    });
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] { SyncFromDataSet(); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusMoved(now); });
    connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] { SyncFromDataSet(); });
}

TDBGrid::~TDBGrid() { disconnect(moved_); }

void TDBGrid::SetDataSource(TDataSource* source)
{
    model_->SetDataSource(source);
    follow();
    SyncFromDataSet();
}

void TDBGrid::follow()
{
    TDataSet* ds = DataSource() ? DataSource()->DataSet : nullptr;
    if (ds == followed_)
        return;
    disconnect(moved_);
    followed_ = ds;
    if (ds)
        moved_ = connect(ds, &TDataSet::RecordChanged, this, [this] { SyncFromDataSet(); });
}

void TDBGrid::SyncFromDataSet()
{
    if (syncing_)
        return;
    follow();
    TDataSet* ds = followed_;
    syncing_ = true;
    if (ds && ds->Active() && ds->RecNo() > 0 && ds->RecNo() <= model_->rowCount()) {
        const QModelIndex at = model_->index(ds->RecNo() - 1, std::max(0, currentIndex().column()));
        if (at != currentIndex())
            setCurrentIndex(at);
    } else if (currentIndex().isValid()) {
        setCurrentIndex(QModelIndex());
    }
    syncing_ = false;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (syncing_ || !current.isValid() || current.row() == previous.row())
        return;
    // The user moved to another row: the data set follows.
    syncing_ = true;
    Guarded([&] { model_->SetCurrentRow(current.row()); });
    syncing_ = false;
}

bool TDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const bool started = QTableView::edit(index, trigger, event);
    if (started) {
        editRow_ = index.row();
        editColumn_ = index.column();
    }
    return started;
}

void TDBGrid::commitData(QWidget* editor)
{
    // A posted row makes the data set read its rows again, which resets the model under
    // an open editor: the value is taken now and written once the editor has closed.
    if (editRow_ < 0)
        return;
    QStandardItemModel capture(1, 1);
    itemDelegateForIndex(model_->index(editRow_, editColumn_))->setModelData(editor, &capture, capture.index(0, 0));
    const QString text = capture.data(capture.index(0, 0), Qt::EditRole).toString();
    const int row = editRow_, column = editColumn_;
    editRow_ = editColumn_ = -1;
    QTimer::singleShot(0, this, [this, row, column, text] {
        TDataSet* ds = followed_;
        if (!ds || !ds->Active() || row >= ds->RecordCount() || column >= ds->FieldCount())
            return;
        // Written through the data set, so a value that does not convert is reported with
        // the engine's own message, as the framework's grid did, and the row stays as it was.
        Guarded([&] {
            try {
                ds->SetRecNo(row + 1);
                if (ds->Fields(column)->AsString() == text)
                    return;
                ds->Edit();
                ds->Fields(column)->SetAsString(text);
                ds->Post();
            } catch (...) {
                if (ds->State() == dsEdit)
                    ds->Cancel();
                throw;
            }
        });
    });
}

void TDBGrid::EnterByProgram()
{
    if (hasFocus())
        return;
    emit Enter();
    programEnter_ = true;
    setFocus(Qt::OtherFocusReason);
    programEnter_ = false;
}

void TDBGrid::focusInEvent(QFocusEvent* e)
{
    QTableView::focusInEvent(e);
    if (programEnter_ || e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason)
        return;
    // Back from the grid's own cell editor: the focus never left the grid.
    if (inEditor_) {
        inEditor_ = false;
        return;
    }
    emit Enter();
}

void TDBGrid::focusOutEvent(QFocusEvent* e)
{
    QTableView::focusOutEvent(e);
    if (e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason)
        return;
    // Into the grid's own cell editor: still inside the grid.
    QWidget* now = QApplication::focusWidget();
    if (now && isAncestorOf(now)) {
        inEditor_ = true;
        return;
    }
    emit Exit();
}

void TDBGrid::FocusMoved(QWidget* now)
{
    // The cell editor gave the focus to another control than the grid: the grid is left.
    if (!inEditor_ || !now || now == this || isAncestorOf(now))
        return;
    inEditor_ = false;
    emit Exit();
}

// ---------------------------------------------------------------- navigator

namespace {
struct ButtonLook {
    const char* glyph;
    const char* hint;
    const char* name;
};
const ButtonLook Looks[TDBNavigator::ButtonCount] = {
    {"|\u25C0", "First record", "nbFirst"}, {"\u25C0", "Prior record", "nbPrior"},
    {"\u25B6", "Next record", "nbNext"},    {"\u25B6|", "Last record", "nbLast"},
    {"+", "Insert record", "nbInsert"},     {"\u2212", "Delete record", "nbDelete"},
    {"\u25B2", "Edit record", "nbEdit"},    {"\u2714", "Post edit", "nbPost"},
    {"\u2716", "Cancel edit", "nbCancel"},  {"\u27F3", "Refresh data", "nbRefresh"},
};
} // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < ButtonCount; ++i) {
        auto* b = new QToolButton(this);
        b->setText(QString::fromUtf8(Looks[i].glyph));
        b->setToolTip(QString::fromLatin1(Looks[i].hint));
        b->setObjectName(QString::fromLatin1(Looks[i].name));
        b->setFixedSize(28, 24);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, [this, i] { BtnClick(static_cast<TNavigateBtn>(i)); });
        row->addWidget(b);
        buttons_[i] = b;
    }
    row->addStretch(1);
    UpdateButtons();
}

void TDBNavigator::SetDataSource(TDataSource* source)
{
    source_ = source;
    follow();
    UpdateButtons();
}

TDataSet* TDBNavigator::dataSet() const { return source_ ? source_->DataSet : nullptr; }

void TDBNavigator::follow()
{
    TDataSet* ds = dataSet();
    if (ds == followed_)
        return;
    disconnect(changed_);
    disconnect(moved_);
    followed_ = ds;
    if (ds) {
        changed_ = connect(ds, &TDataSet::DataSetChanged, this, [this] { UpdateButtons(); });
        moved_ = connect(ds, &TDataSet::RecordChanged, this, [this] { UpdateButtons(); });
    }
}

void TDBNavigator::UpdateButtons()
{
    follow();
    TDataSet* ds = followed_;
    const bool active = ds && ds->Active();
    const bool editing = active && (ds->State() == dsEdit || ds->State() == dsInsert);
    const bool canModify = active && ds->CanModify();
    const bool empty = !active || ds->IsEmpty();
    const bool atFirst = empty || ds->RecNo() <= 1;
    const bool atLast = empty || ds->RecNo() >= ds->RecordCount();
    buttons_[nbFirst]->setEnabled(active && !atFirst);
    buttons_[nbPrior]->setEnabled(active && !atFirst);
    buttons_[nbNext]->setEnabled(active && !atLast);
    buttons_[nbLast]->setEnabled(active && !atLast);
    buttons_[nbInsert]->setEnabled(canModify);
    buttons_[nbDelete]->setEnabled(canModify && !empty);
    buttons_[nbEdit]->setEnabled(canModify && !editing && !empty);
    buttons_[nbPost]->setEnabled(canModify && editing);
    buttons_[nbCancel]->setEnabled(canModify && editing);
    buttons_[nbRefresh]->setEnabled(active);
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    UpdateButtons();
    TDataSet* ds = followed_;
    if (!ds || !buttons_[button]->isEnabled())
        return;
    Guarded([&] {
        switch (button) {
        case nbFirst: ds->First(); break;
        case nbPrior: ds->Prior(); break;
        case nbNext: ds->Next(); break;
        case nbLast: ds->Last(); break;
        case nbInsert: ds->Insert(); break;
        case nbDelete:
            if (!ConfirmDelete || MessageDlg(QStringLiteral("Delete record?"), mtConfirmation, mbOKCancel) == mrOk)
                ds->Delete();
            break;
        case nbEdit: ds->Edit(); break;
        case nbPost: ds->Post(); break;
        case nbCancel: ds->Cancel(); break;
        case nbRefresh: ds->Refresh(); break;
        }
    });
    UpdateButtons();
}
