#include "KyrTables.h"

const QString TableNames[5] = {QStringLiteral("KyrCust"), QStringLiteral("KyrRecl"), QStringLiteral("KyrRes"),
                               QStringLiteral("KyrTechs"), QStringLiteral("KyrTypes")};

TReclTables::TReclTables() : owner_(new QObject)
{
    tblTechs = new TTable(owner_);
    dsTechs = new TDataSource(owner_);
    qTechs = new TQuery(owner_);
    tblReclosers = new TTable(owner_);
    dsReclosers = new TDataSource(owner_);
    qReclosers = new TQuery(owner_);
    tblTypes = new TTable(owner_);
    dsTypes = new TDataSource(owner_);
    qTypes = new TQuery(owner_);
    tblCust = new TTable(owner_);
    dsCust = new TDataSource(owner_);
    qCust = new TQuery(owner_);
    tblRes = new TTable(owner_);
    dsResults = new TDataSource(owner_);
    qRes = new TQuery(owner_);
}

TReclTables::~TReclTables() { delete owner_; }

void TReclTables::CheckDatabase() {}
