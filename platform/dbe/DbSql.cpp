#include "DbSql.h"

#include "DbError.h"
#include "SysUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <map>
#include <sqlite3.h>

namespace {

// ---- Tokens ----

struct Tok {
    enum Kind { Space, Word, Number, SQuote, DQuote, Op } kind;
    QString text;  // the token as written; for quotes: the content
};

bool EndsDoubleQuoted(const QString& s, int i)
{
    // A double quote closes its literal only before the end, a blank, a line break or
    // punctuation that can follow a literal; elsewhere it is part of the value, so an
    // ID holding a double quote reads back whole.
    if (i + 1 >= s.size())
        return true;
    const QChar n = s.at(i + 1);
    return n.isSpace() || n == QLatin1Char(')') || n == QLatin1Char(',') || n == QLatin1Char(';');
}

// Tokens of s from i on, appended to out; false (with the reason) when the text does
// not split. A double-quoted literal closes at the first quote that can end it and
// leaves a text that splits, so "AB" C" and "AB "" read whole.
// Whether the text splits from a position depends on the position alone: `dead` marks
// the positions found not to, so the tries at each double quote are made once, however
// many double quotes the text holds (each try again would double the work).
bool TokenizeFrom(const QString& s, int i, std::vector<Tok>& out, QString& error, std::vector<char>& dead);

bool TokenizeRest(const QString& s, int i, std::vector<Tok>& out, std::vector<char>& dead)
{
    if (dead[static_cast<size_t>(i)])
        return false;
    QString rest;
    if (TokenizeFrom(s, i, out, rest, dead))
        return true;
    dead[static_cast<size_t>(i)] = 1;
    return false;
}

bool TokenizeFrom(const QString& s, int i, std::vector<Tok>& out, QString& error, std::vector<char>& dead)
{
    const int n = s.size();
    while (i < n) {
        const QChar c = s.at(i);
        if (c.isSpace()) {
            int j = i;
            while (j < n && s.at(j).isSpace())
                ++j;
            out.push_back({Tok::Space, s.mid(i, j - i)});
            i = j;
        } else if (c == QLatin1Char('-') && i + 1 < n && s.at(i + 1) == QLatin1Char('-')) {
            int j = i;
            while (j < n && s.at(j) != QLatin1Char('\n'))
                ++j;
            out.push_back({Tok::Space, QStringLiteral(" ")});
            i = j;
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            int j = i;
            while (j < n && (s.at(j).isLetterOrNumber() || s.at(j) == QLatin1Char('_') || s.at(j) == QLatin1Char('$')))
                ++j;
            out.push_back({Tok::Word, s.mid(i, j - i)});
            i = j;
        } else if (c.isDigit() || (c == QLatin1Char('.') && i + 1 < n && s.at(i + 1).isDigit())) {
            int j = i;
            while (j < n && (s.at(j).isLetterOrNumber() || s.at(j) == QLatin1Char('.') ||
                             ((s.at(j) == QLatin1Char('+') || s.at(j) == QLatin1Char('-')) &&
                              (s.at(j - 1) == QLatin1Char('e') || s.at(j - 1) == QLatin1Char('E')))))
                ++j;
            out.push_back({Tok::Number, s.mid(i, j - i)});
            i = j;
        } else if (c == QLatin1Char('\'')) {
            QString v;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                if (s.at(j) == QLatin1Char('\'')) {
                    if (j + 1 < n && s.at(j + 1) == QLatin1Char('\'')) {
                        v += QLatin1Char('\'');
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                v += s.at(j++);
            }
            if (!closed) {
                error = QStringLiteral("Unterminated string in SQL text: %1").arg(s.mid(i));
                return false;
            }
            out.push_back({Tok::SQuote, v});
            i = j;
        } else if (c == QLatin1Char('"')) {
            // A doubled double quote inside the literal stands for one: the program writes
            // every ID so, and then no ID can end its literal. A text that does not read so
            // falls back to the first quote that can end the literal.
            {
                QString v;
                int j = i + 1;
                bool closed = false;
                while (j < n) {
                    if (s.at(j) == QLatin1Char('"')) {
                        if (j + 1 < n && s.at(j + 1) == QLatin1Char('"')) {
                            v += QLatin1Char('"');
                            j += 2;
                            continue;
                        }
                        closed = true;
                        break;
                    }
                    v += s.at(j++);
                }
                if (closed && EndsDoubleQuoted(s, j)) {
                    const size_t mark = out.size();
                    out.push_back({Tok::DQuote, v});
                    if (TokenizeRest(s, j + 1, out, dead))
                        return true;
                    out.resize(mark);
                }
            }
            const size_t mark = out.size();
            for (int j = i + 1; j < n; ++j) {
                if (s.at(j) != QLatin1Char('"') || !EndsDoubleQuoted(s, j))
                    continue;
                out.push_back({Tok::DQuote, s.mid(i + 1, j - i - 1)});
                if (TokenizeRest(s, j + 1, out, dead))
                    return true;
                out.resize(mark);
            }
            error = QStringLiteral("Unterminated string in SQL text: %1").arg(s.mid(i));
            return false;
        } else {
            static const char* two[] = {"<=", ">=", "<>", "!=", "==", "||"};
            QString op(c);
            for (const char* t : two)
                if (i + 1 < n && c == QLatin1Char(t[0]) && s.at(i + 1) == QLatin1Char(t[1]))
                    op = QString::fromLatin1(t);
            out.push_back({Tok::Op, op});
            i += op.size();
        }
    }
    return true;
}

std::vector<Tok> Tokenize(const QString& s)
{
    std::vector<Tok> out;
    QString error;
    std::vector<char> dead(static_cast<size_t>(s.size()) + 1, 0);
    if (!TokenizeFrom(s, 0, out, error, dead))
        throw EDatabaseError(error);
    return out;
}

bool IsWord(const Tok& t, const char* w) { return t.kind == Tok::Word && t.text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0; }

bool IsCompare(const Tok& t)
{
    static const QSet<QString> ops = {QStringLiteral("="), QStringLiteral("=="), QStringLiteral("<>"), QStringLiteral("!="),
                                      QStringLiteral("<"), QStringLiteral(">"), QStringLiteral("<="), QStringLiteral(">=")};
    return t.kind == Tok::Op && ops.contains(t.text);
}

QString Quote(const QString& v)
{
    QString q = v;
    q.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

// The significant tokens (no blanks), as indices into the token list.
std::vector<int> Significant(const std::vector<Tok>& toks)
{
    std::vector<int> sig;
    for (size_t i = 0; i < toks.size(); ++i)
        if (toks[i].kind != Tok::Space)
            sig.push_back(static_cast<int>(i));
    return sig;
}

void CheckOneSelect(const std::vector<Tok>& toks, const QString& text)
{
    const std::vector<int> sig = Significant(toks);
    if (sig.empty())
        throw EDatabaseError(QStringLiteral("The SQL text is empty"));
    if (!IsWord(toks[sig[0]], "SELECT"))
        throw EDatabaseError(QStringLiteral("Only a SELECT statement can be run: %1").arg(text.trimmed()));
    bool ended = false;
    for (int i : sig) {
        if (toks[i].kind == Tok::Op && toks[i].text == QLatin1String(";"))
            ended = true;
        else if (ended)
            throw EDatabaseError(QStringLiteral("Only one SQL statement can be run at a time: %1").arg(text.trimmed()));
    }
}

// A quoted literal that is a date in the short date format and is compared with a date
// field (FIELD op "date", "date" op FIELD, FIELD BETWEEN "date" AND "date").
bool IsDateOperand(const std::vector<Tok>& toks, const std::vector<int>& sig, size_t k, const QSet<QString>& dateFields)
{
    auto fieldAt = [&](long p) {
        return p >= 0 && p < static_cast<long>(sig.size()) && toks[sig[p]].kind == Tok::Word &&
               dateFields.contains(toks[sig[p]].text.toUpper());
    };
    const long i = static_cast<long>(k);
    if (i >= 1 && IsCompare(toks[sig[i - 1]]) && fieldAt(i - 2))
        return true;
    if (i + 1 < static_cast<long>(sig.size()) && IsCompare(toks[sig[i + 1]]) && fieldAt(i + 2))
        return true;
    if (i >= 1 && IsWord(toks[sig[i - 1]], "BETWEEN") && fieldAt(i - 2))
        return true;
    if (i >= 3 && IsWord(toks[sig[i - 1]], "AND") && IsWord(toks[sig[i - 3]], "BETWEEN") && fieldAt(i - 4))
        return true;
    return false;
}

QString Rewrite(const std::vector<Tok>& toks, const QSet<QString>& dateFields, bool injectRowid)
{
    const std::vector<int> sig = Significant(toks);
    std::vector<QString> lit(toks.size());
    for (size_t k = 0; k < sig.size(); ++k) {
        const Tok& t = toks[sig[k]];
        if (t.kind != Tok::DQuote && t.kind != Tok::SQuote)
            continue;
        QString v = t.text;
        // Stored texts never end in blanks (a text field is padded with them), so an
        // operand of a comparison loses its trailing blanks too: "AB " finds AB.
        const bool compared = (k >= 1 && IsCompare(toks[sig[k - 1]])) ||
                              (k + 1 < sig.size() && IsCompare(toks[sig[k + 1]]));
        if (compared) {
            int end = v.size();
            while (end > 0 && v.at(end - 1) == QLatin1Char(' '))
                --end;
            v.truncate(end);
        }
        if (!dateFields.isEmpty() && IsDateOperand(toks, sig, k, dateFields)) {
            const QDate d = QDate::fromString(v.trimmed(), ShortDateFormat());
            if (d.isValid())
                v = d.toString(Qt::ISODate);
        }
        lit[sig[k]] = Quote(v);
    }
    QString out;
    bool injected = false;
    for (size_t i = 0; i < toks.size(); ++i) {
        const Tok& t = toks[i];
        // The record number goes last in the select list, so that the text's own
        // columns keep their positions (ORDER BY 2 still means its second column).
        if (injectRowid && !injected && IsWord(t, "FROM")) {
            out += QStringLiteral(", rowid AS kv__recno__ ");
            injected = true;
        }
        if (t.kind == Tok::DQuote || t.kind == Tok::SQuote)
            out += lit[i];
        else
            out += t.text;
    }
    return out;
}

// A text that can give a live result: one SELECT of one table without DISTINCT,
// grouping, aggregates, set operations, joins or subqueries.
bool PlainSingleTable(const std::vector<Tok>& toks)
{
    const std::vector<int> sig = Significant(toks);
    static const char* refused[] = {"DISTINCT", "GROUP", "HAVING", "UNION", "INTERSECT", "EXCEPT", "JOIN", "LIMIT"};
    static const char* aggregates[] = {"COUNT", "SUM", "AVG", "MIN", "MAX", "TOTAL", "GROUP_CONCAT"};
    int selects = 0;
    for (size_t k = 0; k < sig.size(); ++k) {
        const Tok& t = toks[sig[k]];
        if (IsWord(t, "SELECT"))
            ++selects;
        for (const char* w : refused)
            if (IsWord(t, w))
                return false;
        for (const char* w : aggregates)
            if (IsWord(t, w) && k + 1 < sig.size() && toks[sig[k + 1]].text == QLatin1String("("))
                return false;
    }
    if (selects != 1)
        return false;
    // FROM <table> [[AS] alias], then WHERE, ORDER or the end.
    size_t k = 0;
    while (k < sig.size() && !IsWord(toks[sig[k]], "FROM"))
        ++k;
    if (k + 1 >= sig.size() || toks[sig[k + 1]].kind != Tok::Word)
        return false;
    k += 2;
    int extra = 0;
    while (k < sig.size() && !IsWord(toks[sig[k]], "WHERE") && !IsWord(toks[sig[k]], "ORDER") &&
           toks[sig[k]].text != QLatin1String(";")) {
        if (toks[sig[k]].kind != Tok::Word)
            return false;
        if (++extra > 2)
            return false;
        ++k;
    }
    return true;
}

// ---- The virtual table over a dBASE file ----

struct Context {
    std::map<QString, std::shared_ptr<DbfFile>> tables;  // by upper-case table name
};

struct DbfVtab {
    sqlite3_vtab base;
    std::shared_ptr<DbfFile> file;
};

struct DbfCursor {
    sqlite3_vtab_cursor base;
    DbfVtab* tab = nullptr;
    DbfFile::Mapping map;
    int count = 0;
    int pos = 0;
};

int xConnect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err)
{
    if (argc < 4) {
        *err = sqlite3_mprintf("dbf: table file missing");
        return SQLITE_ERROR;
    }
    QString path = QString::fromUtf8(argv[3]);
    if (path.startsWith(QLatin1Char('\'')) && path.endsWith(QLatin1Char('\'')) && path.size() >= 2)
        path = path.mid(1, path.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
    auto* tab = new DbfVtab{};
    try {
        tab->file = std::make_shared<DbfFile>(path);
    } catch (const Exception& e) {
        *err = sqlite3_mprintf("%s", e.Message.toUtf8().constData());
        delete tab;
        return SQLITE_ERROR;
    }
    QString ddl = QStringLiteral("CREATE TABLE x(");
    const auto& fields = tab->file->fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const DbfFieldDef& f = fields[i];
        const char* type = "TEXT";
        if (f.type == 'N' && f.decimals == 0)
            type = "INTEGER";
        else if (f.type == 'N' || f.type == 'F')
            type = "REAL";
        else if (f.type == 'D')
            type = "DATE";
        else if (f.type == 'L')
            type = "BOOLEAN";
        if (i)
            ddl += QLatin1Char(',');
        ddl += QLatin1Char('"') + f.name + QStringLiteral("\" ") + QLatin1String(type);
    }
    ddl += QLatin1Char(')');
    const int rc = sqlite3_declare_vtab(db, ddl.toUtf8().constData());
    if (rc != SQLITE_OK) {
        delete tab;
        return rc;
    }
    static_cast<Context*>(aux)->tables[QString::fromUtf8(argv[2]).toUpper()] = tab->file;
    *out = &tab->base;
    return SQLITE_OK;
}

int xDisconnect(sqlite3_vtab* v)
{
    delete reinterpret_cast<DbfVtab*>(v);
    return SQLITE_OK;
}

int xBestIndex(sqlite3_vtab* v, sqlite3_index_info* info)
{
    auto* tab = reinterpret_cast<DbfVtab*>(v);
    info->estimatedCost = 10.0 + tab->file->recordCount();
    info->estimatedRows = tab->file->recordCount();
    return SQLITE_OK;
}

int xOpen(sqlite3_vtab* v, sqlite3_vtab_cursor** out)
{
    auto* c = new DbfCursor{};
    c->tab = reinterpret_cast<DbfVtab*>(v);
    *out = &c->base;
    return SQLITE_OK;
}

int xClose(sqlite3_vtab_cursor* cur)
{
    delete reinterpret_cast<DbfCursor*>(cur);
    return SQLITE_OK;
}

void SkipDeleted(DbfCursor* c)
{
    const int rl = c->tab->file->recordLength();
    while (c->pos < c->count && c->map.records()[static_cast<size_t>(c->pos) * rl] == '*')
        ++c->pos;
}

int xFilter(sqlite3_vtab_cursor* cur, int, const char*, int, sqlite3_value**)
{
    auto* c = reinterpret_cast<DbfCursor*>(cur);
    try {
        DbfFile* f = c->tab->file.get();
        f->lock(false);
        try {
            c->count = f->recordCount();
            c->map = f->mapRecords(c->count);
        } catch (...) {
            f->unlock();
            throw;
        }
        f->unlock();
    } catch (const Exception& e) {
        sqlite3_free(c->tab->base.zErrMsg);
        c->tab->base.zErrMsg = sqlite3_mprintf("%s", e.Message.toUtf8().constData());
        return SQLITE_ERROR;
    }
    c->pos = 0;
    SkipDeleted(c);
    return SQLITE_OK;
}

int xNext(sqlite3_vtab_cursor* cur)
{
    auto* c = reinterpret_cast<DbfCursor*>(cur);
    ++c->pos;
    SkipDeleted(c);
    return SQLITE_OK;
}

int xEof(sqlite3_vtab_cursor* cur)
{
    auto* c = reinterpret_cast<DbfCursor*>(cur);
    return c->pos >= c->count;
}

int xColumn(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int i)
{
    auto* c = reinterpret_cast<DbfCursor*>(cur);
    const DbfFile& file = *c->tab->file;
    const DbfFieldDef& f = file.fields()[i];
    const char* rec = c->map.records() + static_cast<size_t>(c->pos) * file.recordLength();
    const char* p = rec + f.offset;
    switch (f.type) {
    case 'N':
    case 'F':
    case 'L': {
        const QVariant v = file.value(rec, i);
        if (!v.isValid())
            sqlite3_result_null(ctx);
        else if (v.typeId() == QMetaType::LongLong)
            sqlite3_result_int64(ctx, v.toLongLong());
        else if (v.typeId() == QMetaType::Bool)
            sqlite3_result_int(ctx, v.toBool() ? 1 : 0);
        else
            sqlite3_result_double(ctx, v.toDouble());
        return SQLITE_OK;
    }
    case 'D': {
        const QVariant v = file.value(rec, i);
        if (!v.isValid()) {
            sqlite3_result_null(ctx);
        } else {
            const QByteArray iso = v.toDate().toString(Qt::ISODate).toLatin1();
            sqlite3_result_text(ctx, iso.constData(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
        }
        return SQLITE_OK;
    }
    default: {
        // Text, and every kind the engine does not know (M, G, B ...): the table object
        // reads those as text too, so "inf" or "12abc" never become a number here.
        int n = f.width;
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
            --n;
        bool ascii = true;
        for (int k = 0; k < n && ascii; ++k)
            ascii = static_cast<unsigned char>(p[k]) < 0x80;
        if (ascii) {
            sqlite3_result_text(ctx, p, n, SQLITE_TRANSIENT);
        } else {
            const QByteArray u = DbfFile::decode(p, n).toUtf8();
            sqlite3_result_text(ctx, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
        }
        return SQLITE_OK;
    }
    }
}

int xRowid(sqlite3_vtab_cursor* cur, sqlite3_int64* rowid)
{
    *rowid = reinterpret_cast<DbfCursor*>(cur)->pos;
    return SQLITE_OK;
}

// A module whose xCreate is its xConnect would also be a table of its own name that
// any text could name; the engine makes each table itself.
int xCreate(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err)
{
    return xConnect(db, aux, argc, argv, out, err);
}

sqlite3_module DbfModule()
{
    sqlite3_module m {};
    m.iVersion = 1;
    m.xCreate = xCreate;
    m.xConnect = xConnect;
    m.xBestIndex = xBestIndex;
    m.xDisconnect = xDisconnect;
    m.xDestroy = xDisconnect;
    m.xOpen = xOpen;
    m.xClose = xClose;
    m.xFilter = xFilter;
    m.xNext = xNext;
    m.xEof = xEof;
    m.xColumn = xColumn;
    m.xRowid = xRowid;
    return m;
}

// ---- The limits of one run ----

// SQLite's temporary storage is kept in memory (temp_store); should it still ask for a
// file, the engine's own file system refuses it, so a text can never fill a disk.
thread_local bool g_fileRefused = false;

int RefuseFileOpen(sqlite3_vfs*, const char*, sqlite3_file* file, int, int*)
{
    g_fileRefused = true;
    file->pMethods = nullptr;
    return SQLITE_CANTOPEN;
}

const char* NoFileVfs()
{
    static const char* name = [] {
        static sqlite3_vfs vfs = *sqlite3_vfs_find(nullptr);
        vfs.zName = "kv-nofile";
        vfs.xOpen = RefuseFileOpen;
        vfs.pNext = nullptr;
        sqlite3_vfs_register(&vfs, 0);
        // What SQLite itself may hold at once, for every connection; a run is stopped
        // before this by its own check (which counts its result's rows too).
        sqlite3_hard_heap_limit64(kSqlMemoryLimitBytes);
        return vfs.zName;
    }();
    return name;
}

SqlUsage g_peak;

struct RunLimits {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point deadline = start + std::chrono::milliseconds(kSqlTimeLimitMs);
    qint64 resultBytes = 0;
    bool timeOut = false;
    bool memoryOut = false;
    QString text;

    // False (and the limit that was met noted) when the run must stop.
    bool within()
    {
        if (std::chrono::steady_clock::now() >= deadline)
            timeOut = true;
        else if (sqlite3_memory_used() + resultBytes > kSqlMemoryLimitBytes)
            memoryOut = true;
        return !timeOut && !memoryOut;
    }
    void keep(qint64 bytes)
    {
        resultBytes += bytes;
        if (!within())
            stop(SQLITE_INTERRUPT, nullptr);
    }
    // Raises the error of a statement that failed: the limit it met, else SQLite's text.
    [[noreturn]] void stop(int rc, sqlite3* db) const
    {
        const QString where = text.simplified();
        if (timeOut)
            throw EDatabaseError(QStringLiteral("The query was stopped by the SQL time limit of %1 seconds: %2")
                                     .arg(kSqlTimeLimitMs / 1000.0)
                                     .arg(where));
        if (memoryOut || rc == SQLITE_NOMEM || (db && sqlite3_errcode(db) == SQLITE_NOMEM))
            throw EDatabaseError(QStringLiteral("The query was stopped by the SQL memory limit of %1 MB: %2")
                                     .arg(kSqlMemoryLimitBytes / (1024 * 1024))
                                     .arg(where));
        if (g_fileRefused)
            throw EDatabaseError(QStringLiteral("The query was stopped: it needs a temporary file, and SQL keeps its "
                                                "temporary storage in memory (SQL memory limit of %1 MB): %2")
                                     .arg(kSqlMemoryLimitBytes / (1024 * 1024))
                                     .arg(where));
        throw EDatabaseError(QStringLiteral("SQL error: %1 in: %2").arg(QString::fromUtf8(sqlite3_errmsg(db)), where));
    }
    void record() const
    {
        const qint64 ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        g_peak.elapsedMs = std::max(g_peak.elapsedMs, ms);
        g_peak.sqliteBytes = std::max<qint64>(g_peak.sqliteBytes, sqlite3_memory_highwater(0));
        g_peak.resultBytes = std::max(g_peak.resultBytes, resultBytes);
    }
};

int StopOverLimit(void* limits) { return static_cast<RunLimits*>(limits)->within() ? 0 : 1; }

// The bytes a row of the result holds, near enough.
qint64 RowBytes(const std::vector<QVariant>& row)
{
    qint64 n = static_cast<qint64>(sizeof row + row.capacity() * sizeof(QVariant));
    for (const QVariant& v : row)
        if (v.typeId() == QMetaType::QString)
            n += 32 + 2 * static_cast<qint64>(v.toString().size());
    return n;
}

struct Db {
    sqlite3* db = nullptr;
    ~Db()
    {
        if (db)
            sqlite3_close_v2(db);
    }
};

struct Stmt {
    sqlite3_stmt* st = nullptr;
    ~Stmt() { reset(); }
    void reset()
    {
        if (st)
            sqlite3_finalize(st);
        st = nullptr;
    }
};

QString FolderOf(const QString& folder) { return folder.isEmpty() ? QDir::currentPath() : folder; }

// The file of a table the text names: one of the folder's own. A name with a path in
// it, or whose file is elsewhere (a link out of the folder), has none.
QString TableFileInFolder(const QString& name, const QString& folder)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name.contains(QStringLiteral("..")))
        return QString();
    const QString file = ResolveTableFile(name, folder);
    if (file.isEmpty())
        return QString();
    const QString real = QFileInfo(file).canonicalFilePath();
    const QString home = QDir(FolderOf(folder)).canonicalPath();
    if (real.isEmpty() || home.isEmpty() || QFileInfo(real).absolutePath() != home)
        return QString();
    return file;
}

// Prepares the text, making a virtual table of every table name it uses on the way.
void Prepare(sqlite3* db, const QString& sql, const QString& folder, Stmt& stmt, RunLimits& limits)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        stmt.reset();
        const QByteArray utf8 = sql.toUtf8();
        const int prepared =
            sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &stmt.st, nullptr);
        if (prepared == SQLITE_OK)
            return;
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
        static const QString noTable = QStringLiteral("no such table: ");
        if (msg.startsWith(noTable)) {
            QString name = msg.mid(noTable.size());
            const bool hasPath = name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
                              name.contains(QStringLiteral(".."));
            if (name.contains(QLatin1Char('.')) && !hasPath)
                name = name.section(QLatin1Char('.'), -1);
            const QString file = TableFileInFolder(name, folder);
            if (file.isEmpty())
                throw EDatabaseError(QStringLiteral("Table %1 not found in %2").arg(name, FolderOf(folder)));
            // The name and the path come from the user's text and the folder: quoted, they
            // stay one identifier and one argument, and only this one statement runs.
            QString quotedName = name;
            quotedName.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            QString path = file;
            path.replace(QLatin1Char('\''), QStringLiteral("''"));
            const QByteArray ddl =
                QStringLiteral("CREATE VIRTUAL TABLE temp.\"%1\" USING dbf('%2')").arg(quotedName, path).toUtf8();
            Stmt create;
            const char* tail = nullptr;
            int rc = sqlite3_prepare_v2(db, ddl.constData(), static_cast<int>(ddl.size()), &create.st, &tail);
            if (rc == SQLITE_OK && tail && *tail)
                throw EDatabaseError(QStringLiteral("Table %1 cannot be used: its name cannot be quoted").arg(name));
            if (rc == SQLITE_OK)
                rc = sqlite3_step(create.st);
            if (rc != SQLITE_OK && rc != SQLITE_DONE) {
                if (limits.timeOut || limits.memoryOut || rc == SQLITE_NOMEM)
                    limits.stop(rc, db);
                throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
            }
            continue;
        }
        limits.stop(prepared, db);
    }
    throw EDatabaseError(QStringLiteral("SQL error: too many tables in: %1").arg(limits.text.simplified()));
}

} // namespace

