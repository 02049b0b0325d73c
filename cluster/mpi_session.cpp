#include "cluster/mpi_session.h"

#include <mpi.h>

#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace ebsim {

bool LaunchedByMpi() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(name)) return true;
  return false;
}

int LaunchedRanks() {
  if (!LaunchedByMpi()) return 0;
  // Open MPI, then the PMI of MPICH and others, then a Slurm step.
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "SLURM_STEP_NUM_TASKS"})
    if (const char* text = std::getenv(name)) {
      const long ranks = std::strtol(text, nullptr, 10);
      if (ranks > 0 && ranks <= std::numeric_limits<int>::max()) return static_cast<int>(ranks);
    }
  return 1;
}

MpiSession::MpiSession() {
  int provided = 0;
  MPI_Init_thread(nullptr, nullptr, MPI_THREAD_FUNNELED, &provided);
  if (provided < MPI_THREAD_FUNNELED) {
    MPI_Finalize();
    throw std::runtime_error("the MPI library runs no threads beside its calls");
  }
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks_);
}

MpiSession::~MpiSession() { MPI_Finalize(); }

}  // namespace ebsim
