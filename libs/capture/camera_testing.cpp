// The test hooks of camera_testing.h.
#include "camera_testing.h"

#include "jpeg_repair.h"
#include "sys_ops.h"
#include "virtual_camera.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

void TavikCam_VirtualUnplug(void)
{
    tavik::setVirtualCameraPresent(false);
}

void TavikCam_VirtualReplug(void)
{
    tavik::setVirtualCameraPresent(true);
}

void TavikCam_VirtualSetDamage(int damagedPercent, int truncatedPercent)
{
    tavik::setVirtualDamage(damagedPercent, truncatedPercent);
}

unsigned char* TavikCam_RepairJpeg(const unsigned char* data, unsigned long len, unsigned long* outLen)
{
    std::vector<unsigned char> repaired;
    if (outLen)
        *outLen = 0;
    if (!data || !tavik::repairJpeg(data, len, repaired))
        return nullptr;
    auto* copy = static_cast<unsigned char*>(std::malloc(repaired.size()));
    if (!copy)
        return nullptr;
    std::memcpy(copy, repaired.data(), repaired.size());
    if (outLen)
        *outLen = repaired.size();
    return copy;
}

void TavikCam_SetSysOps(const struct TavikSysOps* ops)
{
    tavik::setSysOps(ops);
}

void TavikCam_SetDeviceNodes(const char* const* paths, int count)
{
    if (!paths) {
        tavik::scanVideoNodes();
        return;
    }
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) {
        if (paths[i])
            list.emplace_back(paths[i]);
    }
    tavik::setVideoNodePaths(list);
}
