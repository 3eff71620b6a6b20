#pragma once
// Which implementation of the rectification and the line extraction to run.
// Both give bit-identical results: Reference is the step-by-step definition
// (pixel by pixel, pose by pose), Fast the optimised loops the program uses.
// The tests and benchmarks choose Reference to compare against.

namespace fp {

enum class Engine { Fast, Reference };

// The choice of every caller that does not ask for one.
inline constexpr Engine DefaultEngine = Engine::Fast;

} // namespace fp
