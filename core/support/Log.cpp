#include "core/support/Log.h"

#include <syslog.h>

#include <cstdarg>

void QLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ::vsyslog(LOG_USER | LOG_DEBUG, format, args);
    va_end(args);
}
