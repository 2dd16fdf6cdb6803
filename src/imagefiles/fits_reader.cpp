#include "fits_reader.h"
