#include "KyrSqlText.h"

const QString NotMarkedCondition = QStringLiteral("NOT TESTRESULT LIKE \"*%\"");

namespace {
const QString SelectLine = QStringLiteral("SELECT *  FROM KYRRES");

bool IsWordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }
} // namespace

QString SqlQuoted(const QString& value)
{
    QString s = value;
    s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

int FindSqlWord(const QString& line, const QString& word, QChar& quote)
{
    int found = -1;
    const int n = static_cast<int>(line.size());
    const int w = static_cast<int>(word.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = line[i];
        if (!quote.isNull()) {
            if (c == quote) {
                if (i + 1 < n && line[i + 1] == quote)
                    ++i;  // a doubled quote stays inside the literal
                else
                    quote = QChar();
            }
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            continue;
        }
        if (found < 0 && IsWordChar(c) && (i == 0 || !IsWordChar(line[i - 1])) && i + w <= n &&
            QStringView(line).mid(i, w).compare(word, Qt::CaseInsensitive) == 0 &&
            (i + w == n || !IsWordChar(line[i + w])))
            found = i;
        // Skip the rest of this word: a match only starts at a word's beginning.
        if (IsWordChar(c))
            while (i + 1 < n && IsWordChar(line[i + 1]))
                ++i;
    }
    return found;
}

int FindSqlWordLine(const QStringList& lines, const QString& word)
{
    QChar quote;
    for (int i = 0; i < lines.size(); ++i)
        if (FindSqlWord(lines[i], word, quote) >= 0)
            return i;
    return -1;
}

QStringList DefaultResultsSQL(const QString& reclID)
{
    return {SelectLine, QStringLiteral("WHERE RECLID = ") + SqlQuoted(reclID)};
}

QStringList InitialResultsSQL(const QString& reclID)
{
    QStringList sql{SelectLine};
    if (!reclID.isEmpty())
        sql << QStringLiteral("WHERE RECLID = ") + SqlQuoted(reclID);
    return sql;
}

QStringList DefaultReportSQL(const QString& reclID)
{
    QStringList sql{SelectLine + QStringLiteral(" WHERE")};
    if (!reclID.isEmpty())
        sql << QStringLiteral(" RECLID = ") + SqlQuoted(reclID) + QStringLiteral(" AND");
    sql << NotMarkedCondition + QLatin1Char(' ');
    return sql;
}

QStringList ResultsQueryText(const QStringList& ids)
{
    QStringList sql{SelectLine};
    if (!ids.isEmpty()) {
        sql << QStringLiteral("WHERE (RECLID = ") + SqlQuoted(ids.first());
        for (int i = 1; i < ids.size(); ++i)
            sql << QStringLiteral("OR RECLID = ") + SqlQuoted(ids[i]);
        sql << QStringLiteral(") AND ") + NotMarkedCondition;
    } else {
        // Rows marked to stay out of the report stay out with no ID chosen as well.
        sql << QStringLiteral("WHERE ") + NotMarkedCondition;
    }
    sql << QStringLiteral("ORDER BY RECLID,TESTDATE,TESTTIME");
    return sql;
}

QStringList SubstituteToday(const QStringList& lines, const QString& dateText)
{
    QStringList out;
    QChar quote;
    for (const QString& line : lines) {
        const int at = FindSqlWord(line, QStringLiteral("TODAY"), quote);
        if (line.isEmpty())
            continue;
        QString l = line;
        if (at >= 0)
            l.replace(at, 5, SqlQuoted(dateText));
        out << l;
    }
    return out;
}

QStringList DeriveReportSQL(const QStringList& selectSQL)
{
    QStringList sql = selectSQL;
    const int orderLine = FindSqlWordLine(sql, QStringLiteral("ORDER"));
    QString order;
    if (orderLine >= 0)
        order = sql.takeAt(orderLine);
    if (FindSqlWordLine(sql, QStringLiteral("WHERE")) >= 0)
        sql << QStringLiteral("AND ") + NotMarkedCondition + QLatin1Char(' ');
    else
        sql << QStringLiteral("WHERE ") + NotMarkedCondition + QLatin1Char(' ');
    if (orderLine >= 0)
        sql << order;
    return sql;
}
