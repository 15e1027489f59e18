// The help page "quavel25.htm": looked for in the working directory first, then beside the
// executable, and opened in the desktop's browser.
#pragma once

#include <QString>

inline constexpr const char* kHelpPageName = "quavel25.htm";

// The page's path, or an empty text when neither folder holds it.
QString find_help_page(const QString& working_dir, const QString& executable_dir);

// Opens the page; on Windows as "explorer.exe quavel25.htm", maximised. False when the launch
// failed.
bool open_help_page(const QString& path);
