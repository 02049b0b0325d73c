#pragma once
// The generator's stream in pieces: its state any number of steps ahead,
// the uniform values of any stretch of draws, and uniform and Gaussian
// values drawn on several threads with the bits the same draws give one
// after another.

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

#include "model/random_numbers.h"

namespace ebsim {

// The state `steps` steps after `state`, in O(log steps). A step is the
// affine map x -> a x + 1 modulo 2^32; its power 2^k is squared into 2^(k+1)
// (f∘f: x -> a² x + (a c + c)), and the powers the bits of `steps` pick are
// composed. Powers of one map commute, so the order does not matter.
constexpr std::uint32_t JumpAhead(std::uint32_t state, std::uint64_t steps) {
  std::uint32_t mul = 1u, add = 0u;                         // the map so far
  std::uint32_t a = RandomNumbers::kMultiplier, c = 1u;     // f^(2^k)
  for (; steps != 0; steps >>= 1) {
    if (steps & 1u) mul *= a, add = add * a + c;
    c = c * a + c;
    a *= a;
  }
  return mul * state + add;
}

// Whether the pair of states (x1, x2) passes the polar method's test
// s = u1² + u2² < 1, with u = 2 UniformOfState(x) - 1, in integers.
//
// Why this equals the extended-precision test: UniformOfState(x) = x 2^-32
// is exact, so is 2 x 2^-32 = x 2^-31, and x 2^-31 - 1 = (x - 2^31) 2^-31 is
// a multiple of 2^-31 no larger than 1 in magnitude, which a 64-bit
// significand holds: u1 = a 2^-31 with a = x1 - 2^31, |a| <= 2^31, exactly.
// Then u1² = a² 2^-62 with a² <= 2^62 (at most 62 significant bits) is
// exact, and u1² + u2² = (a² + b²) 2^-62 with the integer a² + b² <= 2^63
// fits 64 bits: s is computed without rounding, and s < 1 exactly when
// a² + b² < 2^62, which 64-bit unsigned arithmetic evaluates exactly.
constexpr bool PolarAccepts(std::uint32_t x1, std::uint32_t x2) {
  const std::int64_t a = static_cast<std::int64_t>(x1) - (std::int64_t{1} << 31);
  const std::int64_t b = static_cast<std::int64_t>(x2) - (std::int64_t{1} << 31);
  return static_cast<std::uint64_t>(a * a) + static_cast<std::uint64_t>(b * b) < (std::uint64_t{1} << 62);
}

// out[k] = the value of draw first + k of the stream that starts at
// `state` (draw 0 is the first UniformRandom() after it), exactly as
// UniformRandom() gives it. Touches nothing else: any thread may fill any
// stretch at the same time as others.
void FillUniforms(std::uint32_t state, std::uint64_t first, std::span<double> out);

// How long draws are spread over threads.
struct DrawThreads {
  // Threads of the default runner (task 0 on the calling thread).
  int threads = 1;
  // Runs task(k) for k = 0 .. N - 1, each on its own thread, and returns
  // when all have returned (a worker pool's Run). The tasks do not throw and
  // share out the work among themselves, so any N >= 1 gives the same bits.
  // Empty: plain std::threads, `threads` of them. With a pool:
  //   how.run = [&pool](const std::function<void(int)>& task) { pool.Run(task); };
  std::function<void(const std::function<void(int)>& task)> run;
  // Polled before every chunk; once it reads true the draws end Stopped.
  const std::atomic<bool>* stop = nullptr;
  // Pairs of uniform draws per chunk: the unit of work and of the stop poll.
  std::uint64_t chunkPairs = std::uint64_t{1} << 15;
};

enum class DrawStatus { Complete, Stopped };

// work(c) for every chunk c < chunks, each claimed by the next free task of
// how's threads, and returns when all are done; false when the stop flag
// was seen first. work must not throw.
bool ForChunks(const DrawThreads& how, std::uint64_t chunks, const std::function<void(std::uint64_t)>& work);

// out[k] = the value of random.UniformRandom() called out.size() times in
// turn, and random left where those calls leave it. Stopped: random is
// unchanged and out holds nothing to use.
DrawStatus DrawUniforms(RandomNumbers& random, std::span<double> out, const DrawThreads& how);

// out[k] = StoreDouble(random.GaussianRandom(mean, sd)) called out.size()
// times in turn, and random left where those calls leave it: after the last
// pair of uniform values the draws consumed. Rounds of chunks of pairs are
// tested on all threads, the accepted pairs counted per chunk and assigned
// to the outputs in order, until out is full.
//
// Where the calls in turn would raise (EOverflow, say) at draw k, this
// raises the same error for the first such k, having written out[0, k) as
// they would and left random as they leave it at the throw; out[k..] hold
// nothing to use. *failedDraw, when given, is set to k before the throw.
// Stopped: random is unchanged and out holds nothing to use.
DrawStatus DrawGaussians(RandomNumbers& random, long double mean, long double sd, std::span<double> out,
                         const DrawThreads& how, std::uint64_t* failedDraw = nullptr);

}  // namespace ebsim
