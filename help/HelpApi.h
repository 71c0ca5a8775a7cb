// Access to the HTML Help control: the control library is found and loaded at start,
// and its HtmlHelpA entry is held for every caller. The entry is empty before loading,
// when the control cannot be loaded, and after unloading; callers test it first.
#pragma once

#include "HtmlHelp.h"
#include "Modules.h"

#include <QString>

extern HMODULE HHCtrlHandle;
extern THtmlHelpA HtmlHelp;

// Loads the control once; a later call does nothing while it is loaded. Nothing is
// reported: a control that cannot be loaded leaves the entry empty.
void LoadHtmlHelp();
void UnloadHtmlHelp();
// The control's file: the registered file when it exists, else the system folder's.
QString GetHHCtrlPath();
// Expands a leading %SYSTEMROOT% (any letter case) to the Windows folder.
void ExpandSystemRoot(QString& Path);
QString GetSystemDir();
QString GetWindowsDir();

// The unit's start-up and shut-down: load the control, unload it.
void HelpApiInitialization();
void HelpApiFinalization();
