// A file of the lower sample layer that reaches up: never compiled, only read
// by the layer check.
#include "tests/cmake/layer_includes/low.h"
#include "tests/cmake/layer_includes/high.h"
