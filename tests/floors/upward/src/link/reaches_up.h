#pragma once
#include "app/app_state.h"
#include "text/language.h"
