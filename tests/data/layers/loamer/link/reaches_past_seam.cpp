// A file that breaks the layering on purpose, for the layer check's own test.
#include <termios.h>

#include "loamer/link/comm_port.h"
