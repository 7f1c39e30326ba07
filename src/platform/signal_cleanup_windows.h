#pragma once

namespace quarlex {

// Whether a console event has come that ends the run. Its cleanup waits
// while SignalsHeldBack lives; a step that holds it for long (the copy
// over OUTPUT) holds it a part at a time and stops once this is true.
bool ending_requested() noexcept;

}  // namespace quarlex
