#include "model/random_streams.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/float_checks.h"
#include "model/polar_rounding.h"

namespace ebsim {

namespace {

constexpr std::uint32_t kMultiplier = RandomNumbers::kMultiplier;

// Chunks per round of Gaussian draws: enough that the threads share the
// round evenly, few enough that a round's counts stay small.
constexpr std::uint64_t kRoundChunks = 1024;

// At least one pair, and few enough that a round's pairs stay countable.
std::uint64_t ChunkPairs(const DrawThreads& how) {
  return std::clamp<std::uint64_t>(how.chunkPairs, 1, std::uint64_t{1} << 40);
}

// Runs task on the caller's runner, or on the calling thread and
// how.threads - 1 std::threads. A thread that cannot be started is left
// out: the others take its share.
void RunTasks(const DrawThreads& how, const std::function<void(int)>& task) {
  if (how.run) return how.run(task);
  std::vector<std::thread> threads;
  try {
    for (int k = 1; k < how.threads; ++k) threads.emplace_back(task, k);
  } catch (const std::system_error&) {
  }
  task(0);
  for (std::thread& thread : threads) thread.join();
}

// A chunk's first failing draw, its pair and its error.
struct ChunkFailure {
  std::uint64_t draw = 0, pair = 0;
  std::exception_ptr error;
};

// The draws of one DrawGaussians call, in rounds of chunks of pairs.
class GaussianDraws {
 public:
  GaussianDraws(std::uint32_t start, long double mean, long double sd, std::span<double> out,
                const DrawThreads& how)
      : start_(start), mean_(mean), sd_(sd), rounding_(mean, sd), out_(out), how_(how), chunkPairs_(ChunkPairs(how)) {}

  DrawStatus Run(RandomNumbers& random, std::uint64_t* failedDraw);

 private:
  void PlanRound();
  std::uint64_t ChunkFirst(std::uint64_t chunk) const { return roundFirst_ + chunk * chunkPairs_; }
  std::uint64_t ChunkEnd(std::uint64_t chunk) const {
    return std::min(ChunkFirst(chunk) + chunkPairs_, roundFirst_ + roundPairs_);
  }
  std::uint64_t CountAccepted(std::uint64_t chunk) const;
  void Place(std::uint64_t chunk);
  void Fail(std::uint64_t chunk, std::uint64_t draw, std::uint64_t pair);
  [[noreturn]] void Raise(const ChunkFailure& failure, RandomNumbers& random, std::uint64_t* failedDraw) const;

