#include "fft.h"
