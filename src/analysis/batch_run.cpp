#include "batch_run.h"
