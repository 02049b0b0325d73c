#include "cluster/rank_messages.h"

#include <mpi.h>

#include <chrono>
#include <thread>

namespace ebsim {

int RankCount() {
  int ranks = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  return ranks;
}

void SendToRank(int rank, RankTag tag, const std::string& bytes) {
  MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, rank, static_cast<int>(tag), MPI_COMM_WORLD);
}

std::optional<RankMessage> ReceiveIfArrived() {
  int arrived = 0;
  MPI_Status status;
  MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &arrived, &status);
  if (!arrived) return std::nullopt;
  int size = 0;
  MPI_Get_count(&status, MPI_BYTE, &size);
  RankMessage message{status.MPI_SOURCE, static_cast<RankTag>(status.MPI_TAG), std::string(static_cast<std::size_t>(size), '\0')};
  MPI_Recv(message.bytes.data(), size, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  return message;
}

void PollPause() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace ebsim
