#include "planes.h"
