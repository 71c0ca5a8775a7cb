// The SQL texts of the results browser and the results report, and the edits made to
// a text the user typed. All pure text work: nothing here opens a query.
//
// An ID (a recloser's, a customer's) always enters a text as one string literal
// through SqlQuoted: between double quotes, a double quote inside it doubled, which the
// engine reads back as one, so no ID can end the literal and become SQL.
// Key words (TODAY, WHERE, ORDER) are found as whole words outside string literals
// (double- or single-quoted, a literal may run over a line break), in any letter case.
#pragma once

#include <QString>
#include <QStringList>

// The value as a string literal: "R1", and "A""B" for the ID A"B.
QString SqlQuoted(const QString& value);

// Position of the first whole word `word` (any letter case) of `line` outside string
// literals, or -1. `quote` is the literal open at the start of the line (a null QChar
// when none) and is left as the literal open at its end.
int FindSqlWord(const QString& line, const QString& word, QChar& quote);
// The index of the first line holding the whole word outside literals, or -1.
int FindSqlWordLine(const QStringList& lines, const QString& word);

// The report condition that keeps rows marked with a leading "*" out.
extern const QString NotMarkedCondition;  // NOT TESTRESULT LIKE "*%"

// The results grid's text for a recloser: the select line and, also for an empty ID,
// the line comparing RECLID with it.
QStringList DefaultResultsSQL(const QString& reclID);
// The select text first shown in the browser's memo: the select line, and the RECLID
// line only for a non-empty ID.
QStringList InitialResultsSQL(const QString& reclID);
// The report grid's text for a recloser: the rows of the recloser (all rows for an
// empty ID) that are not marked.
QStringList DefaultReportSQL(const QString& reclID);
// The report window's text for the chosen IDs, in list order; with no ID every
// unmarked row.
QStringList ResultsQueryText(const QStringList& ids);

// The user's select text made ready to run: in each line holding the word TODAY, its
// first TODAY becomes the date text as a literal; empty lines are dropped.
QStringList SubstituteToday(const QStringList& lines, const QString& dateText);
// The report text derived from a select text: the first line holding ORDER is taken
// out, the unmarked-rows condition added (with AND after a WHERE, else as the WHERE),
// and the ORDER line put back last.
QStringList DeriveReportSQL(const QStringList& selectSQL);
