#include "calc/CalcStatusInfo.h"
