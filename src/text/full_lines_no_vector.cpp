#include "text/full_lines.h"

namespace quarlex {

// Builds for processors without a vector composer use the portable one.
std::span<const VectorComposer> vector_full_line_composers() { return {}; }

}  // namespace quarlex
