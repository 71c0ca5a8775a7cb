// The database objects of the recloser records: for each of the five tables a table
// object, a data source and a query, with the SQL texts the form's lists start from,
// and the start-up table check (update files, backup copies, virtual-store copies).
// The records' data (TKyrRecordsData::Tables) holds the one the windows share; the data
// form reaches the objects by these names, the other windows through the records' hub.
#pragma once

#include "DbTables.h"

#include <QString>
#include <functional>

// The five tables in the order of the start-up check and of the browser's backup.
extern const QString TableNames[5];

// Called by the start-up check before each step of an update file's merge ("move",
// "append", "remove"); does nothing unless a test stops the program there.
extern std::function<void(const char*)> CheckDatabaseStep;

struct TReclTables {
    TReclTables();
    virtual ~TReclTables();
    TReclTables(const TReclTables&) = delete;
    TReclTables& operator=(const TReclTables&) = delete;

    TTable* tblTechs;         // KyrTechs
    TDataSource* dsTechs;
    TQuery* qTechs;           // "SELECT TECHID FROM KYRTECHS ORDER BY TECHID"

    TTable* tblReclosers;     // KyrRecl
    TDataSource* dsReclosers;
    TQuery* qReclosers;       // "SELECT * FROM KYRRECL ORDER BY RECLID", replaced at run time

    TTable* tblTypes;         // KyrTypes
    TDataSource* dsTypes;
    TQuery* qTypes;           // "SELECT *  FROM KYRTYPES ORDER BY TYPE"

    TTable* tblCust;          // KyrCust
    TDataSource* dsCust;
    TQuery* qCust;            // "SELECT * FROM KYRCUST ORDER BY CUSTID"

    TTable* tblRes;           // KyrRes
    TDataSource* dsResults;
    TQuery* qRes;             // no SQL of its own, live result requested

    // The start-up table check, run at the end of every initialisation. Exceptions of
    // the database engine (and an update file whose size cannot be taken) pass to the
    // caller after the current table's objects are freed.
    void CheckDatabase();

private:
    QObject* owner_;  // parent of the objects above
};
