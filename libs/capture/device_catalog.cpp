#include "device_catalog.h"

#include <cstring>

namespace tavik {

namespace {

void copyText(char* dest, size_t capacity, const std::string& text)
{
    size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
}

PixelFormat* makeFormat(const FormatInfo& info, int number)
{
    auto* format = new PixelFormat{};
    copyText(format->pixelformatTip, sizeof format->pixelformatTip, info.name);
    format->pixelformat = info.fourcc;
    format->formatNum = number;
    FrmSizeData** tail = &format->sizeList;
    int sizeNumber = 0;
    for (const SizeInfo& s : info.sizes) {
        auto* size = new FrmSizeData{};
        size->width = s.width;
        size->height = s.height;
        size->FrmsizeNum = sizeNumber++;
        *tail = size;
        tail = &size->next;
    }
    return format;
}

void freeFormats(PixelFormat* format)
{
    while (format) {
        FrmSizeData* size = format->sizeList;
        while (size) {
            FrmSizeData* next = size->next;
            delete size;
            size = next;
        }
        PixelFormat* next = format->next;
        delete format;
        format = next;
    }
}

} // namespace

DeviceCatalog::~DeviceCatalog()
{
    clear();
}

int DeviceCatalog::rebuild(const std::vector<CameraInfo>& cameras)
{
    clear();
    VideoDeviceData** tail = &m_head;
    for (const CameraInfo& info : cameras) {
        auto* device = new VideoDeviceData{};
        copyText(device->devPath, sizeof device->devPath, info.path);
        copyText(device->cardName, sizeof device->cardName, info.card);
        device->videoNum = m_count++;
        PixelFormat** formatTail = &device->formatList;
        int formatNumber = 0;
        for (const FormatInfo& f : info.formats) {
            *formatTail = makeFormat(f, formatNumber++);
            formatTail = &(*formatTail)->next;
        }
        *tail = device;
        tail = &device->next;
    }
    return m_count;
}

void DeviceCatalog::clear()
{
    while (m_head) {
        VideoDeviceData* next = m_head->next;
        freeFormats(m_head->formatList);
        delete m_head;
        m_head = next;
    }
    m_count = 0;
}

VideoDeviceData* DeviceCatalog::device(int index) const
{
    VideoDeviceData* d = m_head;
    for (int i = 0; d && i < index; ++i)
        d = d->next;
    return index >= 0 ? d : nullptr;
}

VideoDeviceData* DeviceCatalog::deviceByPath(const char* path, int byteLength) const
{
    if (!path)
        return nullptr;
    size_t n = byteLength >= 0 ? static_cast<size_t>(byteLength) : std::strlen(path);
    for (VideoDeviceData* d = m_head; d; d = d->next) {
        if (std::strlen(d->devPath) == n && std::memcmp(d->devPath, path, n) == 0)
            return d;
    }
    return nullptr;
}

int DeviceCatalog::formatCount(const VideoDeviceData* camera)
{
    int n = 0;
    for (const PixelFormat* f = camera ? camera->formatList : nullptr; f; f = f->next)
        ++n;
    return n;
}

PixelFormat* DeviceCatalog::format(const VideoDeviceData* camera, int index)
{
    if (!camera || index < 0)
        return nullptr;
    PixelFormat* f = camera->formatList;
    for (int i = 0; f && i < index; ++i)
        f = f->next;
    return f;
}

PixelFormat* DeviceCatalog::formatByName(const VideoDeviceData* camera, const char* name)
{
    if (!camera || !name)
        return nullptr;
    for (PixelFormat* f = camera->formatList; f; f = f->next) {
        if (std::strcmp(f->pixelformatTip, name) == 0)
            return f;
    }
    return nullptr;
}

int DeviceCatalog::sizeCount(const PixelFormat* format)
{
    int n = 0;
    for (const FrmSizeData* s = format ? format->sizeList : nullptr; s; s = s->next)
        ++n;
    return n;
}

FrmSizeData* DeviceCatalog::size(const PixelFormat* format, int index)
{
    if (!format || index < 0)
        return nullptr;
    FrmSizeData* s = format->sizeList;
    for (int i = 0; s && i < index; ++i)
        s = s->next;
    return s;
}

} // namespace tavik
