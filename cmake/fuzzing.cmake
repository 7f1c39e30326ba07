# Coverage instrumentation for libFuzzer, for the code under test: linked
# PRIVATE by the core library when the fuzzers are built, and by nothing
# else (only the fuzzers themselves link libFuzzer's main).
add_library(quarlex_fuzzing INTERFACE)
if(QUARLEX_BUILD_FUZZERS)
  target_compile_options(quarlex_fuzzing INTERFACE -fsanitize=fuzzer-no-link)
endif()
