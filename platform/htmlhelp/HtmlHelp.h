// The call of the HTML Help control as the program uses it: the control is a library
// ("hhctrl.ocx") loaded at run time, and HtmlHelpA is its one entry.
#pragma once

#include <cstdint>

using HH_HWND = void*;

// HtmlHelpA(caller window, file or path as 8-bit text (may be null), command, data):
// returns the help window's handle, 0 for none.
using THtmlHelpA = HH_HWND (*)(HH_HWND caller, const char* file, std::uint32_t command, std::uint32_t data);

constexpr std::uint32_t HH_DISPLAY_TOPIC = 0;
constexpr std::uint32_t HH_HELP_CONTEXT = 15;
constexpr std::uint32_t HH_CLOSE_ALL = 18;
