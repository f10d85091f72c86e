#include "camera_scene.h"

#include "desk_objects.h"
#include "mesh_painter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Corner curled up off the desk: beyond a fold line `fold` mm in from the
// corner (measured along `dir`, pointing out through the corner) the sheet
// rolls up around a cylinder of `radius` mm.
struct Curl {
    cv::Point2d dir;
    double reach = 0;  // the fold line's distance from the page centre along dir
    double radius = 1;
};

struct Placement {
    cv::Point2d centre;
    double angle = 0;
    cv::Size2d size;

    cv::Point2d toDesk(double x, double y) const
    {
        const double c = std::cos(angle), s = std::sin(angle);
        return centre + cv::Point2d(c * x - s * y, s * x + c * y);
    }
    std::vector<cv::Point2d> corners() const
    {
        const double w = size.width / 2, h = size.height / 2;
        return {toDesk(-w, -h), toDesk(w, -h), toDesk(w, h), toDesk(-w, h)};
    }
};

double outside(cv::Point2d p, cv::Size size)
{
    const double dx = std::max({0.0, -p.x, p.x - (size.width - 1.0)});
    const double dy = std::max({0.0, -p.y, p.y - (size.height - 1.0)});
    return std::max(dx, dy);
}

bool clearOfEdge(cv::Point2d p, cv::Size size, double margin)
{
    return p.x >= margin && p.y >= margin && p.x <= size.width - 1 - margin && p.y <= size.height - 1 - margin;
}

// Point of the page (mm from its centre, flat) where it lies, curls
// included; `height` gets how far it is lifted.
cv::Point2d curled(cv::Point2d p, const std::vector<Curl>& curls, double* height)
{
    *height = 0;
    for (const Curl& c : curls) {
        const double s = p.dot(c.dir) - c.reach;
        if (s <= 0)
            continue;
        const double a = s / c.radius;
        p -= c.dir * (s - c.radius * std::sin(a));
        *height = std::max(*height, c.radius * (1 - std::cos(a)));
    }
    return p;
}

// Places the page so that its corners lie inside the picture (or one of
// them off it by 3-15% of the diagonal); moves the camera back when the
// page does not fit.
Placement placePage(const CameraScene::Options& o, cv::Size2d mm, DeskCamera& camera, SceneRandom& rng)
{
    Placement p;
    p.size = mm;
    p.angle = o.anyRotation ? rng.uniform(0, 2 * CV_PI) : rng.integer(0, 3) * CV_PI / 2 + rng.uniform(-0.26, 0.26);
    const cv::Size size = camera.size();
    auto projected = [&](const Placement& q) {
        std::vector<cv::Point2d> out;
        for (const cv::Point2d& c : q.corners())
            out.push_back(camera.project(c.x, c.y));
        return out;
    };
    for (int round = 0; round < 40; ++round) {
        for (int tries = 0; tries < 60; ++tries) {
            const cv::Point2d at(rng.uniform(0.2, 0.8) * size.width, rng.uniform(0.2, 0.8) * size.height);
            p.centre = camera.onDesk(at);
            bool inside = true;
            for (const cv::Point2d& c : projected(p))
                inside = inside && clearOfEdge(c, size, 3);
            if (!inside)
                continue;
            if (!o.cornerOut)
                return p;
            // Slide the page towards one corner until that corner is off
            // the frame, the other three staying clear of its edges.
            const int k = rng.integer(0, 3);
            const std::vector<cv::Point2d> flat = p.corners();
            const cv::Point2d dir = (flat[k] - p.centre) / cv::norm(flat[k] - p.centre);
            const std::vector<cv::Point2d> start = projected(p);
            const double want = rng.uniform(0.03, 0.15) * cv::norm(start[0] - start[2]);
            Placement moved = p;
            for (int step = 0; step < 400; ++step) {
                Placement next = moved;
                next.centre += dir * (0.005 * std::max(mm.width, mm.height));
                const std::vector<cv::Point2d> c = projected(next);
                bool othersClear = true;
                for (int i = 0; i < 4; ++i)
                    othersClear = othersClear && (i == k || clearOfEdge(c[i], size, 0.02 * std::min(size.width, size.height)));
                if (!othersClear)
                    break;
                moved = next;
                if (outside(c[k], size) >= want)
                    break;
            }
            if (outside(projected(moved)[k], size) > 1)
                return moved;
            return p;
        }
        camera.placeAt(camera.distance() * 1.05);
    }
    return p;
}

