#include "batch/table_columns.h"

#include <ostream>

#include "base/round_trip_text.h"
#include "batch/sweep_output.h"

namespace ebsim {

std::vector<std::string> ColumnNames(const std::vector<TableColumn>& columns) {
  std::vector<std::string> names;
  for (const TableColumn& column : columns) names.push_back(column.name);
  return names;
}

void WriteCsvHeader(std::ostream& out, const std::vector<TableColumn>& columns) {
  for (std::size_t k = 0; k < columns.size(); ++k) out << (k ? "," : "") << columns[k].name;
  out << '\n';
}

namespace {

struct CsvCell {
  std::ostream& out;
  void operator()(std::string_view text) const { out << CsvField(text); }
  void operator()(std::uint64_t n) const { out << n; }
  void operator()(std::int64_t n) const { out << n; }
  void operator()(const std::optional<double>& x) const {
    if (x) out << ShortestText(*x);
  }
};

}  // namespace

void WriteCsvLine(std::ostream& out, const Cells& cells) {
  for (std::size_t k = 0; k < cells.size(); ++k) {
    if (k) out << ',';
    std::visit(CsvCell{out}, cells[k]);
  }
  out << '\n';
}

CsvTable::CsvTable(std::ostream& out, const std::vector<TableColumn>& columns) : out_(out) {
  WriteCsvHeader(out, columns);
}

}  // namespace ebsim
