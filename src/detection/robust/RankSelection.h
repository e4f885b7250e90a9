// Selection of the value of a given rank among a few hundred values (a spot's ring), faster
// than std::nth_element where the values are in no order a branch could guess: its partitions
// move every value without branching on it.
//
// Threads: works on its arguments only; any thread may call it.
#pragma once

#include <cstddef>

namespace zmr {

// The value of rank k (0-based, k < n) of v[0..n), as std::nth_element would place at k.
// Reorders v. The values must not be NaN.
float ValueOfRank(float* v, std::size_t n, std::size_t k);

}  // namespace zmr
