#include "link/codecs.h"
#include "params/parameter_block.h"
