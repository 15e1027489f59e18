#include "ui/help_page.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#ifdef Q_OS_WIN
#include <QProcess>
#include <windows.h>
#endif

namespace {

#ifndef Q_OS_WIN
// A browser the desktop would show the page in: the user's own ($BROWSER), the desktop's
// handler for web pages, or the system's default browser. Asking the desktop to open the page
// without one succeeds and shows nothing.
bool have_browser() {
    if (!qEnvironmentVariableIsEmpty("BROWSER")) return true;
    if (!QStandardPaths::findExecutable("x-www-browser").isEmpty()) return true;
    QProcess query;
    query.start("xdg-mime", {"query", "default", "text/html"});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}
#endif

} // namespace

QString find_help_page(const QString& working_dir, const QString& executable_dir) {
    const QString installed = QDir::cleanPath(QDir(executable_dir).filePath("../share/quavel"));
    for (const QString& dir : {working_dir, executable_dir, installed}) {
        const QString path = QDir(dir).filePath(kHelpPageName);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

bool open_help_page(const QString& path) {
#ifdef Q_OS_WIN
    QProcess explorer;
    explorer.setProgram("explorer.exe");
    explorer.setArguments({QDir::toNativeSeparators(path)});
    explorer.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_SHOWMAXIMIZED;
    });
    return explorer.startDetached();
#else
    if (!have_browser()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
#endif
}
