#pragma once
// How many heap allocations this program has made so far, through operator
// new or straight through malloc (as the toolkit does): benchmarks compare
// it before and after a run.

#include <cstddef>

std::size_t AllocationCount();
