// The console's contact log: which ADIF file it is (the one given with --log, else the one
// chosen from the menu, else "quavel.adi" in the program's data folder), who was worked before
// (read once when the log is chosen, then kept up to date on every append) and the append itself
// (station/adif_log.h: one durable record at a time).
#pragma once

#include <QString>
#include <ctime>
#include <string>
#include <vector>

#include "station/adif_log.h"

class ContactLog {
public:
    // The log in the program's data folder (QStandardPaths::AppDataLocation).
    static QString default_path();

    // Takes the log at `path` (it need not exist yet) and reads who was worked before. Returns
    // what the operator should hear of: records skipped, or why the file cannot be read or
    // written. The log is used all the same: the next append says whether it can take one.
    std::vector<std::string> open(const QString& path);
    const QString& path() const { return path_; }

    // Appends `record` and adds it to who was worked. Empty on success, else why not; nothing
    // was written then.
    std::string append(const quavel::QsoRecord& record, std::time_t now_utc);

    // "worked 2026-11-30 14.070 MHz" for the call, or empty when it was never worked.
    std::string worked(const std::string& call) const;
    const quavel::WorkedIndex& index() const { return index_; }

private:
    QString path_;
    quavel::WorkedIndex index_;
};
