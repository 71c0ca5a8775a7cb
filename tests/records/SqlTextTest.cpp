// The SQL texts of the browser and the report, and the edits of a typed text.
#include "KyrSqlText.h"

#include <gtest/gtest.h>

TEST(SqlText, ReportQueryForTwoIdsIsFiveLines)
{
    EXPECT_EQ(ResultsQueryText({"R1", "R2"}),
              (QStringList{"SELECT *  FROM KYRRES", "WHERE (RECLID = \"R1\"", "OR RECLID = \"R2\"",
                           ") AND NOT TESTRESULT LIKE \"*%\"", "ORDER BY RECLID,TESTDATE,TESTTIME"}));
    EXPECT_EQ(ResultsQueryText({"R1"}),
              (QStringList{"SELECT *  FROM KYRRES", "WHERE (RECLID = \"R1\"", ") AND NOT TESTRESULT LIKE \"*%\"",
                           "ORDER BY RECLID,TESTDATE,TESTTIME"}));
    // With no ID the marked rows stay out too.
    EXPECT_EQ(ResultsQueryText({}), (QStringList{"SELECT *  FROM KYRRES", "WHERE NOT TESTRESULT LIKE \"*%\"",
                                                 "ORDER BY RECLID,TESTDATE,TESTTIME"}));
}

TEST(SqlText, BrowserDefaultTexts)
{
    EXPECT_EQ(DefaultResultsSQL("R7"), (QStringList{"SELECT *  FROM KYRRES", "WHERE RECLID = \"R7\""}));
    EXPECT_EQ(DefaultResultsSQL(""), (QStringList{"SELECT *  FROM KYRRES", "WHERE RECLID = \"\""}));
    EXPECT_EQ(InitialResultsSQL("R7"), DefaultResultsSQL("R7"));
    EXPECT_EQ(InitialResultsSQL(""), (QStringList{"SELECT *  FROM KYRRES"}));
    EXPECT_EQ(DefaultReportSQL("R7"), (QStringList{"SELECT *  FROM KYRRES WHERE", " RECLID = \"R7\" AND",
                                                   "NOT TESTRESULT LIKE \"*%\" "}));
    EXPECT_EQ(DefaultReportSQL(""), (QStringList{"SELECT *  FROM KYRRES WHERE", "NOT TESTRESULT LIKE \"*%\" "}));
}

TEST(SqlText, AnIdNeverBecomesSyntax)
{
    EXPECT_EQ(SqlQuoted("A\"B"), "\"A\"\"B\"");
    EXPECT_EQ(SqlQuoted("\" OR \"\"=\""), "\"\"\" OR \"\"\"\"=\"\"\"");
    // Every text holds the ID as one literal: no key word of the ID is seen, and the
    // literal closes where the line ends.
    const QString id = QStringLiteral("X\" ORDER BY \"WHERE");
    for (const QStringList& sql : {ResultsQueryText({id, "R2"}), DefaultResultsSQL(id), DefaultReportSQL(id)}) {
        QChar quote;
        for (const QString& line : sql) {
            FindSqlWord(line, "ORDER", quote);
            EXPECT_TRUE(quote.isNull()) << line.toStdString();
        }
    }
    EXPECT_EQ(FindSqlWordLine(DefaultResultsSQL(id), "ORDER"), -1);
    EXPECT_EQ(FindSqlWordLine(ResultsQueryText({id}), "ORDER"), 3);
}

