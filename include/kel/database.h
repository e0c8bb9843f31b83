#ifndef KEL_DATABASE_H
#define KEL_DATABASE_H

#include <kel/foundation.h>

#endif
