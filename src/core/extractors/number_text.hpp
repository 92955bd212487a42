#pragma once
#include <string>

namespace quarnel {

// Integral values below 1e15 as integers; otherwise the shortest round-trip
// digits, written positionally.
std::string number_text(double x);
void append_number_text(std::string& out, double x);

}  // namespace quarnel
