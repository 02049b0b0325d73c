#include "engine/worker_pool.h"

#include <exception>
#include <mutex>

namespace ebsim {

namespace {

// Spins a little while value still equals old, then sleeps until it moves.
template <class T>
void AwaitChange(const std::atomic<T>& value, T old, int spins) {
  for (int k = 0; k < spins; ++k) {
    if (value.load(std::memory_order_acquire) != old) return;
    __builtin_ia32_pause();
  }
  while (value.load(std::memory_order_acquire) == old) value.wait(old, std::memory_order_acquire);
}

}  // namespace

// A team larger than the machine spins not at all: the thread awaited may
// be the one kept off a core by the spinning.
WorkerPool::WorkerPool(int size)
    : size_(size < 1 ? 1 : size),
      spins_(static_cast<unsigned>(size_) <= std::thread::hardware_concurrency() ? 2000 : 0) {
  workers_.reserve(static_cast<std::size_t>(size_ - 1));
  for (int k = 1; k < size_; ++k) workers_.emplace_back([this, k] { Work(k); });
}

WorkerPool::~WorkerPool() {
  job_ = nullptr;  // no job: the workers leave
  generation_.fetch_add(1, std::memory_order_release);
  generation_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void WorkerPool::Work(int member) {
  std::uint64_t seen = 0;
  for (;;) {
    AwaitChange(generation_, seen, spins_);
    seen = generation_.load(std::memory_order_acquire);
    if (!job_) return;
    (*job_)(member);
    if (running_.fetch_sub(1, std::memory_order_acq_rel) == 1) running_.notify_one();
  }
}

void WorkerPool::Run(const std::function<void(int)>& job) {
  if (size_ == 1) {
    job(0);
    return;
  }
  job_ = &job;
  running_.store(size_ - 1, std::memory_order_relaxed);
  generation_.fetch_add(1, std::memory_order_release);
  generation_.notify_all();
  job(0);
  for (int left = running_.load(std::memory_order_acquire); left != 0; left = running_.load(std::memory_order_acquire))
    AwaitChange(running_, left, spins_);
}

void WorkerPool::Barrier() {
  const std::uint64_t round = barrierRound_.load(std::memory_order_acquire);
  if (arrived_.fetch_add(1, std::memory_order_acq_rel) == size_ - 1) {
    arrived_.store(0, std::memory_order_relaxed);
    barrierRound_.fetch_add(1, std::memory_order_release);
    barrierRound_.notify_all();
    return;
  }
  AwaitChange(barrierRound_, round, spins_);
}

void TakeInTurn(WorkerPool& team, std::size_t count, const std::function<void()>& working,
                const std::function<void(std::size_t, const std::function<void()>&)>& job) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stopped{false};
  std::exception_ptr failure;
  std::mutex failureMutex;
  const std::function<void()> none;
  team.Run([&](int member) {
    try {
      for (std::size_t k = next++; k < count && !stopped; k = next++) job(k, member == 0 ? working : none);
    } catch (...) {
      const std::lock_guard lock(failureMutex);
      if (!failure) failure = std::current_exception();
      stopped = true;
    }
  });
  if (failure) std::rethrow_exception(failure);
  if (working) working();  // once at least, whatever the members took
}

}  // namespace ebsim
