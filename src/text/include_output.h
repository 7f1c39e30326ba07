#pragma once

// Everything the run driver needs to have an include file composed.
#include "platform/local_time.h"
#include "text/data_line.h"
#include "text/include_file.h"
#include "text/line_end.h"
#include "text/output_flavour.h"
#include "write/output_stream.h"
