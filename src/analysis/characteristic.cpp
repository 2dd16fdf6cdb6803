#include "characteristic.h"
