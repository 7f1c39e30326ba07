#include "empty.h"
#include "shared.h"

const unsigned char* other_c_data(void) { return shared; }
unsigned long other_c_size(void) { return sizeof shared; }
unsigned long other_c_empty_size(void) { return sizeof empty + _empty; }
