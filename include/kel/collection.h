#ifndef KEL_COLLECTION_H
#define KEL_COLLECTION_H

#include <kel/foundation.h>

#endif
