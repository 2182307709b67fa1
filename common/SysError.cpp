#include "SysError.h"

#include <cstring>

namespace px {

std::string ErrnoText(int error)
{
    char buffer[256];
    // The GNU strerror_r: returns the text, in the buffer or a static string.
    return strerror_r(error, buffer, sizeof buffer);
}

} // namespace px
