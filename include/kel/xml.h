#ifndef KEL_XML_H
#define KEL_XML_H

#include <kel/foundation.h>

#endif
