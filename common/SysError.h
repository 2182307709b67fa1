// The system's text for an errno value, safe to call from any thread (strerror is not).
#pragma once

#include <string>

namespace px {

std::string ErrnoText(int error);

} // namespace px
