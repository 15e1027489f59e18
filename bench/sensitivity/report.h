// The measurement's output: CSV files for the plots and markdown tables that replace the marked
// blocks of the performance document.
#pragma once

#include <string>
#include <vector>

namespace quavel::perf {

// Writes `content` to `path` through a temporary file renamed into place.
bool write_file(const std::string& path, const std::string& content, std::string& error);

// Replaces what lies between the lines "<!-- generated:NAME -->" and "<!-- /generated:NAME -->"
// of the document at `path` with `content`. False (the file untouched) when either marker is
// missing or the file cannot be read or written.
bool splice_block(const std::string& path, const std::string& name, const std::string& content,
                  std::string& error);

// A markdown table.
std::string markdown_table(const std::vector<std::string>& header,
                           const std::vector<std::vector<std::string>>& rows);

} // namespace quavel::perf
