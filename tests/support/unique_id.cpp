#include "unique_id.h"

#include <unistd.h>

int UniqueInstanceId() {
  static int counter = 0;
  counter = (counter + 1) % 256;
  // pid_max is at most 2^22, so this stays below 2^30.
  return static_cast<int>(getpid()) * 256 + counter;
}
