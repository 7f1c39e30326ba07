# AddressSanitizer and UndefinedBehaviorSanitizer, or ThreadSanitizer (the
# two cannot share a process), for every target that links
# quarlex_sanitizers; any report makes the process fail so that a test fails.
add_library(quarlex_sanitizers INTERFACE)

if(QUARLEX_SANITIZE AND QUARLEX_SANITIZE_THREADS)
  message(FATAL_ERROR "QUARLEX_SANITIZE and QUARLEX_SANITIZE_THREADS exclude each other")
endif()

if(QUARLEX_SANITIZE)
  set(sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  target_compile_options(quarlex_sanitizers INTERFACE ${sanitizer_flags})
  target_link_options(quarlex_sanitizers INTERFACE ${sanitizer_flags})
endif()

if(QUARLEX_SANITIZE_THREADS)
  set(sanitizer_flags -fsanitize=thread -fno-omit-frame-pointer)
  target_compile_options(quarlex_sanitizers INTERFACE ${sanitizer_flags})
  target_link_options(quarlex_sanitizers INTERFACE ${sanitizer_flags})
endif()
