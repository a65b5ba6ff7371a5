// What every benchmark shares: rounds in which ours and its floor are
// measured back to back (interleaved, the order turning each round, so that
// machine noise hits both alike), the figures printed as min - median - max
// over the rounds, and as the last line the ratio of the medians.
//
// The lines scripts/bench.sh reads for its table:
//   ours   <what>  min <a>  median <b>  max <c> <unit>
//   floor  <what>  min <a>  median <b>  max <c> <unit>
//   ratio ours/ref (median): <r>  against <what>    (for a reference, if any)
//   ratio ours/floor (median): <r>  goal <goal>
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Argument `at` as a positive number, or `fallback` when it is missing or
// not one.
inline long long PositiveArgument(int argc, char** argv, int at, long long fallback) {
    const long long value = argc > at ? std::atoll(argv[at]) : 0;
    return value > 0 ? value : fallback;
}

inline double NowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / frequency;
}

// One measured figure over the rounds. `role` is "ours", "floor", or a
// reference printed for comparison only.
struct Series {
    Series(std::string r, std::string w, std::string u) : role(std::move(r)), what(std::move(w)), unit(std::move(u)) {}
    std::string role, what, unit;
    std::vector<double> values;
    double Median() const {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        size_t n = v.size();
        return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    void Print() const {
        if (values.empty()) return;
        std::printf("%-6s %-52s min %9.2f  median %9.2f  max %9.2f %s\n", role.c_str(), what.c_str(),
                    *std::min_element(values.begin(), values.end()), Median(),
                    *std::max_element(values.begin(), values.end()), unit.c_str());
    }
};

// A series and how one round measures it: the figure, or a negative value
// when the measurement failed.
using Measure = std::pair<Series*, std::function<double()>>;

// `rounds` rounds, each measuring every series once, in an order that turns
// by one each round. False (after saying which) when a measurement failed.
inline bool RunRounds(int rounds, const std::vector<Measure>& measures) {
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < measures.size(); ++i) {
            const Measure& m = measures[(i + round) % measures.size()];
            double figure = m.second();
            if (figure < 0) {
                std::printf("round %d: %s (%s) failed\n", round + 1, m.first->role.c_str(),
                            m.first->what.c_str());
                return false;
            }
            m.first->values.push_back(figure);
        }
        std::fflush(stdout);
    }
    return true;
}

inline double MedianRatio(const Series& a, const Series& b) {
    const double m = b.Median();
    return m > 0 ? a.Median() / m : 0.0;
}

// Prints every series, ours against each reference, then the ratio line
// against the floor, which comes last.
inline void PrintResult(const Series& ours, const Series& floor, const std::vector<const Series*>& others,
                        const char* goal) {
    ours.Print();
    floor.Print();
    for (const Series* s : others) s->Print();
    for (const Series* s : others)
        std::printf("ratio ours/%s (median): %.2f  against %s\n", s->role.c_str(), MedianRatio(ours, *s),
                    s->what.c_str());
    std::printf("ratio ours/floor (median): %.2f  goal %s\n", MedianRatio(ours, floor), goal);
    std::fflush(stdout);
}

}  // namespace bench
