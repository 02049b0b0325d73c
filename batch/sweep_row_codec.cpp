#include "batch/sweep_row_codec.h"

#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace ebsim {

namespace {

class Writer {
 public:
  template <typename T>
  void Put(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    Raw(&value, sizeof value);
  }
  void Raw(const void* data, std::size_t size) {
    if (size) bytes_.append(static_cast<const char*>(data), size);
  }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  template <typename T>
  T Get() {
    T value{};
    Raw(&value, sizeof value);
    return value;
  }
  void Raw(void* data, std::size_t size) {
    if (size > bytes_.size() - at_) throw std::runtime_error("a sweep row cut short");
    if (size) std::memcpy(data, bytes_.data() + at_, size);  // an empty vector's data may be null
    at_ += size;
  }
  // A count of items of `size` bytes each that the rest can hold.
  std::uint64_t Count(std::size_t size) {
    const auto count = Get<std::uint64_t>();
    if (count > (bytes_.size() - at_) / size) throw std::runtime_error("a sweep row cut short");
    return count;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

void PutNumbers(Writer& out, const ReadoutNumbers& readouts, std::int64_t descending, std::int64_t ascending) {
  for (const auto& readout : readouts) {
    out.Put(static_cast<std::uint8_t>(readout.has_value()));
    if (readout) out.Put(*readout);
  }
  out.Put(descending);
  out.Put(ascending);
}

void GetNumbers(Reader& in, ReadoutNumbers& readouts, std::int64_t& descending, std::int64_t& ascending) {
  for (auto& readout : readouts)
    if (in.Get<std::uint8_t>()) readout = in.Get<double>();
  descending = in.Get<std::int64_t>();
  ascending = in.Get<std::int64_t>();
}

}  // namespace

std::string EncodeSweepRow(const SweepRow& row) {
  Writer out;
  out.Put(row.index);
  out.Put(static_cast<std::uint64_t>(row.point));
  out.Put(row.realization);
  out.Put(row.seedMs);
  PutNumbers(out, row.readouts, row.descendingSteps, row.ascendingSteps);
  out.Put(static_cast<std::uint64_t>(row.cycles.size()));
  for (const CycleNumbers& cycle : row.cycles)
    PutNumbers(out, cycle.readouts, cycle.descendingSteps, cycle.ascendingSteps);
  out.Put(static_cast<std::uint64_t>(row.error.size()));
  out.Raw(row.error.data(), row.error.size());
  out.Put(static_cast<std::uint64_t>(row.loop.size()));
  for (const LoopPoint& point : row.loop) {
    out.Put(static_cast<std::uint8_t>(point.branch == Branch::Ascending));
    out.Put(point.H);
    out.Put(point.M);
    out.Put(point.flips);
    out.Put(static_cast<std::int32_t>(point.cycle));
  }
  out.Put(static_cast<std::uint64_t>(row.spins.size()));
  out.Raw(row.spins.data(), row.spins.size());
  out.Put(static_cast<std::uint64_t>(row.stepSpins.size()));
  for (const auto& [step, spins] : row.stepSpins) {
    out.Put(step);
    out.Put(static_cast<std::uint64_t>(spins.size()));
    out.Raw(spins.data(), spins.size());
  }
  out.Put(static_cast<std::int32_t>(row.side));
  out.Put(static_cast<std::uint8_t>(!row.avalanches.Empty()));
  if (!row.avalanches.Empty()) out.Put(row.avalanches.BinCounts());
  return out.Take();
}

SweepRow DecodeSweepRow(std::string_view bytes) {
  Reader in(bytes);
  SweepRow row;
  row.index = in.Get<std::uint64_t>();
  row.point = static_cast<std::size_t>(in.Get<std::uint64_t>());
  row.realization = in.Get<std::uint64_t>();
  row.seedMs = in.Get<std::uint32_t>();
  GetNumbers(in, row.readouts, row.descendingSteps, row.ascendingSteps);
  // At least a presence byte per read-out and the two step counts a cycle.
  row.cycles.resize(in.Count(kWrittenReadoutCount + 2 * sizeof(std::int64_t)));
  for (CycleNumbers& cycle : row.cycles) GetNumbers(in, cycle.readouts, cycle.descendingSteps, cycle.ascendingSteps);
  row.error.resize(in.Count(1));
  in.Raw(row.error.data(), row.error.size());
  row.loop.resize(in.Count(1 + 3 * sizeof(double) + sizeof(std::int32_t)));
  for (LoopPoint& point : row.loop) {
    point.branch = in.Get<std::uint8_t>() ? Branch::Ascending : Branch::Descending;
    point.H = in.Get<double>();
    point.M = in.Get<double>();
    point.flips = in.Get<std::int64_t>();
    point.cycle = in.Get<std::int32_t>();
  }
  row.spins.resize(in.Count(1));
  in.Raw(row.spins.data(), row.spins.size());
  row.stepSpins.resize(in.Count(2 * sizeof(std::uint64_t)));
  for (auto& [step, spins] : row.stepSpins) {
    step = in.Get<std::int64_t>();
    spins.resize(in.Count(1));
    in.Raw(spins.data(), spins.size());
  }
  row.side = in.Get<std::int32_t>();
  if (in.Get<std::uint8_t>()) row.avalanches = AvalancheSizes::OfBinCounts(in.Get<AvalancheSizes::Counts>());
  if (!in.AtEnd()) throw std::runtime_error("a sweep row with bytes left over");
  return row;
}

}  // namespace ebsim
