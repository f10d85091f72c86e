#include "imageprocloader.h"

#include <QDebug>
#include <QFile>
#include <QString>

#include <cstdio>
#include <dlfcn.h>

void* handle = nullptr;
char* error = nullptr;
CAC_FUNC_LINE cac_func_drawLine = nullptr;
CAC_FUNC_CROP cac_func_crop = nullptr;
CAC_FUNC_FLINE cac_func_fLine = nullptr;
CAC_FUNC_FCROP cac_func_fcrop = nullptr;
CAC_FUNC_ENHANCE cac_func_enhance = nullptr;
std::atomic<int> flag{0};

namespace {

// Looks one symbol up; prints the loader's message and returns null on failure.
void* bind(const char* name)
{
    void* symbol = dlsym(handle, name);
    error = dlerror();
    if (error) {
        fprintf(stderr, "%s\n", error);
        return nullptr;
    }
    return symbol;
}

} // namespace

bool loadImageProc()
{
    const QString installed = QStringLiteral("/opt/tavikApp/lib/libImageProc.so");
    const QString path = QFile::exists(installed) ? installed : QStringLiteral("./lib/libImageProc.so");
    handle = dlopen(path.toLatin1().constData(), RTLD_LAZY);
    if (!handle) {
        fprintf(stderr, "%s\n", dlerror());
        return false;
    }
    dlerror();
    void* drawLine = bind("RAW_DrawLine");
    void* crop = drawLine ? bind("RAW_Crop") : nullptr;
    void* fileLine = crop ? bind("JPGFILE_DrawLine") : nullptr;
    void* fileRotate = fileLine ? bind("JPGFILE_Rotate") : nullptr;
    if (!fileRotate)
        return false;
    cac_func_drawLine = reinterpret_cast<CAC_FUNC_LINE>(drawLine);
    cac_func_crop = reinterpret_cast<CAC_FUNC_CROP>(crop);
    cac_func_fLine = reinterpret_cast<CAC_FUNC_FLINE>(fileLine);
    cac_func_fcrop = reinterpret_cast<CAC_FUNC_FCROP>(fileRotate);
    // An older library lacks the image modes: the program runs without them.
    cac_func_enhance = reinterpret_cast<CAC_FUNC_ENHANCE>(dlsym(handle, "ImageProc_Enhance"));
    if (!cac_func_enhance) {
        dlerror();
        qDebug("libImageProc.so has no ImageProc_Enhance: image modes unavailable");
    }
    return true;
}

void unloadImageProc()
{
    cac_func_drawLine = nullptr;
    cac_func_crop = nullptr;
    cac_func_fLine = nullptr;
    cac_func_fcrop = nullptr;
    cac_func_enhance = nullptr;
    if (handle) {
        dlclose(handle);
        handle = nullptr;
    }
}
