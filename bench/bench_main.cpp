#include <cstdio>

#include "bench.h"

namespace tarnwick::bench {

double fastest(const std::function<void()>& work, int runs) {
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

void report(std::string_view name, double subjectSeconds, std::string_view reference, double referenceSeconds) {
    std::printf("%-36.*s %9.3f ms   %-28.*s %9.3f ms   ratio %6.2f\n", static_cast<int>(name.size()), name.data(),
                subjectSeconds * 1e3, static_cast<int>(reference.size()), reference.data(), referenceSeconds * 1e3,
                subjectSeconds / referenceSeconds);
}

}  // namespace tarnwick::bench

int main() {
    tarnwick::bench::benchFrameCrc();
    tarnwick::bench::benchImageLoad();
}