  const std::uint32_t start_;
  const long double mean_, sd_;
  const PolarRounding rounding_;
  const std::span<double> out_;
  const DrawThreads& how_;
  const std::uint64_t chunkPairs_;
  std::uint64_t done_ = 0;          // outputs drawn before the round
  std::uint64_t roundFirst_ = 0;    // the round's first pair, counted from start_
  std::uint64_t roundPairs_ = 0;
  std::vector<std::uint64_t> firstOutput_;  // per chunk: its count, then its first output
  std::vector<ChunkFailure> failures_;      // per chunk: its first failing draw
  std::uint64_t lastPair_ = 0;              // the pair of the last output
  // The earliest failing draw known so far: later chunks need not run.
  std::atomic<std::uint64_t> skipFrom_{std::numeric_limits<std::uint64_t>::max()};
};

// Enough pairs for the outputs still missing: π/4 of the pairs pass, plus
// about five standard deviations, so that a second round is rare.
void GaussianDraws::PlanRound() {
  const double missing = static_cast<double>(out_.size() - done_);
  const double wanted = std::ceil(missing * 1.2732395447351628 + 3 * std::sqrt(missing) + 32);
  const double most = static_cast<double>(kRoundChunks * chunkPairs_);
  roundPairs_ = static_cast<std::uint64_t>(std::min(wanted, most));
  firstOutput_.assign((roundPairs_ + chunkPairs_ - 1) / chunkPairs_, 0);
  failures_.assign(firstOutput_.size(), ChunkFailure{});
}

std::uint64_t GaussianDraws::CountAccepted(std::uint64_t chunk) const {
  std::uint32_t x = JumpAhead(start_, 2 * ChunkFirst(chunk));
  std::uint64_t accepted = 0;
  for (std::uint64_t pair = ChunkFirst(chunk), end = ChunkEnd(chunk); pair < end; ++pair) {
    const std::uint32_t x1 = x * kMultiplier + 1u;
    x = x1 * kMultiplier + 1u;
    accepted += PolarAccepts(x1, x);
  }
  return accepted;
}

// The outputs of the chunk's accepted pairs, in order, up to the first
// failing one, a batch of accepted pairs at a time. Chunks after a known
// failure are skipped.
void GaussianDraws::Place(std::uint64_t chunk) {
  std::uint64_t k = firstOutput_[chunk];
  if (k >= out_.size() || k >= skipFrom_.load(std::memory_order_relaxed)) return;
  std::uint32_t x = JumpAhead(start_, 2 * ChunkFirst(chunk));
  constexpr int kBatch = PolarRounding::kBatch;
  std::int64_t a[kBatch];
  std::uint64_t N[kBatch], pairs[kBatch];
  double values[kBatch];
  bool told[kBatch];
  int count = 0;
  // The batch's outputs; false at the end of the draws or at a failure.
  const auto flush = [&] {
    rounding_.Values(a, N, count, values, told);
    for (int l = 0; l < count; ++l) {
      if (told[l]) {
        out_[k] = values[l];
      } else {
        const long double u1 = a[l] * 0x1p-31L;
        try {
          out_[k] = StoreDouble(PolarGaussian(u1, N[l] * 0x1p-62L, mean_, sd_));
        } catch (...) {
          Fail(chunk, k, pairs[l]);
          return false;
        }
      }
      if (++k == out_.size()) {
        lastPair_ = pairs[l];
        return false;
      }
    }
    count = 0;
    return true;
  };
  for (std::uint64_t pair = ChunkFirst(chunk), end = ChunkEnd(chunk); pair < end; ++pair) {
    const std::uint32_t x1 = x * kMultiplier + 1u;
    x = x1 * kMultiplier + 1u;
    if (!PolarAccepts(x1, x)) continue;
    a[count] = static_cast<std::int64_t>(x1) - (std::int64_t{1} << 31);
    const std::int64_t b = static_cast<std::int64_t>(x) - (std::int64_t{1} << 31);
    N[count] = static_cast<std::uint64_t>(a[count] * a[count]) + static_cast<std::uint64_t>(b * b);
    pairs[count] = pair;
    if (++count == kBatch && !flush()) return;
  }
  if (count > 0) flush();
}

// Called in the handler of the draw's error.
void GaussianDraws::Fail(std::uint64_t chunk, std::uint64_t draw, std::uint64_t pair) {
  failures_[chunk] = ChunkFailure{draw, pair, std::current_exception()};
  std::uint64_t known = skipFrom_.load(std::memory_order_relaxed);
  while (draw < known && !skipFrom_.compare_exchange_weak(known, draw, std::memory_order_relaxed)) {
  }
}

// The generator as the draws in turn leave it at the throw, then the throw.
void GaussianDraws::Raise(const ChunkFailure& failure, RandomNumbers& random, std::uint64_t* failedDraw) const {
  random.RandomSeed = JumpAhead(start_, 2 * (failure.pair + 1));
  if (failedDraw) *failedDraw = failure.draw;
  std::rethrow_exception(failure.error);
}

DrawStatus GaussianDraws::Run(RandomNumbers& random, std::uint64_t* failedDraw) {
  while (done_ < out_.size()) {
    PlanRound();
    const std::uint64_t chunks = firstOutput_.size();
    if (!ForChunks(how_, chunks, [&](std::uint64_t c) { firstOutput_[c] = CountAccepted(c); }))
      return DrawStatus::Stopped;
    std::uint64_t placed = done_;
    for (std::uint64_t& first : firstOutput_) placed += std::exchange(first, placed);
    if (!ForChunks(how_, chunks, [&](std::uint64_t c) { Place(c); })) return DrawStatus::Stopped;
    // Chunks hold their outputs in order: the first failing chunk holds the first failing draw.
    for (const ChunkFailure& failure : failures_)
      if (failure.error) Raise(failure, random, failedDraw);
    done_ = std::min<std::uint64_t>(placed, out_.size());
    roundFirst_ += roundPairs_;
  }
  if (!out_.empty()) random.RandomSeed = JumpAhead(start_, 2 * (lastPair_ + 1));
  return DrawStatus::Complete;
}

}  // namespace

bool ForChunks(const DrawThreads& how, std::uint64_t chunks, const std::function<void(std::uint64_t)>& work) {
  if (chunks == 0) return true;
  std::atomic<std::uint64_t> next{0};
  std::atomic<bool> stopped{false};
  RunTasks(how, [&](int) {
    for (;;) {
      if (how.stop && how.stop->load(std::memory_order_relaxed)) {
        stopped.store(true, std::memory_order_relaxed);
        return;
      }
      const std::uint64_t chunk = next.fetch_add(1, std::memory_order_relaxed);
      if (chunk >= chunks) return;
      work(chunk);
    }
  });
  return !stopped.load();
}

void FillUniforms(std::uint32_t state, std::uint64_t first, std::span<double> out) {
  std::uint32_t x = JumpAhead(state, first);
  for (double& value : out) {
    x = x * kMultiplier + 1u;
    value = static_cast<double>(UniformOfState(x));
  }
}

DrawStatus DrawUniforms(RandomNumbers& random, std::span<double> out, const DrawThreads& how) {
  const std::uint32_t start = random.RandomSeed;
  const std::uint64_t size = 2 * ChunkPairs(how);
  const bool complete = ForChunks(how, (out.size() + size - 1) / size, [&](std::uint64_t chunk) {
    const std::uint64_t first = chunk * size;
    FillUniforms(start, first, out.subspan(first, std::min<std::uint64_t>(size, out.size() - first)));
  });
  if (!complete) return DrawStatus::Stopped;
  random.RandomSeed = JumpAhead(start, out.size());
  return DrawStatus::Complete;
}

DrawStatus DrawGaussians(RandomNumbers& random, long double mean, long double sd, std::span<double> out,
                         const DrawThreads& how, std::uint64_t* failedDraw) {
  GaussianDraws draws(random.RandomSeed, mean, sd, out, how);
  return draws.Run(random, failedDraw);
}

}  // namespace ebsim
