#include "write/streaming_copy.h"

namespace quarlex {

// This build has no vector code (another processor, another compiler, or a
// build capped to the portable composer): chunks are composed where they
// are written from.
std::span<const NamedStreamingCopy> streaming_copies() { return {}; }

}  // namespace quarlex
