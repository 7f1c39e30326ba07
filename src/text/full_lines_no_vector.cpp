#include "text/full_lines.h"

namespace quarlex {

// Builds for processors without a vector composer use the portable one.
FullLineComposer vector_full_line_composer() { return nullptr; }

}  // namespace quarlex
