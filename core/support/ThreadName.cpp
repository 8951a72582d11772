#include "core/support/ThreadName.h"

#ifdef __linux__
#include <pthread.h>
#endif

void NameThisThread(const std::string& name) {
#ifdef __linux__
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
#else
    (void)name;
#endif
}
