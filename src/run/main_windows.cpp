#include "platform/arguments_windows.h"
#include "run/run_conversion.h"

// Windows' entry with the arguments as given (UTF-16), handed over in UTF-8.
int wmain(int argc, wchar_t** argv) {
  const quarlex::Utf8Arguments arguments(argc, argv);
  return quarlex::run_conversion(arguments.count(), arguments.values());
}
