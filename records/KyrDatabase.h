// The database browser "Kestrovan Database": the five recloser tables in grids with
// navigators, one page each; on the results page the results of the chosen recloser
// and, below, the results that go into the report, with Select and Deselect to move a
// result in or out of the report, and the SQL texts of both queries to edit or view;
// and the backup of the tables and the curve file into dated copies.
//
// The table objects and the results query are the records' data (TKyrRecordsData::Tables),
// reached through the records' hub it is made with; the report query (live, so its rows
// can be changed) is kept in the records' data too (qResReport): the browser makes it
// and it goes with the browser; the browser owns the data sources of both result queries. A page opens its table when
// it finds it closed and then only posts its own edit and closes what it opened when it is left.
#pragma once

#include "DbControls.h"
#include "DbTables.h"
#include "KyrRecordsData.h"
#include "KyrTables.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

namespace Ui { class TfmKyrDatabase; }
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// The recloser ID for which the SQL texts in the browser's memos are held.
extern QString LastResultsReclID;

class TfmKyrDatabase : public QWidget {
    Q_OBJECT
public:
    // The report query is made in Data (its own data when none is given) and goes with
    // the browser.
    explicit TfmKyrDatabase(IReclDataSource* ReclSource = nullptr, TKyrRecordsData* Data = nullptr,
                            QWidget* parent = nullptr);
    ~TfmKyrDatabase() override;
    // The data the records' windows share (KyrRecordsData.h).
    TKyrRecordsData& Data() const { return *data_; }

    // ---- Owned database objects ----
    TDataSource* dsRes;           // qRes of the recloser data form
    TDataSource* dsResReport;     // qResReport

    // ---- Controls ----
    QTabWidget* PageControl1 = nullptr;
    QWidget* tsResults = nullptr;
    QWidget* tsReclosers = nullptr;
    QWidget* tsTypes = nullptr;
    QWidget* tsTechs = nullptr;
    QWidget* tsCust = nullptr;
    TDBGrid* DBGrid1 = nullptr;   // results of the recloser (qRes)
    TDBGrid* dbGrid6 = nullptr;   // results selected for the report (qResReport)
    TDBGrid* DBGrid2 = nullptr;   // reclosers
    TDBGrid* DBGrid3 = nullptr;   // recloser types
    TDBGrid* DBGrid4 = nullptr;   // technicians
    TDBGrid* DBGrid5 = nullptr;   // customers
    TDBNavigator* DBNavigator1 = nullptr;
    TDBNavigator* DBNavigator2 = nullptr;
    TDBNavigator* DBNavigator3 = nullptr;
    TDBNavigator* DBNavigator4 = nullptr;
    TDBNavigator* DBNavigator5 = nullptr;
    QPushButton* btSelect = nullptr;
    QPushButton* btDeselect = nullptr;
    QPushButton* btEditSQLsel = nullptr;  // "Edit SQL" / "Finish"
    QPushButton* btEditSQLdes = nullptr;  // "View SQL" / "Finish"
    QPushButton* btBackup = nullptr;
    QPlainTextEdit* Memo1 = nullptr;      // SQL text of qRes
    QPlainTextEdit* Memo2 = nullptr;      // SQL text of qResReport, view only

    // ---- Handlers ----
    void FormCreate();
    void FormShow();
    void FormClose();
    void tsResultsEnter();
    void tsResultsExit();
    void tsReclosersEnter();
    void tsReclosersExit();
    void tsTypesEnter();
    void tsTypesExit();
    void tsTechsEnter();
    void tsTechsExit();
    void tsCustEnter();
    void tsCustExit();
    void DBGrid1Enter();
    void DBGrid6Enter();
    void btSelectClick();
    void btDeselectClick();
    void btEditSQLselClick();
    void btEditSQLdesClick();
    void btBackupClick();

    // The memo's lines, as the framework's memo gave them.
    static QStringList MemoLines(const QPlainTextEdit* memo);
    static void SetMemoLines(QPlainTextEdit* memo, const QStringList& lines);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // The data form's tables and recloser ID, through ReclSource; none without it.
    TReclTables* ReclData() const;
    QString CurrentReclID() const;
    // The page's table: checked, opened when closed; false when its file is missing.
    bool PageEnter(int page);
    // Posts the page's own edit and closes the table it opened; false when the edit
    // could not be posted (the page stays).
    bool PageExit(int page);
    void PageControl1Change(int index);
    TTable* PageTableObject(int page) const;
    // Closes a result query; a change of a row still being edited is posted first.
    static void CloseQuery(TQuery* q);

    IReclDataSource* reclSource_;
    // The records' data it was handed, or its own when it was made without.
    std::unique_ptr<TKyrRecordsData> ownData_;
    TKyrRecordsData* data_;
    Ui::TfmKyrDatabase* ui;
    int currentPage_ = 0;
    bool opened_[5] = {};  // the page opened its table itself
};

extern TfmKyrDatabase* fmKyrDatabase;
