// Whether a DVR is connected again by itself after its working connection was lost: the
// operator's choice per DVR, kept in the user's settings (never in the list file) under the DVR's
// server text. On unless the operator turned it off.
//
// Threads: GUI thread.
#pragma once

#include <string>

bool ReconnectAutomatically(const std::string& server);
void SetReconnectAutomatically(const std::string& server, bool on);
