#include "text/full_lines_x86.h"

#include <iterator>

// The fastest composer this build may choose, named by the build (the
// QUARLEX_COMPOSER option), so that each can be measured on one processor
// that has them all.
#ifndef QUARLEX_FASTEST_COMPOSER
#define QUARLEX_FASTEST_COMPOSER ""
#endif

namespace quarlex {
namespace {

constexpr std::string_view AVX512_FEATURES[] = {
    QUARLEX_AVX512_COMPOSER_FEATURES(QUARLEX_FEATURE_NAME, QUARLEX_FEATURE_COMMA)};
constexpr std::string_view AVX2_FEATURES[] = {
    QUARLEX_AVX2_COMPOSER_FEATURES(QUARLEX_FEATURE_NAME, QUARLEX_FEATURE_COMMA)};

struct BuiltComposer {
  VectorComposer composer;
  std::span<const std::string_view> features;
};

// Fastest first.
constexpr BuiltComposer BUILT[] = {
    {{"avx512", compose_full_lines_avx512}, AVX512_FEATURES},
    {{"avx2", compose_full_lines_avx2}, AVX2_FEATURES},
};
static_assert(std::size(BUILT) == RunnableComposers::MOST);

}  // namespace

bool this_processor_has(std::string_view feature) {
  __builtin_cpu_init();
  // The compiler's question takes only a literal name: one per name on
  // the composers' lists.
#define QUARLEX_ASK(name) \
  if (feature == name) return __builtin_cpu_supports(name);
  QUARLEX_AVX512_COMPOSER_FEATURES(QUARLEX_ASK, )
  QUARLEX_AVX2_COMPOSER_FEATURES(QUARLEX_ASK, )
#undef QUARLEX_ASK
  return false;
}

RunnableComposers composers_for(ProcessorHas has, std::string_view fastest) {
  RunnableComposers found;
  bool allowed = fastest.empty();
  for (const BuiltComposer& built : BUILT) {
    allowed = allowed || built.composer.name == fastest;
    bool runs = allowed;
    for (const std::string_view feature : built.features) runs = runs && has(feature);
    if (runs) found.list[found.count++] = built.composer;
  }
  return found;
}

std::span<const VectorComposer> vector_full_line_composers() {
  static const RunnableComposers runnable =
      composers_for(this_processor_has, QUARLEX_FASTEST_COMPOSER);
  return runnable.composers();
}

}  // namespace quarlex
