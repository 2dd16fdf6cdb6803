#include "jpeg_image.h"
