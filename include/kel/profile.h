#ifndef KEL_PROFILE_H
#define KEL_PROFILE_H

#include <kel/foundation.h>

#endif
