#include "selector_state.h"
