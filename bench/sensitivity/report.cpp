#include "report.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quavel::perf {

bool write_file(const std::string& path, const std::string& content, std::string& error) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << content;
        out.flush();
        if (!out) {
            error = "cannot write " + temp;
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        error = "cannot rename " + temp + " to " + path + ": " + ec.message();
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

bool splice_block(const std::string& path, const std::string& name, const std::string& content,
                  std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string doc = buffer.str();
    const std::string begin = "<!-- generated:" + name + " -->";
    const std::string end = "<!-- /generated:" + name + " -->";
    const auto b = doc.find(begin);
    const auto e = b == std::string::npos ? b : doc.find(end, b);
    if (b == std::string::npos || e == std::string::npos) {
        error = path + " has no block '" + name + "'";
        return false;
    }
    std::string body = content;
    if (!body.empty() && body.back() != '\n') body += '\n';
    const std::string updated = doc.substr(0, b + begin.size()) + "\n" + body + doc.substr(e);
    return write_file(path, updated, error);
}

} // namespace quavel::perf
