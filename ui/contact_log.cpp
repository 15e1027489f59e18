#include "ui/contact_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "station/regular_file.h"

#ifndef QUAVEL_VERSION
#define QUAVEL_VERSION "0"
#endif

namespace {

// Larger than any log of a lifetime of contacts (about 300 bytes each), yet bounded: a link to
// something endless cannot hold the window.
constexpr std::size_t kMaxLogBytes = std::size_t{512} << 20;

std::string local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

QString ContactLog::default_path() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("quavel.adi"));
}

std::vector<std::string> ContactLog::open(const QString& path) {
    path_ = QFileInfo(path).absoluteFilePath();
    index_.clear();
    std::vector<std::string> notices;
    const std::string name = path_.toStdString();
    const quavel::RegularFileRead read =
        quavel::read_regular_file(local(path_), kMaxLogBytes, quavel::Oversize::Refuse);
    if (read.status == quavel::RegularFileRead::Status::Refused) {
        notices.push_back("Cannot read the contact log " + name + ": " + read.error);
        return notices;
    }
    if (read.status == quavel::RegularFileRead::Status::Read) {
        const quavel::AdifRead adif = quavel::read_adif(read.bytes);
        for (const quavel::AdifRecord& record : adif.records)
            index_.add(record);
        for (const std::string& notice : adif.notices)
            notices.push_back("In the contact log " + name + ": " + notice + ".");
    }
    return notices;
}

std::string ContactLog::append(const quavel::QsoRecord& record, std::time_t now_utc) {
    // The default log's folder is made on first use.
    if (path_ == QFileInfo(default_path()).absoluteFilePath())
        QDir().mkpath(QFileInfo(path_).absolutePath());
    std::string error = quavel::append_adif_record(local(path_), record, QUAVEL_VERSION, now_utc);
    if (error.empty()) index_.add(record);
    return error;
}

std::string ContactLog::worked(const std::string& call) const {
    const quavel::WorkedIndex::Worked* w = index_.find(call);
    return w ? quavel::worked_text(*w) : std::string();
}
