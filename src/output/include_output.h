#pragma once

// Everything the run driver needs to have an include file composed.
#include "output/data_line.h"
#include "output/include_file.h"
#include "output/line_end.h"
#include "output/local_time.h"
#include "output/output_flavour.h"
#include "output/output_stream.h"
