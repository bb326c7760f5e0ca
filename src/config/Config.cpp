#include "config/Config.h"
