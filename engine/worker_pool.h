#pragma once
// A fixed team of threads that runs one job at a time on all of them: the
// caller's thread and Size() - 1 workers that live as long as the pool.
// Between jobs the workers spin briefly, then sleep.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace ebsim {

class WorkerPool {
 public:
  explicit WorkerPool(int size);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int Size() const { return size_; }

  // Runs job(k) for k = 0 .. Size() - 1, job(0) on the calling thread, and
  // returns when all have returned. The job must not throw.
  void Run(const std::function<void(int)>& job);

  // Within a job: waits until every member of the team has arrived here.
  void Barrier();

 private:
  void Work(int member);

  const int size_;
  const int spins_;
  const std::function<void(int)>* job_ = nullptr;
  std::atomic<std::uint64_t> generation_{0};
  std::atomic<int> running_{0};
  std::atomic<int> arrived_{0};
  std::atomic<std::uint64_t> barrierRound_{0};
  std::vector<std::thread> workers_;
};

// Jobs 0 .. count - 1 taken in turn by the team's members. `working`, which
// may throw to stop them, is handed to the jobs of the calling thread only
// and called once more at the end; the first exception thrown on any member
// ends the others' taking and is rethrown here.
void TakeInTurn(WorkerPool& team, std::size_t count, const std::function<void()>& working,
                const std::function<void(std::size_t, const std::function<void()>&)>& job);

}  // namespace ebsim
