#ifndef KEL_KEL_H
#define KEL_KEL_H

#include <kel/collection.h>
#include <kel/database.h>
#include <kel/datetime.h>
#include <kel/foundation.h>
#include <kel/net.h>
#include <kel/profile.h>
#include <kel/string.h>
#include <kel/version.h>
#include <kel/xml.h>

#endif
