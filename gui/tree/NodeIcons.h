// The three 16 x 16 icons of the DVR tree, drawn once at start-up: a DVR that is not connected,
// one logged in as its superuser, one logged in as any other user.
//
// Threads: GUI thread only (pixmaps).
#pragma once

#include "core/ports/NodeIcon.h"
#include "gui/tree/NodeImage.h"

struct NodeIcons {
    NodeImage folderImage;  // "user.tiff": not connected
    NodeImage SuperImage;   // "usersupper.bmp": logged in as the superuser
    NodeImage UserImage;    // "userpop.bmp": logged in as another user

    // Draws the three icons. Needs a QGuiApplication.
    static NodeIcons Draw();

    const NodeImage& ForIcon(NodeIcon icon) const;
};
