#include "MemoText.h"

#include <QPlainTextEdit>
#include <QSignalBlocker>

QStringList MemoLines(const QPlainTextEdit* memo)
{
    const QString text = memo->toPlainText();
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line break starts no line of its own.
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void SetMemoLines(QPlainTextEdit* memo, const QStringList& lines)
{
    const QSignalBlocker block(memo);
    memo->setPlainText(lines.join(QLatin1Char('\n')));
}
