#include "fits_writer.h"
