// A tiny timing harness: the best of several runs, reported against a
// reference so that the figure means the same on any machine.
#pragma once

#include <chrono>
#include <functional>
#include <string_view>

namespace tarnwick::bench {

// Seconds of the fastest of `runs` calls.
double fastest(const std::function<void()>& work, int runs = 5);

// Prints one line: name, both times, and how many times slower the subject is.
void report(std::string_view name, double subjectSeconds, std::string_view reference, double referenceSeconds);

void benchFrameCrc();
void benchImageLoad();

}  // namespace tarnwick::bench