// The desk under the camera: drawn top-down on a canvas of millimetres and
// seen through the camera.
cv::Mat deskThroughCamera(const CameraScene::Options& o, const DeskCamera& camera, SceneRandom& rng)
{
    const cv::Size size = camera.size();
    std::vector<cv::Point2f> seen;
    for (int i = 0; i <= 4; ++i) {
        const double t = i / 4.0;
        for (const cv::Point2d& p : {cv::Point2d(t * size.width, 0), cv::Point2d(t * size.width, size.height),
                                     cv::Point2d(0, t * size.height), cv::Point2d(size.width, t * size.height)})
            seen.emplace_back(camera.onDesk(p));
    }
    cv::Rect2f box = cv::boundingRect(seen);
    box -= cv::Point2f(box.width * 0.05f, box.height * 0.05f);
    box += cv::Size2f(box.width * 0.1f, box.height * 0.1f);
    double scale = 1.4 * camera.focal() / camera.distance();  // canvas pixels per mm
    scale = std::min(scale, 3200.0 / std::max(box.width, box.height));
    const cv::Size canvasSize(std::max(16, static_cast<int>(box.width * scale)), std::max(16, static_cast<int>(box.height * scale)));
    cv::Mat canvas = DeskRenderer::render(o.desk, canvasSize, o.paper, rng);
    cv::GaussianBlur(canvas, canvas, cv::Size(0, 0), 0.7);
    // Where each picture pixel looks, on a coarse grid (the mapping is smooth).
    constexpr int kStep = 8;
    cv::Mat mx((size.height + kStep - 1) / kStep + 1, (size.width + kStep - 1) / kStep + 1, CV_32F), my(mx.size(), CV_32F);
    for (int y = 0; y < mx.rows; ++y)
        for (int x = 0; x < mx.cols; ++x) {
            const cv::Point2d d = camera.onDesk(cv::Point2d(x * kStep, y * kStep));
            mx.at<float>(y, x) = static_cast<float>((d.x - box.x) * scale);
            my.at<float>(y, x) = static_cast<float>((d.y - box.y) * scale);
        }
    cv::Mat fx, fy;
    cv::resize(mx, fx, cv::Size(mx.cols * kStep, mx.rows * kStep), 0, 0, cv::INTER_LINEAR);
    cv::resize(my, fy, fx.size(), 0, 0, cv::INTER_LINEAR);
    // resize puts sample k at k * kStep + (kStep - 1) / 2: shift back.
    const cv::Mat sx = (cv::Mat_<double>(2, 3) << 1, 0, (kStep - 1) / 2.0, 0, 1, (kStep - 1) / 2.0);
    cv::warpAffine(fx, fx, sx, size, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::warpAffine(fy, fy, sx, size, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    cv::Mat picture;
    cv::remap(canvas, picture, fx, fy, cv::INTER_LINEAR, cv::BORDER_REFLECT);
    return picture;
}

DeskObjects::Kind objectKind(bool withSheet, SceneRandom& rng)
{
    using K = DeskObjects::Kind;
    const K kinds[] = {K::Folder, K::Folder, K::Box, K::Box, K::Book, K::Book, K::Phone, K::Keyboard, K::Sheet, K::Sheet};
    return kinds[rng.integer(0, withSheet ? 9 : 7)];
}

// Hull of an item as the camera sees it (base and top).
std::vector<cv::Point2f> seenHull(const DeskObjects::Item& it, const DeskCamera& camera)
{
    std::vector<cv::Point2f> pts, hull;
    for (const cv::Point2d& c : DeskObjects::footprint(it)) {
        pts.emplace_back(camera.project(c.x, c.y));
        pts.emplace_back(camera.project(c.x, c.y, it.height));
    }
    cv::convexHull(pts, hull);
    return hull;
}

// Lays large objects on the desk: some partly under the page, the others
// clear of it (and of each other) in the picture.
std::vector<DeskObjects::Item> layObjects(const CameraScene::Options& o, const Placement* page, const DeskCamera& camera,
                                          SceneRandom& rng, std::string* description)
{
    std::vector<DeskObjects::Item> items;
    const bool empty = page == nullptr;
    const int count = empty ? rng.integer(2, 4) : rng.integer(1, 3);
    std::vector<cv::Point2f> pageSeen;
    std::vector<cv::Point2d> pageFoot;
    if (page) {
        pageFoot = page->corners();
        for (const cv::Point2d& c : pageFoot)
            pageSeen.emplace_back(camera.project(c.x, c.y));
    }
    const cv::Size size = camera.size();
    bool under = false;
    for (int n = 0; n < count; ++n) {
        const DeskObjects::Kind kind = objectKind(!empty, rng);
        DeskObjects::Item it = DeskObjects::make(kind, o.paper, rng);
        const bool flat = kind == DeskObjects::Kind::Folder || kind == DeskObjects::Kind::Sheet || kind == DeskObjects::Kind::Book;
        const double pageArea = page ? page->size.area() : 0;
        bool placed = false;
        if (page && flat && !under && rng.chance(0.7)) {
            // Partly under the page; a folder may also hold the page whole.
            if (kind == DeskObjects::Kind::Book)
                it.height = rng.uniform(5, 12);
            if (kind == DeskObjects::Kind::Sheet && it.size.area() > pageArea)
                it.size = page->size;
            const bool holds = kind == DeskObjects::Kind::Folder && it.size.area() > 1.2 * pageArea && rng.chance(0.35);
            it.angle = page->angle + rng.uniform(-0.5, 0.5);
            for (int tries = 0; tries < 80 && !placed; ++tries) {
                const double a = rng.uniform(0, 2 * CV_PI);
                const double reach = (holds ? rng.uniform(0, 0.15) : rng.uniform(0.3, 0.9)) * 0.5
                    * (std::max(it.size.width, it.size.height) + std::max(page->size.width, page->size.height));
                it.centre = page->centre + cv::Point2d(std::cos(a), std::sin(a)) * reach;
                const double shared = overlapArea(DeskObjects::footprint(it), pageFoot);
                const double share = shared / it.size.area();
                placed = holds ? shared > 0.995 * pageArea : (share > 0.1 && share < 0.6);
            }
            if (placed) {
                under = true;
                *description += std::string(", ") + DeskObjects::name(kind) + (holds ? " holding the page" : " under the page");
            }
        }
        if (!placed) {
            if (kind == DeskObjects::Kind::Sheet) {
                // Beside the page, a sheet is the smaller one.
                const double k = page ? rng.uniform(0.55, 0.8) : 1.0;
                it.size = page ? cv::Size2d(page->size.width * k, page->size.height * k) : it.size;
            }
            for (int tries = 0; tries < 60 && !placed; ++tries) {
                it.centre = camera.onDesk(cv::Point2d(rng.uniform(-0.1, 1.1) * size.width, rng.uniform(-0.1, 1.1) * size.height));
                it.angle = rng.chance(0.5) && page ? page->angle + rng.uniform(-0.2, 0.2) : rng.uniform(0, CV_PI);
                const std::vector<cv::Point2f> hull = seenHull(it, camera);
                std::vector<cv::Point2f> inter;
                // Must show at least a fifth of itself.
                const cv::Point2f frame[4] = {{0, 0}, {float(size.width), 0}, {float(size.width), float(size.height)}, {0, float(size.height)}};
                const double shown = cv::intersectConvexConvex(hull, std::vector<cv::Point2f>(frame, frame + 4), inter, true);
                if (shown < 0.2 * cv::contourArea(hull))
                    continue;
                bool clear = pageSeen.empty() || cv::intersectConvexConvex(hull, pageSeen, inter, true) <= 0;
                for (const DeskObjects::Item& other : items)
                    clear = clear && cv::intersectConvexConvex(hull, seenHull(other, camera), inter, true) <= 0;
                placed = clear;
            }
            if (placed)
                *description += std::string(", ") + DeskObjects::name(kind);
        }
        if (placed)
            items.push_back(it);
    }
    // Flat things first: what lies under the page is painted before it.
    std::stable_sort(items.begin(), items.end(),
                     [](const DeskObjects::Item& a, const DeskObjects::Item& b) { return a.height < b.height; });
    return items;
}

} // namespace

cv::Size2d CameraScene::pageSize(PageRenderer::Kind kind, double aspect)
{
    using K = PageRenderer::Kind;
    switch (kind) {
    case K::A4: return cv::Size2d(210, 297);
    case K::Letter: return cv::Size2d(215.9, 279.4);
    case K::A5: return cv::Size2d(148, 210);
    case K::Receipt: return cv::Size2d(80, 80 * aspect);
    case K::Card: return cv::Size2d(54, 85.6);
    case K::BankCard:
    case K::IdCard: return cv::Size2d(85.6, 54);
    }
    return cv::Size2d(210, 297);
}

void CameraScene::render(const Options& o, double aspect, cv::Size size, SceneRandom& rng, Scene* scene)
{
    DeskCamera camera = DeskCamera::random(size, o.maxTiltDeg, 0.02, rng);
    const cv::Size2d mm = pageSize(o.page, aspect);
    const double wanted = rng.uniform(o.areaLo, o.areaHi) * size.area();
    camera.placeAt(camera.focal() * std::sqrt(mm.area() / wanted));
    const Placement page = placePage(o, mm, camera, rng);
    const double angle = rng.uniform(0, 2 * CV_PI);
    const cv::Point2d light(std::cos(angle), std::sin(angle));

    cv::Mat img = deskThroughCamera(o, camera, rng);
    bool onSomething = false;
    if (o.setting == Setting::Objects || o.setting == Setting::EmptyObjects) {
        std::string objects;
        for (const DeskObjects::Item& it : layObjects(o, o.hasPage ? &page : nullptr, camera, rng, &objects)) {
            DeskObjects::paint(img, it, camera, light);
            onSomething = onSomething || (o.hasPage && overlapArea(DeskObjects::footprint(it), page.corners()) > 0);
        }
        scene->description += objects;
    }
    scene->throughCamera = true;
    scene->camera = camera;
    if (!o.hasPage) {
        scene->rgb = img;
        return;
    }

    // Curled corners: one, two or all four, a little.
    std::vector<Curl> curls;
    if (o.setting == Setting::Curled) {
        const int n = rng.chance(0.4) ? 1 : (rng.chance(0.6) ? 2 : 4);
        const int first = rng.integer(0, 3);
        for (int i = 0; i < n; ++i) {
            const int k = n == 2 && rng.chance(0.5) ? (first + 2 * i) % 4 : (first + i) % 4;
            const double sx = (k == 1 || k == 2) ? 1 : -1, sy = k >= 2 ? 1 : -1;
            const double turn = rng.uniform(-0.3, 0.3);
            const cv::Point2d bis(sx / std::sqrt(2.0), sy / std::sqrt(2.0));
            Curl c;
            c.dir = cv::Point2d(bis.x * std::cos(turn) - bis.y * std::sin(turn), bis.x * std::sin(turn) + bis.y * std::cos(turn));
            const double corner = cv::Point2d(sx * mm.width / 2, sy * mm.height / 2).dot(c.dir);
            const double fold = rng.uniform(0.05, 0.12) * std::min(mm.width, mm.height);
            c.reach = corner - fold;
            c.radius = fold * rng.uniform(0.75, 1.2);
            curls.push_back(c);
        }
        scene->description += ", " + std::to_string(n) + (n == 1 ? " corner" : " corners") + " curled";
    }

    // The sheet's faint shadow, and the deeper one under a lifted corner.
    // A sheet lying on another, or on a folder, never lies quite flat.
    if (o.desk == DeskRenderer::Kind::White || rng.chance(0.3) || onSomething) {
        std::vector<cv::Point2d> shade;
        for (const cv::Point2d& c : page.corners())
            shade.push_back(c + light * 1.5);
        castShadow(img, shade, camera, rng.uniform(0.03, 0.1), 1.5);
    }
    if (onSomething) {
        // Where it lies on another sheet or a folder, its rim shows all
        // round as a thin dark line.
        std::vector<cv::Point> rim;
        for (const cv::Point2d& c : page.corners()) {
            const cv::Point2d p = camera.project(c.x, c.y);
            rim.emplace_back(cvRound(p.x * 16), cvRound(p.y * 16));
        }
        cv::Mat line(img.size(), CV_8U, cv::Scalar(0));
        cv::polylines(line, std::vector<std::vector<cv::Point>>{rim}, true, cv::Scalar(255), 2, cv::LINE_AA, 4);
        const double depth = rng.uniform(0.06, 0.15);
        for (int y = 0; y < img.rows; ++y) {
            cv::Vec3b* p = img.ptr<cv::Vec3b>(y);
            const uchar* l = line.ptr<uchar>(y);
            for (int x = 0; x < img.cols; ++x)
                for (int c = 0; c < 3 && l[x]; ++c)
                    p[x][c] = cv::saturate_cast<uchar>(p[x][c] * (1 - depth * l[x] / 255.0));
        }
    }
    for (const Curl& c : curls) {
        // The desk under a lifted corner: the page beyond the fold line.
        const double w = mm.width / 2, h = mm.height / 2;
        const cv::Point2d sheet[4] = {{-w, -h}, {w, -h}, {w, h}, {-w, h}};
        std::vector<cv::Point2d> under;
        for (int i = 0; i < 4; ++i) {
            const cv::Point2d a = sheet[i], b = sheet[(i + 1) % 4];
            const double da = a.dot(c.dir) - c.reach, db = b.dot(c.dir) - c.reach;
            if (da > 0)
                under.push_back(page.toDesk(a.x, a.y));
            if ((da > 0) != (db > 0)) {
                const cv::Point2d cut = a + (b - a) * (da / (da - db));
                under.push_back(page.toDesk(cut.x, cut.y));
            }
        }
        if (under.size() >= 3)
            castShadow(img, under, camera, rng.uniform(0.1, 0.25), 2.5);
    }

    // The sheet itself, printed a little finer than it shows.
    std::vector<cv::Point2d> flat;
    for (const cv::Point2d& c : page.corners())
        flat.push_back(camera.project(c.x, c.y));
    const double shown = std::max(cv::norm(flat[0] - flat[3]), cv::norm(flat[1] - flat[2]));
    const int ph = std::clamp(static_cast<int>(shown * 1.3), 64, 2400);
    const int pw = std::max(16, static_cast<int>(std::lround(ph * mm.width / mm.height)));
    SceneRandom pageRng(rng.next());
    cv::Mat face = PageRenderer::render(o.page, cv::Size(pw, ph), o.paper, pageRng);
    auto pageMm = [&](double u, double v) {
        return cv::Point2d(((u + 0.5) / pw - 0.5) * mm.width, ((v + 0.5) / ph - 0.5) * mm.height);
    };
    if (!curls.empty()) {
        // A lifted corner turns from the light or towards it.
        const double shade = rng.uniform(-0.1, 0.3);
        for (int y = 0; y < face.rows; ++y)
            for (int x = 0; x < face.cols; ++x) {
                double lift;
                curled(pageMm(x, y), curls, &lift);
                if (lift > 0) {
                    const double bend = std::min(1.0, lift / curls[0].radius);
                    cv::Vec3b& p = face.at<cv::Vec3b>(y, x);
                    for (int c = 0; c < 3; ++c)
                        p[c] = cv::saturate_cast<uchar>(p[c] * (1 - shade * bend));
                }
            }
    }
    const std::vector<double> cuts = curls.empty() ? mesh_painter::cuts(12) : mesh_painter::cuts(24, 8, 0.12);
    mesh_painter::paint(img, face,
                        [&](double u, double v) {
                            double lift;
                            const cv::Point2d p = curled(pageMm(u, v), curls, &lift);
                            const cv::Point2d d = page.toDesk(p.x, p.y);
                            return camera.project(d.x, d.y, lift);
                        },
                        cuts, cuts);
    scene->rgb = img;

    // Truth: the flat sheet's corners as the camera shows them, and the
    // page frame through the pinhole (undistorted picture points).
    const double c = std::cos(page.angle), s = std::sin(page.angle);
    const cv::Matx33d textureToPage(mm.width / pw, 0, (0.5 / pw - 0.5) * mm.width, 0, mm.height / ph, (0.5 / ph - 0.5) * mm.height, 0, 0, 1);
    const cv::Matx33d pageToDesk(c, -s, page.centre.x, s, c, page.centre.y, 0, 0, 1);
    scene->pageToImage = camera.deskToPinhole() * pageToDesk * textureToPage;
    scene->pageSize = cv::Size2d(pw, ph);
    for (int i = 0; i < 4; ++i)
        scene->truth.p[i] = cv::Point2f(flat[i]);
    scene->aspect = mm.width / mm.height;
}
