#include "shared.h"

extern "C" const unsigned char* cpp_data() { return shared; }
extern "C" unsigned long cpp_size() { return sizeof shared; }
