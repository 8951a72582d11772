// Diagnostics: free-text lines to the system log. Not an interface; safe from any thread.
#pragma once

void QLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
