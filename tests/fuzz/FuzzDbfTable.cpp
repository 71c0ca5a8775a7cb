// The dBASE table reader: any bytes as a table file, opened by the engine as a table and
// through SQL. Whatever the file holds, it opens or raises the engine's error, every
// row reads, and no number comes out as an infinity or a NaN.
#include "FuzzSupport.h"

#include "DbTables.h"
#include "SysUtils.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace {

void CheckValue(const QVariant& v)
{
    if (v.typeId() == QMetaType::Double)
        kvfuzz::Check(std::isfinite(v.toDouble()), "a number read from a table is finite");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kvfuzz::Init();
    const QString path = kvfuzz::PutFile("FUZZT.dbf", data, size);
    try {
        TTable t;
        t.TableName = path;
        t.Open();
        int rows = 0;
        for (t.First(); !t.Eof() && rows < 10000; t.Next(), ++rows)
            for (int i = 0; i < t.FieldCount(); ++i) {
                CheckValue(t.Fields(i)->Value());
                (void)t.Fields(i)->AsString();
            }
        kvfuzz::Check(rows == t.RecordCount() || rows == 10000, "the cursor walks every row");
    } catch (const Exception&) {
        // A file that is no table raises the engine's error.
    }
    try {
        TQuery q;
        q.DatabaseName = QFileInfo(path).absolutePath();
        q.SQL = QStringList{QStringLiteral("SELECT * FROM FUZZT")};
        q.Open();
        int rows = 0;
        for (q.First(); !q.Eof() && rows < 10000; q.Next(), ++rows)
            for (int i = 0; i < q.FieldCount(); ++i)
                CheckValue(q.Fields(i)->Value());
    } catch (const Exception&) {
    }
    return 0;
}
