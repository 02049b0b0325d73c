#include "cluster/mpi_session.h"

#include <mpi.h>

#include <cstdlib>
#include <stdexcept>

namespace ebsim {

bool LaunchedByMpi() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(name)) return true;
  return false;
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
