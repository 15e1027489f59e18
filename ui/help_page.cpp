#include "ui/help_page.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#ifdef Q_OS_WIN
#include <QProcess>
#include <windows.h>
#endif

QString find_help_page(const QString& working_dir, const QString& executable_dir) {
    for (const QString& dir : {working_dir, executable_dir}) {
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
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
#endif
}
