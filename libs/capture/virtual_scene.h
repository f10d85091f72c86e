// The picture of the virtual document camera.
#ifndef TAVIK_CAPTURE_VIRTUAL_SCENE_H
#define TAVIK_CAPTURE_VIRTUAL_SCENE_H

#include <string>
#include <vector>

namespace tavik {

// A desk with a white page on it, slightly turned and in perspective, with
// lines of text (or the picture of a JPEG file, scaled to fit). Frames differ
// only in a band of whole 16-pixel rows near the bottom, where a marker moves
// so that a frozen preview shows. Built and used on the capture thread.
class VirtualScene {
public:
    // Frames after which the marker's movement repeats.
    static constexpr int kVariants = 30;

    // Which sheet lies on the desk, and how: layout 0 at no shift and 4
    // degrees is the camera's usual page.
    struct PageLook {
        bool present = true;
        unsigned layout = 0;     // picks the lengths of words and paragraphs
        double shiftX = 0;       // in picture heights
        double shiftY = 0;
        double turnDegrees = 4;
    };

    // imagePath may be empty; a file that cannot be read falls back to the
    // drawn desk (logged).
    VirtualScene(int width, int height, const std::string& imagePath);
    // The drawn desk with the page look describes (none if !look.present).
    VirtualScene(int width, int height, const PageLook& look);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // Packed RGB of the whole picture, marker band without marker.
    const std::vector<unsigned char>& base() const { return m_rgb; }
    // First row and height of the changing band; multiples of 16.
    int bandTop() const { return m_bandTop; }
    int bandHeight() const { return m_bandHeight; }
    // Packed RGB of the band for frame variant 0 .. kVariants-1.
    void renderBand(int variant, std::vector<unsigned char>& rgb) const;

private:
    void drawDesk();
    void placeBand();
    void drawPage(const PageLook& look);
    bool loadImage(const std::string& path);

    int m_width;
    int m_height;
    int m_bandTop = 0;
    int m_bandHeight = 0;
    std::vector<unsigned char> m_rgb;
};

} // namespace tavik

#endif
