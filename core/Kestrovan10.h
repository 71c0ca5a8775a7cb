// The program block: names the application, shows the welcome picture, creates every
// window once in a fixed order and runs the message loop.
#pragma once

#include <QPalette>

#include <QString>
#include <QStringList>

// The file-name part of the program file's path (the first command-line item).
QString ProgramFileName(const QString& argv0);
// The program file's full path from the first command-line item: a name without a
// folder is looked up on the search path, as the shell found it.
QString ProgramFilePath(const QString& argv0);
// The welcome picture is shown unless the program runs as the curve program's helper
// ("KYRRUN.EXE", or "KYRRUN" on this system, any letter case) or a first parameter
// other than "!" is given.
bool WelcomeWanted(const QString& progName, const QStringList& params);
// Shows the welcome window and waits, without a time-out, until it is hidden.
void WelcomeWait();
// Creates the program's windows once each, in the order the main window's creation
// relies on, the records' windows (KyrRecords()) right after the main window; frees
// them again last-created first.
void CreateProgramWindows();
void FreeProgramWindows();

// After the welcome window: makes the windows and runs the message loop, unless the
// program was ended at the welcome window; frees the windows. Returns the exit code.
// The light palette the windows' own colours were chosen for (button face, white edits,
// black text), whatever the desktop's theme; and putting it in place with the style that
// follows it.
QPalette ProgramPalette();
void UseProgramPalette();

int RunProgram();
int Kestrovan10Main(int argc, char** argv);
