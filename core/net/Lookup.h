// The lookup of a DVR known by an identifier: one 600-byte request to the lookup server on port
// 10089 and its 600-byte reply. Blocks the calling thread (a connect thread) for at most the
// connect limit plus the exchange limit, or until `cancelFd` is signalled.
#pragma once

#include <string>

#include "core/net/ConnectionLimits.h"
#include "core/wire/ResultCodes.h"
#include "core/wire/WireFormats.h"

// Found: `r` holds the reply, its texts bounded, its port1 a usable port.
status::Lookup LookupDvr(const std::string& lookupHost, const std::string& identifier,
                         NET_REQUEST& r, const ConnectionLimits& limits, int cancelFd);
