// What the benchmarks share: medians, and the one line format of a measure with a target.
#pragma once
#include <algorithm>
#include <cstdio>
#include <vector>

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One line per measure with a target, always in this form:
//   <measure> <ms> ms against <what> <ms> ms ... ratio R (target <= T)
// so that a run meets its targets exactly when every such line has R <= T (run_bench.sh
// counts them). The ratio is the median of the ratios taken within each round, which is
// why it need not equal the quotient of the two medians printed before it.
inline void PrintTarget(const char* measure, double ms, const char* against, double againstMs,
                        double ratio, double target)
{
    printf("%-40s %8.2f ms against %s %.2f ms: ratio %.2f (target <= %g)\n", measure, ms, against,
           againstMs, ratio, target);
}
