// A table of results: column headers, rows of cells, and how each column writes its numbers.
// The same table renders as a CSV file (for the plots) or as a markdown table (for the
// performance document), so a measurement's output is built from its data once, not by joining
// strings at every table.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace quavel::perf {

// `value` with `decimals` (0..17) after the point, as printf's "%.*f" writes it.
std::string fixed(double value, int decimals);
// The same with a '+' before a positive value ("%+.*f"), as SNRs and offsets are printed.
std::string signed_fixed(double value, int decimals);

// One cell: nothing, text as it stands, a whole number, or a number with a fraction. Numbers are
// written by their column's format; text as it is, but for the quoting or escaping a format needs.
class Cell {
public:
    using Value = std::variant<std::monostate, std::string, long long, double>;

    Cell() = default;
    Cell(std::string text) : value_(std::move(text)) {}
    Cell(const char* text) : value_(std::string(text)) {}
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>) Cell(T number)
        : value_(static_cast<long long>(number)) {}
    Cell(double number) : value_(number) {}
    // None: an empty cell.
    Cell(std::optional<double> number) : value_(number ? Value(*number) : Value()) {}

    const Value& value() const { return value_; }

private:
    Value value_;
};

enum class Align { Left, Right }; // in markdown; CSV has no alignment

struct Column {
    std::string header;
    int decimals = 0;    // for numbers with a fraction
    bool sign = false;   // '+' before a positive number
    std::string unit;    // after every number, e.g. " dB", "%", " s"
    std::string missing; // for an empty cell
    Align align = Align::Right;
};

// A right-aligned column whose numbers have `decimals` and `unit`, no sign, nothing when missing.
Column column(std::string header, int decimals = 0, std::string unit = {});

class Table {
public:
    explicit Table(std::vector<Column> columns);

    // Cells in column order. A shorter row is filled with empty cells; a longer one is refused
    // (std::invalid_argument): it is a mistake in the code that builds the table.
    void add(std::vector<Cell> row);

    bool empty() const { return rows_.empty(); }
    std::size_t size() const { return rows_.size(); }

    // The header line and one line per row, every line ending in '\n'. A cell holding a comma,
    // a double quote or a line break is put in double quotes, its quotes doubled.
    std::string csv() const;

    // "| a | b |" lines, the second marking each column's alignment ("---" left, "--:" right).
    // A '|' in a cell is escaped and a line break becomes a space, so a cell stays one cell.
    std::string markdown() const;

private:
    std::string text(const Cell& cell, const Column& column) const;

    std::vector<Column> columns_;
    std::vector<std::vector<Cell>> rows_;
};

} // namespace quavel::perf
