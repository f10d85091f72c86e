#ifndef TAVIK_CAMERAACCESS_H
#define TAVIK_CAMERAACCESS_H

#include <QString>

#include <functional>

// Why the camera list stayed empty. On Debian the video nodes belong to the
// group "video": a user outside it sees the cameras under /dev but cannot open
// them, and needs a different hint than a user with no camera plugged in.
//
// Any thread: reads only the directory and asks the check about each node.
namespace CameraAccess {

enum class NodeState {
    NoNodes,      // no "video*" node in the directory
    NoPermission, // nodes exist, the user may open none of them
    Openable      // at least one node may be opened
};

// Whether the user may open the node at path; injected so that tests, which
// run as root, can stand for a user without the permission.
using OpenCheck = std::function<bool(const QString& path)>;

// access(path, R_OK | W_OK) == 0, what streaming from the node needs.
bool mayOpenForCapture(const QString& path);

// The state of the video nodes ("video*") in devDir, e.g. "/dev".
NodeState nodeState(const QString& devDir, const OpenCheck& mayOpen = mayOpenForCapture);

// The preview's text for an empty camera list: the permission text naming the
// fix for NoPermission, otherwise the plea to connect a camera.
QString emptyListHint(NodeState state);

// The preview's text for a listed camera that did not open or start: the
// permission text where the user may not open its node, otherwise a line
// that the camera could not be opened.
QString openFailedHint(const QString& devicePath, const OpenCheck& mayOpen = mayOpenForCapture);

// The folder holding the video nodes: "/dev". Tests point it at a folder of
// their own (GUI thread, before the camera panel is made).
QString deviceFolder();
void setDeviceFolder(const QString& folder);

} // namespace CameraAccess

#endif // TAVIK_CAMERAACCESS_H
