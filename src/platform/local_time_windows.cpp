#include <windows.h>

#include "platform/local_time.h"

namespace quarlex {

// Windows keeps the local time itself; GetLocalTime cannot fail.
LocalTime read_local_time() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
}

}  // namespace quarlex