SqlUsage PeakSqlUsage() { return g_peak; }
void ResetPeakSqlUsage() { g_peak = SqlUsage(); }

QString ResolveTableFile(const QString& name, const QString& folder)
{
    if (name.isEmpty())
        return QString();
    QString base = name;
    if (QFileInfo(base).suffix().isEmpty())
        base += QStringLiteral(".dbf");
    const QFileInfo direct(QDir(FolderOf(folder)), base);
    const QDir dir = direct.absoluteDir();
    const QString want = direct.fileName();
    // The file is named as it is on disk, whatever spelling the text used: on a folder
    // that ignores case the asked spelling opens the file too, and would then name it
    // in every message.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    if (entries.contains(want))
        return dir.absoluteFilePath(want);
    for (const QString& e : entries)
        if (e.compare(want, Qt::CaseInsensitive) == 0)
            return dir.absoluteFilePath(e);
    if (direct.isFile())
        return direct.absoluteFilePath();
    return QString();
}

QString RewriteSql(const QString& text, const QStringList& dateFields)
{
    const std::vector<Tok> toks = Tokenize(text);
    CheckOneSelect(toks, text);
    QSet<QString> dates;
    for (const QString& f : dateFields)
        dates.insert(f.toUpper());
    return Rewrite(toks, dates, false);
}

