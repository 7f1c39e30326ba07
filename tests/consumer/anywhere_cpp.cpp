#include "empty.h"
#include "shared.h"

extern "C" const unsigned char* cpp_data() { return shared; }
extern "C" unsigned long cpp_size() { return sizeof shared; }
extern "C" unsigned long cpp_empty_size() { return sizeof empty + _empty; }
