// Names the calling thread as `top -H`, `ps -L`, a debugger and a profiler show it: its role and,
// for the threads of a DVR's connection, the DVR's place in the list ("receive 3"). The system
// keeps at most 15 characters; more are cut.
#pragma once

#include <string>

void NameThisThread(const std::string& name);
