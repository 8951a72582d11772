// Which icon a DVR's tree node shows, as the core decides it from the DVR's connection.
#pragma once

enum class NodeIcon { Disconnected, SuperUser, User };