SqlResult RunSelect(const QStringList& sql, const QString& folder, bool wantLive)
{
    const QString text = sql.join(QLatin1Char('\n'));
    const std::vector<Tok> toks = Tokenize(text);
    CheckOneSelect(toks, text);

    static sqlite3_module module = DbfModule();
    const char* vfs = NoFileVfs();
    RunLimits limits;
    limits.text = text;
    g_fileRefused = false;
    sqlite3_memory_highwater(1);
    Context ctx;
    Db db;
    if (sqlite3_open_v2(":memory:", &db.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, vfs) !=
        SQLITE_OK)
        throw EDatabaseError(QStringLiteral("SQL engine cannot start"));
    sqlite3_create_module_v2(db.db, "dbf", &module, &ctx, nullptr);
    sqlite3_exec(db.db, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, nullptr);
    sqlite3_exec(db.db, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    sqlite3_progress_handler(db.db, 1000, StopOverLimit, &limits);

    Stmt stmt;
    Prepare(db.db, Rewrite(toks, {}, false), folder, stmt, limits);
    QSet<QString> dateFields;
    for (const auto& [name, file] : ctx.tables)
        for (const DbfFieldDef& f : file->fields())
            if (f.type == 'D')
                dateFields.insert(f.name.toUpper());
    if (!dateFields.isEmpty())
        Prepare(db.db, Rewrite(toks, dateFields, false), folder, stmt, limits);

    SqlResult res;
    DbfFile* liveFile = nullptr;
    if (wantLive && ctx.tables.size() == 1 && PlainSingleTable(toks)) {
        liveFile = ctx.tables.begin()->second.get();
        const int n = sqlite3_column_count(stmt.st);
        for (int i = 0; i < n && liveFile; ++i) {
            const char* origin = sqlite3_column_origin_name(stmt.st, i);
            if (!origin || liveFile->fieldIndex(QString::fromUtf8(origin)) < 0)
                liveFile = nullptr;
        }
        if (liveFile)
            Prepare(db.db, Rewrite(toks, dateFields, true), folder, stmt, limits);
    }
    res.live = liveFile != nullptr;
    if (liveFile) {
        res.tablePath = liveFile->path();
        res.file = ctx.tables.begin()->second;
    }

    // A live text's last column is the record number.
    const int n = sqlite3_column_count(stmt.st) - (res.live ? 1 : 0);
    for (int i = 0; i < n; ++i) {
        SqlColumn col;
        col.name = QString::fromUtf8(sqlite3_column_name(stmt.st, i));
        const char* origin = sqlite3_column_origin_name(stmt.st, i);
        const char* table = sqlite3_column_table_name(stmt.st, i);
        col.type = 0;
        if (origin && table) {
            const auto it = ctx.tables.find(QString::fromUtf8(table).toUpper());
            if (it != ctx.tables.end()) {
                const int fi = it->second->fieldIndex(QString::fromUtf8(origin));
                if (fi >= 0) {
                    const DbfFieldDef& f = it->second->fields()[fi];
                    col.type = f.type;
                    col.width = f.width;
                    col.decimals = f.decimals;
                    if (res.live)
                        col.field = fi;
                }
            }
        }
        res.columns.push_back(col);
    }

    if (res.live) {
        // Only the record numbers are kept; selecting nothing else lets SQLite read just
        // the fields the selection and the order need. A text that cannot be wrapped
        // (it ends in a clause that a subquery does not take) runs as it is.
        QString inner = Rewrite(toks, dateFields, true);
        while (!inner.isEmpty() && (inner.back().isSpace() || inner.back() == QLatin1Char(';')))
            inner.chop(1);
        Stmt keys;
        sqlite3_stmt* run = stmt.st;
        try {
            Prepare(db.db, QStringLiteral("SELECT kv__recno__ FROM (\n") + inner + QStringLiteral("\n)"), folder, keys,
                    limits);
            run = keys.st;
        } catch (const EDatabaseError&) {
            if (limits.timeOut || limits.memoryOut)
                throw;
        }
        for (;;) {
            const int rc = sqlite3_step(run);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                limits.stop(rc, db.db);
            res.recnos.push_back(static_cast<int>(sqlite3_column_int64(run, run == keys.st ? 0 : n)));
            if ((res.recnos.size() & 1023) == 0)
                limits.keep(1024 * static_cast<qint64>(sizeof(int)));
        }
        limits.record();
        return res;
    }

    for (;;) {
        const int rc = sqlite3_step(stmt.st);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            limits.stop(rc, db.db);
        std::vector<QVariant> row;
        row.reserve(res.columns.size());
        for (int i = 0; i < n; ++i) {
            SqlColumn& col = res.columns[i];
            QVariant v;
            switch (sqlite3_column_type(stmt.st, i)) {
            case SQLITE_INTEGER:
                v = static_cast<qlonglong>(sqlite3_column_int64(stmt.st, i));
                if (col.type == 'L')
                    v = v.toLongLong() != 0;
                else if (col.type == 0)
                    col.type = 'N';
                break;
            case SQLITE_FLOAT:
                v = sqlite3_column_double(stmt.st, i);
                if (col.type == 0 || (col.type == 'N' && col.decimals == 0 && col.field < 0)) {
                    col.type = 'N';
                    col.decimals = col.decimals ? col.decimals : 4;
                }
                break;
            case SQLITE_TEXT: {
                const QString s = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt.st, i)),
                                                    sqlite3_column_bytes(stmt.st, i));
                if (col.type == 'D')
                    v = QDate::fromString(s, Qt::ISODate);
                else
                    v = s.isEmpty() ? QVariant() : QVariant(s);
                if (col.type == 0)
                    col.type = 'C';
                break;
            }
            default:
                break;
            }
            row.push_back(v);
        }
        limits.keep(RowBytes(row));
        res.rows.push_back(std::move(row));
    }
    for (SqlColumn& col : res.columns)
        if (col.type == 0)
            col.type = 'C';
    limits.record();
    return res;
}
