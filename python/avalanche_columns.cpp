#include "python/avalanche_columns.h"

#include <string>
#include <vector>

#include "batch/avalanche_table.h"
#include "python/sweep_tables.h"
#include "run/loop_csv.h"

namespace ebsim {

py::object AvalancheColumns::Table() {
  std::vector<std::int64_t> point, least, most, count;
  py::list branch;
  for (const auto& [p, sizes] : points_)
    for (const SizeBin& bin : sizes.Bins()) {
      point.push_back(static_cast<std::int64_t>(p));
      branch.append(py::str(BranchName(bin.branch)));
      least.push_back(bin.least);
      most.push_back(bin.most);
      count.push_back(bin.count);
    }
  points_.clear();
  Columns columns;
  AddGridColumns(columns, grid_, point);
  std::vector<std::string> names;
  for (const TableColumn& column : AvalancheTableColumns(grid_)) names.push_back(column.name);
  columns["point"] = Column(std::move(point));
  columns["branch"] = py::module_::import("numpy").attr("array")(branch, py::arg("dtype") = "object");
  columns["size_min"] = Column(std::move(least));
  columns["size_max"] = Column(std::move(most));
  columns["count"] = Column(std::move(count));
  return MakeTable(columns, names);
}

}  // namespace ebsim
