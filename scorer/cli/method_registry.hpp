#pragma once

// The methods by name: what `vornel METHOD`, `vornel evaluate --methods` and the Python
// package's method= look up.

#include "scorer/evaluate/auto.hpp"
#include "scorer/evaluate/evaluation.hpp"
#include "scorer/learn/learn.hpp"
#include "scorer/methods/method_entry.hpp"
#include "scorer/methods/scorers.hpp"

#include <span>
#include <string_view>

namespace vornel {

// All methods, in the order the help text lists them.
std::span<const method_entry> all_methods();

// Whether `vornel evaluate` compares the method when no --methods are given.
bool in_default_evaluation(const method_entry& entry);

// The method called `name`, or null.
const method_entry* find_method(std::string_view name);

// Runs evaluate_methods on the methods that settings.methods names (every name checked by the
// caller).
evaluation_result evaluate_methods(const network& net, const evaluation_settings& settings,
                                   const progress_callback& progress);

} // namespace vornel
