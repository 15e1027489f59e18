// The help page "quavel25.htm": looked for in the working directory first, then beside the
// executable, then where an install puts it (PREFIX/share/quavel beside PREFIX/bin), and
// opened in the desktop's browser; without one, the window shows it in its own viewer.
#pragma once

#include <QString>

inline constexpr const char* kHelpPageName = "quavel25.htm";

// The page's path, or an empty text when neither folder holds it.
QString find_help_page(const QString& working_dir, const QString& executable_dir);

// Opens the page; on Windows as "explorer.exe quavel25.htm", maximised. False when the launch
// failed or the desktop has no browser to show it in.
bool open_help_page(const QString& path);
