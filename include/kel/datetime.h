#ifndef KEL_DATETIME_H
#define KEL_DATETIME_H

#include <kel/foundation.h>

#endif
