// The framework's input box: a caption, a prompt and one line of text. OK returns the
// typed text, Cancel (or closing the box) the default. Tests install a responder so
// that no box ever waits for a person.
#pragma once

#include <QString>
#include <functional>
#include <optional>

QString InputBox(const QString& caption, const QString& prompt, const QString& defaultText);

// Answers an input box: the text for OK, nothing for Cancel.
using InputResponder = std::function<std::optional<QString>(const QString& caption, const QString& prompt,
                                                            const QString& defaultText)>;
void SetInputResponder(InputResponder responder);
