#include "InputBox.h"

#include <QApplication>
#include <QInputDialog>

namespace {
InputResponder& Responder()
{
    static InputResponder r;
    return r;
}
} // namespace

void SetInputResponder(InputResponder responder) { Responder() = std::move(responder); }

QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText)
{
    if (Responder()) {
        std::optional<QString> answer = Responder()(caption, prompt, defaultText);
        return answer ? *answer : defaultText;
    }
    bool ok = false;
    const QString text =
        QInputDialog::getText(QApplication::activeWindow(), caption, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? text : defaultText;
}