TEST(SqlText, KeyWordsAreWholeWordsOutsideLiterals)
{
    struct Case {
        const char* line;
        const char* word;
        int at;
    } cases[] = {
        {"ORDER BY TESTTIME", "ORDER", 0},
        {"order by testtime", "ORDER", 0},
        {"WHERE ORDERNO > 3", "ORDER", -1},
        {"SELECT REORDER FROM T", "ORDER", -1},
        {"WHERE RECLID = \"TODAYS\"", "TODAY", -1},
        {"WHERE RECLID = \"TODAY\"", "TODAY", -1},
        {"WHERE COMMENTS = 'it''s today' AND TESTDATE = Today", "TODAY", 46},
        {"WHERE X = \"a\"\"TODAY\"", "TODAY", -1},
        {"WHERE TESTDATE=TODAY", "TODAY", 15},
        {"WHERE TODAY_X = 1", "TODAY", -1},
        {"WHERE X1TODAY = 1", "TODAY", -1},
        {"SELECT * FROM KYRRES WHERE(RECLID=\"A\")", "WHERE", 21},
        {"NOWHERE", "WHERE", -1},
    };
    for (const auto& c : cases) {
        QChar quote;
        EXPECT_EQ(FindSqlWord(QString::fromLatin1(c.line), QString::fromLatin1(c.word), quote), c.at) << c.line;
        EXPECT_TRUE(quote.isNull()) << c.line;
    }
    // A literal that runs over a line break hides the next line's start.
    EXPECT_EQ(FindSqlWordLine({"WHERE COMMENTS = \"first", "ORDER done\"", "ORDER BY RECLID"}, "ORDER"), 2);
}

TEST(SqlText, TodayBecomesTheQuotedDateAndEmptyLinesGo)
{
    const QStringList typed{"SELECT *  FROM KYRRES", "", "WHERE TESTDATE = today AND TODAY_N = 1",
                            "AND RECLID = \"TODAY\"", "ORDER BY TESTTIME", ""};
    EXPECT_EQ(SubstituteToday(typed, "12/10/2026"),
              (QStringList{"SELECT *  FROM KYRRES", "WHERE TESTDATE = \"12/10/2026\" AND TODAY_N = 1",
                           "AND RECLID = \"TODAY\"", "ORDER BY TESTTIME"}));
    EXPECT_TRUE(SubstituteToday({}, "12/10/2026").isEmpty());
    EXPECT_TRUE(SubstituteToday({""}, "12/10/2026").isEmpty());
}

TEST(SqlText, ThreeLineTodayTextGivesAFourLineReportText)
{
    const QStringList run = SubstituteToday(
        {"SELECT *  FROM KYRRES", "WHERE TESTDATE = TODAY", "ORDER BY TESTTIME"}, "12/10/2026");
    EXPECT_EQ(run, (QStringList{"SELECT *  FROM KYRRES", "WHERE TESTDATE = \"12/10/2026\"", "ORDER BY TESTTIME"}));
    EXPECT_EQ(DeriveReportSQL(run), (QStringList{"SELECT *  FROM KYRRES", "WHERE TESTDATE = \"12/10/2026\"",
                                                 "AND NOT TESTRESULT LIKE \"*%\" ", "ORDER BY TESTTIME"}));
}

TEST(SqlText, ReportTextWithoutWhereOrOrder)
{
    EXPECT_EQ(DeriveReportSQL({"SELECT *  FROM KYRRES"}),
              (QStringList{"SELECT *  FROM KYRRES", "WHERE NOT TESTRESULT LIKE \"*%\" "}));
    // Names that merely hold the key words are no clauses.
    EXPECT_EQ(DeriveReportSQL({"SELECT ORDERNO, NOWHERE FROM KYRRES"}),
              (QStringList{"SELECT ORDERNO, NOWHERE FROM KYRRES", "WHERE NOT TESTRESULT LIKE \"*%\" "}));
    EXPECT_EQ(DeriveReportSQL({"SELECT *  FROM KYRRES", "WHERE RECLID = \"ORDER\""}),
              (QStringList{"SELECT *  FROM KYRRES", "WHERE RECLID = \"ORDER\"", "AND NOT TESTRESULT LIKE \"*%\" "}));
    EXPECT_EQ(DeriveReportSQL({"SELECT *  FROM KYRRES", "order by RECLID", "where X = 1"}),
              (QStringList{"SELECT *  FROM KYRRES", "where X = 1", "AND NOT TESTRESULT LIKE \"*%\" ",
                           "order by RECLID"}));
}
