// Rows for report tests: a list of field maps walked like a table.
#pragma once

#include "QuickRpt.h"
#include "SysUtils.h"

#include <QVariantMap>
#include <vector>

class VectorRows : public TQRRowSource {
public:
    std::vector<QVariantMap> rows;
    size_t pos = 0;
    void First() override { pos = 0; }
    bool Eof() const override { return pos >= rows.size(); }
    void Next() override { ++pos; }
    QVariant FieldValue(const QString& name) const override
    {
        if (pos >= rows.size())
            throw Exception(QStringLiteral("No current record"));
        const auto& r = rows[pos];
        if (!r.contains(name))
            throw Exception(QStringLiteral("Field '%1' not found").arg(name));
        return r.value(name);
    }
};
