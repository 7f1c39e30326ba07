# AddressSanitizer and UndefinedBehaviorSanitizer for every target that links
# quarlex_sanitizers; any report aborts the process so that a test fails.
add_library(quarlex_sanitizers INTERFACE)

if(QUARLEX_SANITIZE)
  set(sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  target_compile_options(quarlex_sanitizers INTERFACE ${sanitizer_flags})
  target_link_options(quarlex_sanitizers INTERFACE ${sanitizer_flags})
endif()
