// The recloser data form as the browser and the report see it, without the form: the
// tables a test made and the recloser ID it names.
#pragma once

#include "KyrDatabase.h"

#include <functional>

class FakeReclSource : public IReclDataSource {
public:
    FakeReclSource(TReclTables* tables, std::function<QString()> id) : tables_(tables), id_(std::move(id)) {}
    TReclTables* ReclTables() const override { return tables_; }
    QString ReclID() const override { return id_(); }

private:
    TReclTables* tables_;
    std::function<QString()> id_;
};
