// A memo's text as lines, the way the framework's memo gave them: the browser's and the
// report window's SQL memos.
#pragma once

#include <QStringList>

class QPlainTextEdit;

// The memo's lines; a final line break starts no line of its own.
QStringList MemoLines(const QPlainTextEdit* memo);
// Replaces the memo's text by lines, without reporting a change.
void SetMemoLines(QPlainTextEdit* memo, const QStringList& lines);
