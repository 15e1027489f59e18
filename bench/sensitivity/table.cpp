#include "table.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace quavel::perf {

namespace {

std::string printed(const char* format, int decimals, double value) {
    const int length = std::snprintf(nullptr, 0, format, decimals, value);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, decimals, value);
    text.pop_back();
    return text;
}

// RFC 4180: quoted only when it has to be.
std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string markdown_cell(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '|')
            out += "\\|";
        else if (c == '\n' || c == '\r')
            out += ' ';
        else
            out += c;
    }
    return out;
}

} // namespace

std::string fixed(double value, int decimals) {
    return printed("%.*f", decimals, value);
}

std::string signed_fixed(double value, int decimals) {
    return printed("%+.*f", decimals, value);
}

Column column(std::string header, int decimals, std::string unit) {
    Column c;
    c.header = std::move(header);
    c.decimals = decimals;
    c.unit = std::move(unit);
    return c;
}

Table::Table(std::vector<Column> columns) : columns_(std::move(columns)) {}

void Table::add(std::vector<Cell> row) {
    if (row.size() > columns_.size())
        throw std::invalid_argument("a row of " + std::to_string(row.size()) +
                                    " cells in a table of " + std::to_string(columns_.size()) +
                                    " columns");
    row.resize(columns_.size());
    rows_.push_back(std::move(row));
}

std::string Table::text(const Cell& cell, const Column& column) const {
    const auto& v = cell.value();
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* n = std::get_if<long long>(&v))
        return (column.sign && *n > 0 ? "+" : "") + std::to_string(*n) + column.unit;
    if (const auto* x = std::get_if<double>(&v))
        return (column.sign ? signed_fixed(*x, column.decimals) : fixed(*x, column.decimals)) +
               column.unit;
    return column.missing;
}

std::string Table::csv() const {
    std::string out;
    for (std::size_t c = 0; c < columns_.size(); ++c)
        out += (c ? "," : "") + csv_field(columns_[c].header);
    out += "\n";
    for (const auto& row : rows_) {
        for (std::size_t c = 0; c < columns_.size(); ++c)
            out += (c ? "," : "") + csv_field(text(row[c], columns_[c]));
        out += "\n";
    }
    return out;
}

std::string Table::markdown() const {
    std::string out = "|";
    for (const Column& column : columns_)
        out += " " + markdown_cell(column.header) + " |";
    out += "\n|";
    for (const Column& column : columns_)
        out += column.align == Align::Left ? "---|" : "--:|";
    out += "\n";
    for (const auto& row : rows_) {
        out += "|";
        for (std::size_t c = 0; c < columns_.size(); ++c)
            out += " " + markdown_cell(text(row[c], columns_[c])) + " |";
        out += "\n";
    }
    return out;
}

} // namespace quavel::perf
