// The signed status codes of the client's operations, by name; the values are fixed (callers and
// tests rely on them). Codes that share a number mean different things in different operations,
// so each operation has a scoped enum of its own.
#pragma once

#include <cstdint>
#include <type_traits>

namespace status {

// Most operations: 1 for success, -1 for a rejected argument or a general failure.
inline constexpr int32_t kOk = 1;
inline constexpr int32_t kFailed = -1;

// The login and the stream set-up (SetParameter).
enum class Login : int32_t {
    Ok = 1,
    Failed = -1,  // a transport failure, or the attempt was overtaken
    BadUserOrPassword = -2,
    SuperUserOnline = -3,  // the superuser is logged in elsewhere
    TooManyUsers = -4,
};

// The lookup of a DVR known by an identifier (GetDvrIP).
enum class Lookup : int32_t {
    Found = 600,  // the reply's bytes: the request record holds the answer
    Failed = -1,  // no socket, or the exchange broke
    ServerUnreachable = -2,
    LookupFailed = -1009,
    DvrNotOnline = -1010,
};

// A connection attempt (NetConnect, the connect-and-login thread). Lookup failures pass through
// with their own numbers.
enum class Connect : int32_t {
    Done = 1,     // connected; the login's outcome was reported on its own
    Failed = -1,  // refused at once (an unreported loss, a deleted DVR, no socket) or lookup -1
    LookupServerUnreachable = -2,
    DvrUnreachable = -4,
    NoColonInServer = -6,
    LookupFailed = -1009,
    DvrNotOnline = -1010,
};

// A refused play request (the block's Results).
enum class Play : int32_t {
    Refused = -1011,
    NoRecordingAtStart = -1012,  // the DVR's reason 17
};

template <typename E>
constexpr int32_t Code(E e) {
    static_assert(std::is_enum_v<E>);
    return static_cast<int32_t>(e);
}

}  // namespace status
