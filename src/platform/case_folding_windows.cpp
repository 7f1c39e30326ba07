#include "platform/file_facts.h"

namespace quarlex {

// Windows' own file systems take names differing in case only for one name.
bool names_fold_case(int) { return true; }

}  // namespace quarlex
