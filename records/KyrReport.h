// The report window "Kestrovan Report": the recloser IDs chosen for the results report,
// the SQL text that selects their results (shown, and editable on request), and the
// preview of the report "Kestrovan Test Results", from which the user prints. The
// report prints the rows of the report query the browser keeps in the records' data.
#pragma once

#include "KyrRecordsData.h"
#include "KyrResultsReport.h"

#include <QStringList>
#include <QWidget>
#include <memory>

namespace Ui { class TfmKyrReport; }
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class TDataSet;

class TfmKyrReport : public QWidget {
    Q_OBJECT
public:
    // The recloser IDs come from the data form's recloser table, through ReclSource; the
    // report query from Data (its own when none is given: no query then).
    explicit TfmKyrReport(IReclDataSource* ReclSource = nullptr, TKyrRecordsData* Data = nullptr,
                          QWidget* parent = nullptr);
    ~TfmKyrReport() override;
    // The data the records' windows share (KyrRecordsData.h).
    TKyrRecordsData& Data() const { return *data_; }

    QLabel* Label1 = nullptr;
    QComboBox* cbReclID = nullptr;
    QPushButton* btAdd = nullptr;
    QPushButton* btRemove = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QPushButton* btEdit = nullptr;
    QPushButton* btPreview = nullptr;

    // The report and its detail band; prints the report query.
    TKyrResultsReport Report;
    TQuickRep& QuickRep1;

    // The IDs of the list, in order.
    QStringList ListedIDs() const;

    void BuildResultsQuery();
    void FormActivate();
    void btAddClick();
    void btRemoveClick();
    void btEditClick();
    void btPreviewClick();

protected:
    bool event(QEvent* e) override;

private:
    // The report query; none while the browser does not exist.
    TQuery* ReportQuery() const { return data_->qResReport; }
    // The report's rows: the report query.
    class QueryRows;
    // The records' data it was handed, or its own when it was made without.
    std::unique_ptr<TKyrRecordsData> ownData_;
    TKyrRecordsData* data_;
    std::unique_ptr<QueryRows> rows_;
    IReclDataSource* reclSource_;
    Ui::TfmKyrReport* ui;
    bool backFromDialog_ = false;
};

extern TfmKyrReport* fmKyrReport;
