#pragma once
// The MPI job this process belongs to, if an MPI launcher (mpirun, srun)
// started it. Only a sweep opens a session; without a launcher nothing
// touches MPI.

namespace ebsim {

// Whether a launcher started this process, from the variables it sets;
// MPI itself is not asked.
bool LaunchedByMpi();
// The ranks of the job a launcher started this process in, from the same
// variables: 0 without a launcher, 1 when it does not say how many.
int LaunchedRanks();

// Joins the job for the session's lifetime (only the thread that made it
// talks to the other ranks).
class MpiSession {
 public:
  MpiSession();
  ~MpiSession();
  MpiSession(const MpiSession&) = delete;
  MpiSession& operator=(const MpiSession&) = delete;

  int Rank() const { return rank_; }
  int Ranks() const { return ranks_; }

 private:
  int rank_ = 0, ranks_ = 1;
};

}  // namespace ebsim
