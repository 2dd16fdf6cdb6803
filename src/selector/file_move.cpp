#include "file_move.h"
