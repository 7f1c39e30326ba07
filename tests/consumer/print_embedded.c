#include <stdio.h>

#ifdef PAYLOAD_HEADER
#include PAYLOAD_HEADER
#else
#include "payload.h"
#endif

/* Writes the embedded bytes to the file named by the first argument and
   prints the size that the include file defines. */
int main(int argc, char** argv) {
  FILE* out;
  if (argc < 2 || (out = fopen(argv[1], "wb")) == NULL) return 2;
  if (fwrite(payload, 1, sizeof payload, out) != sizeof payload || fclose(out) != 0) return 2;
  printf("%lu\n", (unsigned long)_payload);
  return 0;
}
