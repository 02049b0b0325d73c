#include "cluster/rank_messages.h"

#include <mpi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <thread>

namespace ebsim {

namespace {

// A message on its way, with the bytes MPI reads or fills until it is done
// (list nodes never move, so the bytes stay where MPI was told they are).
struct InFlight {
  MPI_Request request = MPI_REQUEST_NULL;
  RankMessage message;
  bool done = false;
};

// Only the thread that opened the session talks to the other ranks.
std::list<InFlight> sending, receiving;

std::vector<std::chrono::steady_clock::time_point>& Heard() {
  static std::vector<std::chrono::steady_clock::time_point> heard(static_cast<std::size_t>(RankCount()),
                                                                  std::chrono::steady_clock::now());
  return heard;
}

bool Done(InFlight& flight) {
  if (!flight.done) {
    int done = 0;
    MPI_Test(&flight.request, &done, MPI_STATUS_IGNORE);
    flight.done = done != 0;
  }
  return flight.done;
}

void DropDelivered() {
  sending.remove_if([](InFlight& flight) { return Done(flight); });
}

// Starts receiving every message whose first part has arrived, in the order
// MPI matched them.
void TakeArrivals() {
  for (;;) {
    int arrived = 0;
    MPI_Message handle;
    MPI_Status status;
    MPI_Improbe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &arrived, &handle, &status);
    if (!arrived) return;
    int size = 0;
    MPI_Get_count(&status, MPI_BYTE, &size);
    Heard().at(static_cast<std::size_t>(status.MPI_SOURCE)) = std::chrono::steady_clock::now();
    InFlight& flight = receiving.emplace_back();
    flight.message = {status.MPI_SOURCE, static_cast<RankTag>(status.MPI_TAG),
                      std::string(static_cast<std::size_t>(size), '\0')};
    MPI_Imrecv(flight.message.bytes.data(), size, MPI_BYTE, &handle, &flight.request);
  }
}

}  // namespace

int RankCount() {
  int ranks = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  return ranks;
}

void SendToRank(int rank, RankTag tag, const std::string& bytes) {
  InFlight& flight = sending.emplace_back();
  flight.message.bytes = bytes;
  MPI_Isend(flight.message.bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, rank, static_cast<int>(tag),
            MPI_COMM_WORLD, &flight.request);
  DropDelivered();
}

std::optional<RankMessage> ReceiveIfArrived() {
  DropDelivered();
  TakeArrivals();
  // The first whole message no earlier one of its rank is still ahead of.
  for (auto flight = receiving.begin(); flight != receiving.end(); ++flight) {
    const auto earlier = std::find_if(receiving.begin(), flight, [&](const InFlight& other) {
      return other.message.source == flight->message.source;
    });
    if (earlier != flight || !Done(*flight)) continue;
    RankMessage message = std::move(flight->message);
    receiving.erase(flight);
    return message;
  }
  return std::nullopt;
}

std::chrono::steady_clock::time_point LastHeardFrom(int rank) { return Heard().at(static_cast<std::size_t>(rank)); }

void PollPause() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

bool DeliverSends(std::chrono::milliseconds most) {
  const auto until = std::chrono::steady_clock::now() + most;
  for (DropDelivered(); !sending.empty(); DropDelivered()) {
    if (std::chrono::steady_clock::now() > until) return false;
    PollPause();
  }
  return true;
}

void LeaveJob(int code) {
  // Not MPI_Abort: mpirun may fail on the message it sends. A rank that
  // ends without finalising makes the launcher end the others.
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace ebsim
