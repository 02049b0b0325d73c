#pragma once

#include <atomic>
#include <iosfwd>
#include <span>
#include <string>

namespace ebsim {

// ebsim rerun FILE [--into DIR]: reruns what wrote FILE, a table of ebsim
// sweep (runs, summary, loops, loop means) or the loop of ebsim run
// --loop-csv or of the window, from its metadata line (the command, with
// the seed the sweep ran with; a merge's tables: the sweep their metadata
// names), or the HDF5 file of ebsim sweep --h5 or ebsim run --h5, from its
// metadata attribute, writing into a scratch folder, never over the
// original files. Says on stdout whether the rerun's lines after the
// metadata line are FILE's byte for byte (an earlier version's table: in
// its columns; an HDF5 file: every dataset value for value), and names
// another version that wrote FILE.
// Returns 0 when they are, 1 when they differ or the rerun failed, 2 for a
// usage error, 128 + N when stopped by signal N.
int RerunCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err, std::atomic<bool>& stop);

}  // namespace ebsim
