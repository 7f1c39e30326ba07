#pragma once

#include <cstdint>

namespace quarlex {

// Whether the processors this process may run on can run `threads` of its
// threads at once without taking one from another task that is ready to
// run: the tasks ready on the whole machine at this moment, less the
// `own_ready` of them that are this process's, leave that many
// processors. False where the system tells neither, so that a thread is
// added only where it surely has room.
bool processors_free_for(int threads, int own_ready);

// Nanoseconds of processor time that every thread of this process has
// spent, user and system; 0 where the system does not tell.
std::uint64_t process_cpu_ns();

}  // namespace quarlex
