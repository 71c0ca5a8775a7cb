// The windows of the recloser records, which live in a library above this one: the
// program block fills these in, the start-up, the main window's commands and the end
// of the program call them (an empty entry does nothing).
#pragma once

#include <functional>

struct TRecordsWindow {
    std::function<void()> Create;
    std::function<void()> Show;
    std::function<void()> Free;
};

// The results report window, created right after the welcome window.
extern TRecordsWindow ReportWindow;
// The database browser: only Show is called here (View Database); the program block
// creates and frees it with the other windows of the records (LateWindows).
extern TRecordsWindow DatabaseWindow;
