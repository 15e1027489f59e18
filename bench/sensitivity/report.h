// Writing the measurement's output: the CSV files for the plots, and the marked blocks of the
// performance document that its tables replace (report_tables.h makes both).
#pragma once

#include <string>
#include <utility>

namespace quavel::perf {

// A file or a block of the document: its name and its text.
using NamedText = std::pair<std::string, std::string>;

// Writes `content` to `path` through a temporary file renamed into place.
bool write_file(const std::string& path, const std::string& content, std::string& error);

// Replaces what lies between the lines "<!-- generated:NAME -->" and "<!-- /generated:NAME -->"
// of the document at `path` with `content`. False (the file untouched) when either marker is
// missing or the file cannot be read or written.
bool splice_block(const std::string& path, const std::string& name, const std::string& content,
                  std::string& error);

} // namespace quavel::perf
