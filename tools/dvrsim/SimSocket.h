// Small blocking socket helpers of the simulator.
#pragma once

#include <cstddef>
#include <string>

// A listening TCP socket on host:port (port 0: any free port). Returns the descriptor or -1,
// and the port actually bound in boundPort. rcvBuf > 0 shrinks the receive buffer of the
// connections it accepts.
int ListenOn(const std::string& host, int port, int& boundPort, int rcvBuf = 0);
bool ReadFully(int fd, void* data, std::size_t n);
bool WriteFully(int fd, const void* data, std::size_t n);
