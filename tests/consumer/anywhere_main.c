#include <stdint.h>
#include <stdio.h>

#include "empty.h"
#include "shared.h"
#include "shared.h" /* a second time: the include guard holds */

const unsigned char* other_c_data(void);
unsigned long other_c_size(void);
const unsigned char* cpp_data(void);
unsigned long cpp_size(void);
unsigned long other_c_empty_size(void);
unsigned long cpp_empty_size(void);

/* Checks that every source sees one array, its size and its alignment,
   writes the bytes to the file named by the first argument and prints the
   size. Each check has an exit status of its own. */
int main(int argc, char** argv) {
  FILE* out;
  if (sizeof shared != _shared) return 3;
  if ((uintptr_t)shared % 64 != 0) return 4;
  if (other_c_data() != shared || cpp_data() != shared) return 5;
  if (other_c_size() != _shared || cpp_size() != _shared) return 6;
  if (sizeof empty != 0 || _empty != 0) return 7;
  if (other_c_empty_size() != 0 || cpp_empty_size() != 0) return 8;
  if (argc < 2 || (out = fopen(argv[1], "wb")) == NULL) return 2;
  if (fwrite(shared, 1, sizeof shared, out) != sizeof shared || fclose(out) != 0) return 2;
  printf("%lu\n", (unsigned long)_shared);
  return 0;
}
