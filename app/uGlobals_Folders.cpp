#include "uGlobals.h"
