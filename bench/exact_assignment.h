#pragma once
// The exact least-cost assignment of a dense cost matrix, by the Hungarian
// method with potentials (O(rows² × columns)): the reference the sparse
// capped assignment is measured against, in its tests and its benchmark.
// A tile used up to c times is c columns.

#include <limits>
#include <vector>

namespace tessaline {

// The optimum by the Hungarian method over the dense cost matrix, rows ≤
// columns.
inline double ExactOptimum(const std::vector<std::vector<double>>& cost) {
  const int n = static_cast<int>(cost.size()), m = static_cast<int>(cost[0].size());
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> u(n + 1, 0), v(m + 1, 0);
  std::vector<int> row_of(m + 1, 0), way(m + 1, 0);
  for (int i = 1; i <= n; ++i) {
    row_of[0] = i;
    int j0 = 0;
    std::vector<double> min_to(m + 1, inf);
    std::vector<bool> used(m + 1, false);
    do {
      used[j0] = true;
      const int i0 = row_of[j0];
      double delta = inf;
      int j1 = 0;
      for (int j = 1; j <= m; ++j) {
        if (used[j]) continue;
        const double cur = cost[i0 - 1][j - 1] - u[i0] - v[j];
        if (cur < min_to[j]) min_to[j] = cur, way[j] = j0;
        if (min_to[j] < delta) delta = min_to[j], j1 = j;
      }
      for (int j = 0; j <= m; ++j) {
        if (used[j])
          u[row_of[j]] += delta, v[j] -= delta;
        else
          min_to[j] -= delta;
      }
      j0 = j1;
    } while (row_of[j0] != 0);
    do {
      const int j1 = way[j0];
      row_of[j0] = row_of[j1];
      j0 = j1;
    } while (j0 != 0);
  }
  double total = 0;
  for (int j = 1; j <= m; ++j)
    if (row_of[j] != 0) total += cost[row_of[j] - 1][j - 1];
  return total;
}

}  // namespace tessaline
