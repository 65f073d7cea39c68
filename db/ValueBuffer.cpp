#include "db/ValueBuffer.h"

char ValueBuffer[ValueBufferSize];
