#include <kel/foundation.h>

namespace Kel {

const char* copyright() {
    return "Copyright (c) 1998-2026 the Kel developers.\n"
           "All rights reserved.\n";
}

const char* product() {
    return "Corvane Foundation Classes";
}

const char* version() {
    return "3, 0, 0, 0";
}

} // namespace Kel
