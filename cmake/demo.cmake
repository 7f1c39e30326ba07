# cmake --build build --target demo: converts the bundled sample into both
# flavours and shows the beginning of each file.
add_custom_target(demo
  COMMAND quarlex samples/greeting.txt ${PROJECT_BINARY_DIR}/greeting.inc
  COMMAND quarlex samples/greeting.txt ${PROJECT_BINARY_DIR}/greeting.h
  COMMAND head -n 14 ${PROJECT_BINARY_DIR}/greeting.inc ${PROJECT_BINARY_DIR}/greeting.h
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  USES_TERMINAL
  VERBATIM)
