#pragma once

// The two halves of a field sweep.
enum class Branch { Descending, Ascending };
