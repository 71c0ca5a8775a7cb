// What every fuzz target shares: a widget application (offscreen) unless the reader makes
// no window, message boxes
// answered at once without a window, a scratch folder, and a check that stops the run
// when a reader broke one of its promises.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace kvfuzz {

// Sets up the application once; safe to call for every input.
void Init();
// For readers that make no window: no application, only the C number format, the
// scratch folder and message boxes answered as Init does; safe to call for every input.
void InitPlain();
// A file in the scratch folder holding these bytes; returns its path.
QString PutFile(const char* name, const uint8_t* data, size_t size);
// Stops the run with the message when cond is false (a found fault, not a skip).
void Check(bool cond, const char* what);

} // namespace kvfuzz
