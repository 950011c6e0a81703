#pragma once
#include "link/codecs.h"
