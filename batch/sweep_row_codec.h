#pragma once
// A sweep's row as bytes and back, every field exactly (read-outs to the
// last bit of their double), for handing rows between processes of one
// machine type.

#include <string>
#include <string_view>

#include "batch/sweep_runner.h"

namespace ebsim {

std::string EncodeSweepRow(const SweepRow& row);
// Throws std::runtime_error on bytes that are not one whole row.
SweepRow DecodeSweepRow(std::string_view bytes);

}  // namespace ebsim
