#pragma once
// The tables a sweep writes, as columns and cells: a column has the name
// its CSV header gives it, a kind and a role, and every line of a table is
// a row of cells in the order of its columns. The CSV files and the HDF5
// file are written from the same cells, so a column added to a table
// reaches both.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ebsim {

// The kinds in the order of TableCell's alternatives.
enum class CellKind { Text, Count, Integer, Real };

// Where a line stands in the sweep: the grid's texts, the grid point, the
// realisation, the protocol's cycle and the loop's step place it; every
// other column is a value measured there.
enum class ColumnRole { Axis, Point, Realization, Cycle, Step, Value };

struct TableColumn {
  std::string name;
  CellKind kind = CellKind::Real;
  ColumnRole role = ColumnRole::Value;
  // The longest text a Text column holds, 0 when it has no bound.
  std::size_t width = 0;
};

// A Real without a value is left blank (a read-out the Run never wrote, a
// spread of a single value). Texts point into the row or grid they come
// from, which outlive the line.
using TableCell = std::variant<std::string_view, std::uint64_t, std::int64_t, std::optional<double>>;
using Cells = std::vector<TableCell>;

inline CellKind KindOf(const TableCell& cell) { return static_cast<CellKind>(cell.index()); }

std::vector<std::string> ColumnNames(const std::vector<TableColumn>& columns);

// Where the lines of a table go.
class TableSink {
 public:
  virtual ~TableSink() = default;
  virtual void Line(const Cells& cells) = 0;
};

// "a,b,c\n": the header of a CSV table.
void WriteCsvHeader(std::ostream& out, const std::vector<TableColumn>& columns);
// One CSV line: texts quoted where they must be, whole numbers in decimal,
// reals as the shortest text of their double, blanks empty.
void WriteCsvLine(std::ostream& out, const Cells& cells);

// A CSV table: its header when made, then a line per Line.
class CsvTable final : public TableSink {
 public:
  CsvTable(std::ostream& out, const std::vector<TableColumn>& columns);
  void Line(const Cells& cells) override { WriteCsvLine(out_, cells); }

 private:
  std::ostream& out_;
};

}  // namespace ebsim
