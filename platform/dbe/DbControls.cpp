#include "DbControls.h"

#include "Dialogs.h"
#include "Forms.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>

// ---------------------------------------------------------------- grid

// The grid's cell delegate: tells the grid which editor is open.
class TDBGridDelegate : public QStyledItemDelegate {
public:
    explicit TDBGridDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        grid_->editor_ = editor;
        return editor;
    }

private:
    TDBGrid* grid_;
};

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), model_(new TDBGridModel(nullptr, this))
{
    setModel(model_);
    setItemDelegate(new TDBGridDelegate(this));
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

TDBGrid::~TDBGrid()
{
    disconnect(moved_);
    disconnect(update_);
}

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
    disconnect(update_);
    followed_ = ds;
    pending_.clear();
    if (ds) {
        moved_ = connect(ds, &TDataSet::RecordChanged, this, [this] { SyncFromDataSet(); });
        update_ = connect(ds, &TDataSet::UpdateData, this, [this](std::exception_ptr* error) {
            try {
                UpdateData();
            } catch (...) {
                if (error && !*error)
                    *error = std::current_exception();
            }
        });
    }
}

void TDBGrid::SyncFromDataSet()
{
    if (syncing_)
        return;
    follow();
    TDataSet* ds = followed_;
    syncing_ = true;
    const int row = model_->CurrentGridRow();
    if (ds && row >= 0 && row < model_->rowCount()) {
        const QModelIndex at = model_->index(row, std::max(0, currentIndex().column()));
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
    // A row that could not be left (a new row refused by Post) stays the current one.
    SyncFromDataSet();
}

void TDBGrid::EditNewRow()
{
    const int row = model_->NewRow();
    if (row < 0)
        return;
    const QModelIndex first = model_->index(row, 0);
    setCurrentIndex(first);
    scrollTo(first);
    QWidget* focus = QApplication::focusWidget();
    if (focus != this && !isAncestorOf(focus)) {
        programEnter_ = true;
        setFocus(Qt::OtherFocusReason);
        programEnter_ = false;
    }
    edit(first);
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

std::optional<TDBGrid::CellText> TDBGrid::EditorText() const
{
    // An editor let go with its rows (a reset, the new row cancelled) is hidden at once.
    if (!editor_ || editor_->isHidden() || editRow_ < 0)
        return std::nullopt;
    QStandardItemModel capture(1, 1);
    itemDelegateForIndex(model_->index(editRow_, editColumn_))->setModelData(editor_, &capture, capture.index(0, 0));
    CellText cell;
    cell.newRow = editRow_ == model_->NewRow();
    cell.row = cell.newRow ? -1 : model_->DataRow(editRow_);
    cell.column = editColumn_;
    cell.text = capture.data(capture.index(0, 0), Qt::EditRole).toString();
    if (!cell.newRow && cell.row < 0)
        return std::nullopt;
    return cell;
}

void TDBGrid::commitData(QWidget* editor)
{
    // A posted row makes the data set read its rows again, which resets the model under
    // an open editor: the value is taken now and written once the editor has closed (or
    // at once when the data set asks for it first).
    if (editor != editor_)
        return;
    const std::optional<CellText> cell = EditorText();
    editRow_ = editColumn_ = -1;
    if (!cell)
        return;
    pending_.push_back(*cell);
    QTimer::singleShot(0, this, [this] { Guarded([this] { WritePending(false); }); });
}

void TDBGrid::WritePending(bool keepEditing)
{
    // Every text that converts is kept; the first failure is raised once all were tried.
    std::exception_ptr error;
    while (!pending_.empty()) {
        const CellText cell = pending_.front();
        pending_.erase(pending_.begin());
        try {
            WriteCell(cell, keepEditing);
        } catch (...) {
            if (!error)
                error = std::current_exception();
        }
    }
    if (error)
        std::rethrow_exception(error);
}

void TDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    // Forgotten first: the close may open the next cell's editor (Tab).
    if (editor == editor_) {
        editor_ = nullptr;
        editRow_ = editColumn_ = -1;
    }
    QTableView::closeEditor(editor, hint);
}

void TDBGrid::UpdateData()
{
    if (updating_)
        return;
    updating_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{updating_};
    // Taken before anything is written: a written field repaints the row.
    const std::optional<CellText> open = EditorText();
    WritePending(true);
    if (open)
        WriteCell(*open, true);
}

void TDBGrid::WriteCell(const CellText& cell, bool keepEditing)
{
    TDataSet* ds = followed_;
    if (!ds || !ds->Active() || cell.column < 0 || cell.column >= ds->FieldCount())
        return;
    TField* field = ds->Fields(cell.column);
    const TDataSetState state = ds->State();
    if (cell.newRow) {
        if (state == dsInsert && field->AsString() != cell.text)
            field->SetAsString(cell.text);
        return;
    }
    if (cell.row >= ds->RecordCount())
        return;
    if (state == dsEdit || state == dsInsert) {
        // The row being edited keeps the text until it is posted; a text for another
        // row than the one being edited or inserted has no row to go into.
        if (state == dsEdit && ds->RecNo() == cell.row + 1 && field->AsString() != cell.text)
            field->SetAsString(cell.text);
        return;
    }
    if (keepEditing) {
        // Asked by the data set before it posts or moves: the row goes into the edit
        // state with the text, and the caller posts it.
        if (ds->RecNo() != cell.row + 1 || field->AsString() == cell.text)
            return;
        ds->Edit();
        try {
            field->SetAsString(cell.text);
        } catch (...) {
            ds->Cancel();
            throw;
        }
        return;
    }
    // Written through the data set, so a value that does not convert is reported with
    // the engine's own message, as the framework's grid did, and the row stays as it was.
    try {
        ds->SetRecNo(cell.row + 1);
        if (field->AsString() == cell.text)
            return;
        ds->Edit();
        field->SetAsString(cell.text);
        ds->Post();
    } catch (...) {
        if (ds->State() == dsEdit)
            ds->Cancel();
        throw;
    }
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
        UpdateButtons();
        emit Click(button);
    });
    UpdateButtons();
}
