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

// The records are the interface's singly linked lists, chained by `next`.
template <typename Node>
int lengthOf(const Node* head)
{
    int n = 0;
    for (; head; head = head->next)
        ++n;
    return n;
}

template <typename Node>
Node* nodeAt(Node* head, int index)
{
    if (index < 0)
        return nullptr;
    for (int i = 0; head && i < index; ++i)
        head = head->next;
    return head;
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
    return nodeAt(m_head, index);
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
    return camera ? lengthOf(camera->formatList) : 0;
}

PixelFormat* DeviceCatalog::format(const VideoDeviceData* camera, int index)
{
    return camera ? nodeAt(camera->formatList, index) : nullptr;
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
    return format ? lengthOf(format->sizeList) : 0;
}

FrmSizeData* DeviceCatalog::size(const PixelFormat* format, int index)
{
    return format ? nodeAt(format->sizeList, index) : nullptr;
}

} // namespace tavik
