// Page detection quality on fixed synthetic scenes; thresholds are measured
// results with a margin.

#include "card_by_tint.h"
#include "content_outliner.h"
#include "desk_tint.h"
#include "edge_sampler.h"
#include "evaluation.h"
#include "library_detector.h"
#include "imageproc.h"
#include "page_grower.h"
#include "page_warper.h"
#include "preview_tracker.h"
#include "quad_metrics.h"
#include "scene_generator.h"
#include "staged_scenes.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

Q_DECLARE_METATYPE(cv::Vec3d)
Q_DECLARE_METATYPE(staged_scenes::Kind)

namespace {

// The page a preview of 480x270 shows at (100,100)-(300,250), moved by d.
Quad previewPage(QPointF d = {})
{
    const float x0 = float(100 + d.x()), y0 = float(100 + d.y()), x1 = x0 + 200, y1 = y0 + 150;
    return Quad{{cv::Point2f(x0, y0), cv::Point2f(x1, y0), cv::Point2f(x1, y1), cv::Point2f(x0, y1)}};
}

// The library's outline of `scene` compared with the page, in the page's
// own frame; false when nothing is found.
bool foundIou(const Scene& scene, double* iou)
{
    Quad found;
    if (!findWithLibrary(scene.rgb, &found))
        return false;
    // Only a scene taken through the lens has its picture to undistort.
    if (scene.throughCamera) {
        for (cv::Point2f& p : found.p)
            p = cv::Point2f(scene.camera.undistort(cv::Point2d(p)));
    }
    *iou = quad_metrics::iouInPageFrame(found, scene.pageToImage, scene.pageSize);
    return true;
}

// A 240x160 desk of orange wood grain (stripes a little lighter and
// darker), its right half in shade when `shaded`, with a purple card drawn
// as the polygon `card` (none when empty); as the search's planes.
cv::Mat tintDesk(const std::vector<cv::Point>& card, bool shaded)
{
    cv::Mat rgb(160, 240, CV_8UC3);
    for (int y = 0; y < rgb.rows; ++y)
        for (int x = 0; x < rgb.cols; ++x) {
            const double grain = (x / 3 + y / 7) % 2 ? 1.0 : 0.85, shade = shaded && x >= 120 ? 0.5 : 1.0;
            rgb.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(200 * grain * shade),
                                                cv::saturate_cast<uchar>(130 * grain * shade),
                                                cv::saturate_cast<uchar>(60 * grain * shade));
        }
    if (!card.empty())
        cv::fillConvexPoly(rgb, card, cv::Scalar(120, 40, 170));
    cv::Mat planes, sat;
    EdgeSampler::makePlanes(rgb, &planes, &sat);
    return planes;
}

} // namespace

class ImageProcDetection : public QObject {
    Q_OBJECT
    std::vector<Evaluation::SceneResult> m_results;

private slots:
    void initTestCase()
    {
        // The classic scenes of the regression set (the first 60), and one
        // block of desks with large objects and no page.
        for (int i = 0; i < 400; ++i) {
            const Setting setting = SceneGenerator::settingOf(i);
            if ((setting == Setting::Classic && i < 360) || (setting == Setting::EmptyObjects && i < 100))
                m_results.push_back(Evaluation::judge(SceneGenerator::make(SceneGenerator::kRegressionSeed, i), i,
                                                      findWithLibrary));
        }
        qInfo("\n%s", Evaluation::report(m_results).c_str());
    }

    void regressionSet_meetsThresholds_perStratum_data()
    {
        QTest::addColumn<int>("stratum");
        QTest::addColumn<double>("minMeanIou");
        QTest::addColumn<double>("maxPoorShare");
        QTest::addColumn<double>("maxCornerP95");
        // Measured on the classic scenes of this set: easy 0.9966 / 0% /
        // 0.09%, moderate 0.9950 / 0% / 0.18%, hard 0.9754 / 8.3% / 3.3%
        // (12 pages: one scene moves the share by 8%, and the 95th
        // percentile is the worst page's corner).
        QTest::newRow("easy") << int(Stratum::Easy) << 0.99 << 0.05 << 0.003;
        QTest::newRow("moderate") << int(Stratum::Moderate) << 0.985 << 0.05 << 0.004;
        QTest::newRow("hard") << int(Stratum::Hard) << 0.965 << 0.09 << 0.05;
    }

    void regressionSet_meetsThresholds_perStratum()
    {
        QFETCH(int, stratum);
        QFETCH(double, minMeanIou);
        QFETCH(double, maxPoorShare);
        QFETCH(double, maxCornerP95);
        Evaluation::Filter classic;
        classic.stratum = stratum;
        classic.setting = int(Setting::Classic);
        const Evaluation::Summary s = Evaluation::summarize(m_results, classic);
        QVERIFY(s.pages > 0);
        QVERIFY2(s.meanIou >= minMeanIou, qPrintable(QString("mean IoU %1").arg(s.meanIou)));
        QVERIFY2(s.poorShare <= maxPoorShare, qPrintable(QString("IoU < 0.9 in %1").arg(s.poorShare)));
        QVERIFY2(s.cornerP95 <= maxCornerP95, qPrintable(QString("corner p95 %1").arg(s.cornerP95)));
    }

    void regressionSet_drawsNoOutline_withoutPage_data()
    {
        QTest::addColumn<int>("setting");
        QTest::addColumn<int>("maxFalseOutlines");
        // Measured: none on the classic desks, none on the 20 desks with
        // large objects (two of them hold labels on folders the frame cuts).
        QTest::newRow("classic desks") << int(Setting::Classic) << 0;
        QTest::newRow("desks with folders, boxes, books, keyboards") << int(Setting::EmptyObjects) << 0;
    }

    void regressionSet_drawsNoOutline_withoutPage()
    {
        QFETCH(int, setting);
        QFETCH(int, maxFalseOutlines);
        Evaluation::Filter f;
        f.setting = setting;
        const Evaluation::Summary s = Evaluation::summarize(m_results, f);
        QVERIFY(s.empty >= 5);
        QVERIFY2(s.falseOutlines <= maxFalseOutlines, qPrintable(QString("%1 outlines").arg(s.falseOutlines)));
    }

    void stagedDesk_outlinesTheDocumentOnly_data()
    {
        QTest::addColumn<staged_scenes::Kind>("kind");
        using K = staged_scenes::Kind;
        QTest::newRow("page beside a saturated folder and a red box") << K::PageBesideSaturatedFolder;
        QTest::newRow("page on a dark book cover's edge") << K::PageOnDarkBookEdge;
        QTest::newRow("two sheets, a finger on the larger: the larger one is the page") << K::TwoSheets;
        QTest::newRow("empty desk with coloured boxes: no outline") << K::EmptyDeskWithBoxes;
        QTest::newRow("empty desk with a white keyboard: no outline") << K::EmptyDeskWithWhiteKeyboard;
        QTest::newRow("bank card alone on a desk") << K::CardAlone;
    }

    void stagedDesk_outlinesTheDocumentOnly()
    {
        QFETCH(staged_scenes::Kind, kind);
        const Scene scene = staged_scenes::make(kind);
        double iou = 0;
        const bool ok = foundIou(scene, &iou);
        QCOMPARE(ok, scene.hasPage);
        if (ok)
            QVERIFY2(iou >= 0.95, qPrintable(QString("IoU %1 with the page").arg(iou)));
    }

    void developmentScene_outlinesTheDocumentOnly_data()
    {
        // Development scenes (of either tuning set) of a page lying partly
        // over a second sheet, where the search outlined both sheets as one;
        // desks without a page, where a white label on a folder, a keyboard
        // or a book cover was taken for one; and cards it did not see.
        QTest::addColumn<uint>("seed");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("shows");
        const uint dev = SceneGenerator::kDevelopmentSeed;
        const uint second = SceneGenerator::kSecondDevelopmentSeed;
        const QString under = QStringLiteral("second sheet under the page");
        QTest::newRow("Letter page over a sheet beside it, fabric desk") << dev << 301 << under;
        QTest::newRow("A5 page over a second sheet, dark desk") << dev << 906 << under;
        QTest::newRow("A4 page over a sheet, phone beside, tilted camera") << dev << 1151 << under;
        QTest::newRow("A4 page over a sheet, dark book beside, fabric desk") << dev << 542 << under;
        QTest::newRow("Letter page over a brighter sheet, its side there a faint step, fabric desk") << dev << 783 << under;
        QTest::newRow("A4 page over a sheet, its side there a faint step, dark desk") << dev << 67 << under;
        QTest::newRow("A4 page partly in shade over a sheet, the outline around both showing well, wood desk") << dev << 312 << under;
        QTest::newRow("A5 page partly in shade over a sheet, the outline around both showing well, cluttered desk") << dev << 433 << under;
        QTest::newRow("A4 page over a sheet, its side there bordering the sheet's pictures, dark desk") << dev << 667 << under;
        QTest::newRow("A4 page over a sheet, a box and the frame where the desk around is read, blue fabric desk")
            << dev << 541 << under;
        QTest::newRow("A4 page over a sheet, its side there too faint for any outline to convince, wood desk")
            << dev << 1153 << under;
        QTest::newRow("Letter page over a sheet, its side there too faint for any outline to convince, dark desk")
            << second << 663 << under;
        QTest::newRow("A5 page over a sheet at the frame's edge, a smaller sheet cut by the frame convincing, dark desk")
            << dev << 1146 << under;
        QTest::newRow("A4 page over a sheet, a column of its print convincing, box and phone beside, cluttered desk")
            << dev << 191 << under;
        QTest::newRow("receipt over a sheet, its lower half convincing, grey desk") << second << 678 << under;
        QTest::newRow("receipt over sheets, only the crowded desk's proposals convincing, fabric desk")
            << dev << 552 << under;
        QTest::newRow("A5 page over a sheet, an outline around its coloured picture strip convincing, wood desk")
            << second << 782 << under;
        QTest::newRow("A4 page in part shaded over a sheet the frame cuts, the outline around both nearly as good, fabric desk")
            << dev << 189 << under;
        QTest::newRow("A4 page over a sheet the frame cuts, its side there only a step between two shades, wood desk")
            << dev << 556 << under;
        QTest::newRow("A4 page over a sheet, its side there only a step between two shades, folder beside, fabric desk")
            << second << 60 << under;
        QTest::newRow("A4 page over a sheet, the pick cut short along a row of its print, box beside, wood desk")
            << dev << 430 << under;
        QTest::newRow("A4 page over a sheet, the pick's side cut through the page's picture, cluttered desk")
            << dev << 912 << under;
        QTest::newRow("Letter page over a sheet, its rim there broken by the sheet's table print, book beside, dark desk")
            << dev << 553 << under;
        QTest::newRow("A4 page over a sheet, its rim there faint and broken, keyboard beside, wood desk") << second << 672
                                                                                                     << under;
        QTest::newRow("A4 page over a sheet, its rim there faint and broken, finger, shadow, wood desk") << second << 798
                                                                                                    << under;
        QTest::newRow("receipt over a folder's edge, the pick cut short along the shade line there, fabric desk")
            << second << 188 << QStringLiteral("folder under the page");
        QTest::newRow("Letter page with a curled corner on a white desk, its edges faint and nothing else convincing")
            << second << 417 << QStringLiteral("white desk");
        QTest::newRow("Letter page on a white desk, a corner off the frame, one side showing no edge at all")
            << dev << 736 << QStringLiteral("white desk");
        QTest::newRow("A4 page with two corners curled on a white desk, a faint grain past its edge") << dev << 896
                                                                                                  << QStringLiteral("white desk");
        QTest::newRow("receipt under a finger on a white desk, a faint grain past its edge") << second << 18
                                                                                           << QStringLiteral("white desk");
        QTest::newRow("A4 page on a white desk, tilted camera, the pick's side found along a row of its print")
            << second << 39 << QStringLiteral("white desk");
        QTest::newRow("A5 page on a fabric desk, a strip of the desk below it taken for a card's band")
            << second << 243 << QStringLiteral("fabric desk");
        const QString onFolder = QStringLiteral("folder under the page");
        QTest::newRow("A4 page over a green folder, no outline convincing but the crowded desk's, fabric desk")
            << second << 1027 << onFolder;
        QTest::newRow("receipt over a folder beside another, no outline convincing but the crowded desk's, grey desk")
            << second << 796 << onFolder;
        const QString onBook = QStringLiteral("book under the page");
        QTest::newRow("A4 page over a dark book the frame cuts, the pick taking in part of the book, wood desk")
            << dev << 437 << onBook;
        QTest::newRow("A5 page over a book, the pick running on over a keyboard beside, fabric desk") << dev << 1147
                                                                                                    << onBook;
        QTest::newRow("Letter page partly over a folder, the outline around both card-shaped, fabric desk") << dev << 916
                                                                                                          << onFolder;
        // ...and where much of the pick is no bright paper for other reasons:
        // the whole sheet stands.
        QTest::newRow("card with a broad band and a picture, shadow, grey desk") << second << 19
                                                                                 << QStringLiteral("card");
        QTest::newRow("A4 page with a shadow across it, grey desk") << 16180339u << 614 << QStringLiteral("shadow");
        const QString folder = QStringLiteral("folder");
        QTest::newRow("no page: label on a folder the frame cuts, dark desk") << dev << 563 << folder;
        QTest::newRow("no page: label on a folder the frame cuts, coloured fabric desk") << dev << 926 << folder;
        QTest::newRow("no page: label on a folder lying whole in the picture, white desk") << dev << 1179 << folder;
        QTest::newRow("no page: long label, a tenth of the picture, on a green folder, wood desk") << dev << 1058 << folder;
        QTest::newRow("no page: label on a folder between two books, cluttered desk") << dev << 695 << folder;
        QTest::newRow("no page: orange folder with a label, the frame cutting it, dark fabric desk") << second << 88
                                                                                                   << folder;
        QTest::newRow("no page: folder with a label beside a book, fabric desk") << dev << 572 << folder;
        QTest::newRow("no page: a label with part of the red folder it is on, beside a box, wood desk") << second << 680
                                                                                                       << folder;
        QTest::newRow("no page: a label with part of a teal folder beside a magenta one, grey desk") << second << 211
                                                                                                     << folder;
        const QString keyboard = QStringLiteral("keyboard");
        QTest::newRow("no page: dark keyboard beside another and a box, dark desk") << dev << 800 << keyboard;
        QTest::newRow("no page: keyboard beside a folder, wood desk") << dev << 905 << keyboard;
        QTest::newRow("no page: a block of a white keyboard's keys, books beside, dark desk") << dev << 934 << keyboard;
        QTest::newRow("no page: a block of eleven white keys, a folder and a phone beside, dark desk") << second << 305
                                                                                                     << keyboard;
        QTest::newRow("no page: a block of white keys beside a box and another keyboard, grey desk") << second << 339
                                                                                                     << keyboard;
        QTest::newRow("no page: three dark green books, purple fabric desk") << dev << 435 << QStringLiteral("book");
        QTest::newRow("no page: a book's title and a phone's rim taken for print, white desk") << dev << 219
                                                                                             << QStringLiteral("phone");
        // A coloured card alone, its edges lost in a grained desk or under
        // a finger's shadow, shows its colour plainly.
        const QString bankCard = QStringLiteral("bank card");
        QTest::newRow("purple bank card, finger, shadow, wood desk") << dev << 592 << bankCard;
        QTest::newRow("bank card, finger, shadow, white desk") << dev << 597 << bankCard;
        QTest::newRow("bank card, tilted camera, shadow, wood desk") << second << 239 << bankCard;
        QTest::newRow("bank card with a corner off the frame, near the lens's most bent corner, dark desk") << second << 702
                                                                                                         << bankCard;
        QTest::newRow("bank card whose sides show whole only among the crowded desk's outlines, wood desk")
            << second << 106 << bankCard;
        QTest::newRow("bank card with little print, tilted camera, white desk") << second << 357 << bankCard;
        // A book or a folder of a card's proportions is no card beside the
        // other things on the desk, outlined or not.
        QTest::newRow("no page: dark book beside a red folder the frame cuts, purple fabric desk") << second << 207
                                                                                                 << folder;
        QTest::newRow("no page: book beside a box and another book, wood desk") << second << 217
                                                                                 << QStringLiteral("book");
    }

    void developmentScene_outlinesTheDocumentOnly()
    {
        QFETCH(uint, seed);
        QFETCH(int, index);
        QFETCH(QString, shows);
        const Scene scene = SceneGenerator::make(seed, index);
        QVERIFY(scene.description.find(shows.toStdString()) != std::string::npos);
        double iou = 0;
        QCOMPARE(foundIou(scene, &iou), scene.hasPage);
        if (scene.hasPage)
            QVERIFY2(iou >= 0.95, qPrintable(QString("IoU %1 with the page").arg(iou)));
    }

    void developmentScene_findsWhitePageFromItsPrintWhenThePickIsNoPaper_data()
    {
        // White desks where the search's pick was overruled as no paper and
        // nothing else was paper: the page, its edges faint, showed only to
        // the outline found from its print outwards. Curled corners and a
        // finger bend its sides, so the outline is looser than elsewhere.
        QTest::addColumn<uint>("seed");
        QTest::addColumn<int>("index");
        QTest::newRow("A4 page, four corners curled, a corner off the frame, finger") << 2024u << 539;
        QTest::newRow("Letter page, one corner curled, finger") << 60221407u << 1137;
    }

    void developmentScene_findsWhitePageFromItsPrintWhenThePickIsNoPaper()
    {
        QFETCH(uint, seed);
        QFETCH(int, index);
        const Scene scene = SceneGenerator::make(seed, index);
        QVERIFY(scene.hasPage && scene.description.find("white desk") != std::string::npos);
        double iou = 0;
        QVERIFY(foundIou(scene, &iou));
        QVERIFY2(iou >= 0.85, qPrintable(QString("IoU %1 with the page").arg(iou)));
    }

    void cardByTint_proposesWholeRectangularPatch_data()
    {
        // The card's polygon on the desk, and whether its rectangle is
        // proposed.
        QTest::addColumn<QVector<QPoint>>("card");
        QTest::addColumn<bool>("proposed");
        QTest::newRow("card lying square") << QVector<QPoint>{{60, 40}, {146, 40}, {146, 94}, {60, 94}} << true;
        QTest::newRow("card turned") << QVector<QPoint>{{70, 30}, {150, 50}, {138, 102}, {58, 82}} << true;
        QTest::newRow("patch cut by the frame") << QVector<QPoint>{{0, 40}, {86, 40}, {86, 94}, {0, 94}} << false;
        QTest::newRow("triangle, no rectangle") << QVector<QPoint>{{60, 30}, {160, 30}, {60, 120}} << false;
        QTest::newRow("speck, too small") << QVector<QPoint>{{100, 70}, {110, 70}, {110, 76}, {100, 76}} << false;
        QTest::newRow("empty desk") << QVector<QPoint>{} << false;
    }

    void cardByTint_proposesWholeRectangularPatch()
    {
        QFETCH(QVector<QPoint>, card);
        QFETCH(bool, proposed);
        std::vector<cv::Point> polygon;
        for (const QPoint& p : card)
            polygon.emplace_back(p.x(), p.y());
        const cv::Mat planes = tintDesk(polygon, false);
        const DeskTint tint(planes);
        Quad q;
        QCOMPARE(CardByTint(tint).propose(&q), proposed);
        if (proposed) {
            Quad truth;
            for (int i = 0; i < 4; ++i)
                truth.p[i] = cv::Point2f(polygon[i]);
            QVERIFY2(quad_geometry::cornerDistance(quad_geometry::ordered(q), quad_geometry::ordered(truth)) <= 3,
                     "corners more than 3 pixels off");
        }
    }

    void pageGrower_growsPartOfASheetToItsEnd_data()
    {
        // A sheet on a dark desk, 120 wide, from y 20 down to `sheetEnd`
        // (150: cut by the frame); the pick is its upper part down to
        // `pickEnd`. Below the pick the paper has `belowLevel` and
        // `belowSat`; a dark picture `printRows` high lies across it just
        // below the pick, clear of the margins. `grownTo`: where the pick's
        // lower side grows to, or 0 for no growth.
        QTest::addColumn<int>("sheetEnd");
        QTest::addColumn<int>("pickEnd");
        QTest::addColumn<int>("belowLevel");
        QTest::addColumn<int>("belowSat");
        QTest::addColumn<int>("printRows");
        QTest::addColumn<int>("grownTo");
        QTest::newRow("half a sheet, cut along a row of print") << 140 << 80 << 220 << 5 << 0 << 138;
        QTest::newRow("the part beyond in shade, over a folder's edge") << 140 << 80 << 160 << 5 << 0 << 138;
        QTest::newRow("the part beyond too dark for paper") << 140 << 80 << 120 << 5 << 0 << 0;
        QTest::newRow("the part beyond coloured: a folder, not paper") << 140 << 80 << 200 << 90 << 0 << 0;
        QTest::newRow("paper going on to the frame's edge") << 150 << 80 << 220 << 5 << 0 << 0;
        QTest::newRow("pick of an A4 sheet's proportions is whole") << 140 << 105 << 220 << 5 << 0 << 0;
        QTest::newRow("pick reaching the sheet's end") << 140 << 140 << 220 << 5 << 0 << 0;
        // 120 x 83: A4's proportions, short of Letter's by more than the
        // walk's misses.
        QTest::newRow("picture cut by the pick: A4 sheet completed along its margins") << 103 << 80 << 220 << 5 << 15
                                                                                     << 104;
        QTest::newRow("picture cut by the pick, paper ending short of a sheet") << 95 << 80 << 220 << 5 << 10 << 0;
        QTest::newRow("picture cut by the pick on a folder: no paper along the margins") << 103 << 80 << 200 << 90
                                                                                          << 15 << 0;
    }

    void pageGrower_growsPartOfASheetToItsEnd()
    {
        QFETCH(int, sheetEnd);
        QFETCH(int, pickEnd);
        QFETCH(int, belowLevel);
        QFETCH(int, belowSat);
        QFETCH(int, printRows);
        QFETCH(int, grownTo);
        cv::Mat closed(150, 200, CV_8U, cv::Scalar(60)), sat(150, 200, CV_8U, cv::Scalar(40));
        const int sheetBottom = std::min(sheetEnd, closed.rows);
        closed(cv::Rect(40, 20, 120, sheetBottom - 20)).setTo(cv::Scalar(220));
        sat(cv::Rect(40, 20, 120, sheetBottom - 20)).setTo(cv::Scalar(5));
        if (pickEnd < sheetBottom) {
            closed(cv::Rect(40, pickEnd, 120, sheetBottom - pickEnd)).setTo(cv::Scalar(belowLevel));
            sat(cv::Rect(40, pickEnd, 120, sheetBottom - pickEnd)).setTo(cv::Scalar(belowSat));
        }
        if (printRows > 0)
            closed(cv::Rect(55, pickEnd, 90, printRows)).setTo(cv::Scalar(80));
        // 120 x 85: A4's proportions.
        const Quad pick{{cv::Point2f(40, 20), cv::Point2f(159, 20), cv::Point2f(159, float(pickEnd - 1)),
                         cv::Point2f(40, float(pickEnd - 1))}};
        const std::vector<Quad> grown = PageGrower(closed, sat, 220).grown(pick);
        if (grownTo == 0) {
            QVERIFY2(grown.empty(), "grown though it should not be");
            return;
        }
        QCOMPARE(int(grown.size()), 1);
        for (int i : {2, 3})
            QVERIFY2(std::abs(grown[0].p[i].y - grownTo) <= 3,
                     qPrintable(QString("lower corner at y %1, not %2").arg(grown[0].p[i].y).arg(grownTo)));
    }

    void contentOutliner_placesAnUnseenSideByTheOneOpposite_data()
    {
        // A sheet (205) at (40,30)-(160,120) on a desk one shade darker
        // (200), printed with rows from 50 to 150 across, 40 to 112 down.
        // Sides listed in `unseen` have the sheet's shade beyond them: the
        // rows' ragged ends leave nothing there to take for an edge.
        QTest::addColumn<QString>("unseen");
        QTest::addColumn<bool>("proposed");
        QTest::addColumn<bool>("inferred");
        QTest::newRow("every side a step") << QString() << true << false;
        QTest::newRow("right side no edge: as far out as the left") << QStringLiteral("right") << true << true;
        QTest::newRow("left side no edge: as far out as the right") << QStringLiteral("left") << true << true;
        QTest::newRow("two sides no edge") << QStringLiteral("left right") << false << false;
    }

    void contentOutliner_placesAnUnseenSideByTheOneOpposite()
    {
        QFETCH(QString, unseen);
        QFETCH(bool, proposed);
        QFETCH(bool, inferred);
        cv::Mat grey(150, 200, CV_8U, cv::Scalar(200));
        const cv::Rect sheet(40, 30, 120, 90);
        cv::Rect paper = sheet;
        if (unseen.contains("right"))
            paper.width = grey.cols - paper.x;
        if (unseen.contains("left")) {
            paper.width += paper.x;
            paper.x = 0;
        }
        grey(paper).setTo(cv::Scalar(205));
        // Centred rows of words, the longest 100 wide, softened as the
        // small picture shows them.
        for (int row = 0; row < 12; ++row) {
            const int half = 50 - (row * 13) % 30;
            for (int x = 100 - half; x < 100 + half; x += 16)
                grey(cv::Rect(x, 40 + 6 * row, std::min(12, 100 + half - x), 2)).setTo(cv::Scalar(100));
        }
        cv::GaussianBlur(grey, grey, cv::Size(3, 3), 0);
        Quad q;
        ContentOutliner::Evidence evidence;
        QCOMPARE(ContentOutliner(grey).propose(&q, &evidence), proposed);
        if (!proposed)
            return;
        QCOMPARE(evidence.inferred, inferred);
        // Opposite margins differ by the print's own 8 against 10 pixels.
        const Quad truth{{cv::Point2f(40, 30), cv::Point2f(159, 30), cv::Point2f(159, 119), cv::Point2f(40, 119)}};
        QVERIFY2(quad_geometry::cornerDistance(quad_geometry::ordered(q), truth) <= 4,
                 "corners more than 4 pixels off");
    }

    void deskTint_keepsTheDeskInShade_data()
    {
        // Share of the picture of another tint than the desk's, away from
        // an outline at the top left.
        QTest::addColumn<bool>("shaded");
        QTest::addColumn<bool>("withCard");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::newRow("bare desk") << false << false << 0.0 << 0.01;
        QTest::newRow("desk half in shade") << true << false << 0.0 << 0.01;
        QTest::newRow("card beside the outline") << false << true << 0.06 << 0.14;
    }

    void deskTint_keepsTheDeskInShade()
    {
        QFETCH(bool, shaded);
        QFETCH(bool, withCard);
        QFETCH(double, low);
        QFETCH(double, high);
        // The card covers 86x54 of 240x160 pixels, 12 %.
        const std::vector<cv::Point> card{{130, 80}, {216, 80}, {216, 134}, {130, 134}};
        const cv::Mat planes = tintDesk(withCard ? card : std::vector<cv::Point>(), shaded);
        const Quad away{{cv::Point2f(10, 10), cv::Point2f(50, 10), cv::Point2f(50, 40), cv::Point2f(10, 40)}};
        const double share = DeskTint(planes).otherShare(away, 1.2f);
        QVERIFY2(share >= low && share <= high, qPrintable(QString("share %1").arg(share)));
    }

    void previewTracker_steadiesOutline_data()
    {
        // Per frame: found or not, and the page's offset. The last outline
        // shown lies within `tolerance` of `expected`, or is absent (NaN).
        QTest::addColumn<QVector<bool>>("found");
        QTest::addColumn<QVector<QPointF>>("offsets");
        QTest::addColumn<QPointF>("expected");
        QTest::addColumn<double>("tolerance");
        const QVector<QPointF> still(6);
        QTest::newRow("still page with noise holds still") << QVector<bool>(5, true)
            << QVector<QPointF>{{0, 0}, {0.4, -0.3}, {-0.3, 0.4}, {0.3, 0.3}, {-0.4, -0.2}} << QPointF() << 0.01;
        QTest::newRow("short dropout keeps outline") << QVector<bool>{true, false, false, false} << still
                                                     << QPointF() << 0.01;
        QTest::newRow("long dropout drops outline") << QVector<bool>{true, false, false, false, false, false}
                                                    << still << QPointF(qQNaN(), 0) << 0.0;
        QTest::newRow("moved page followed at once")
            << QVector<bool>(3, true) << QVector<QPointF>{{0, 0}, {0, 0}, {40, 25}} << QPointF(40, 25) << 0.01;
        QTest::newRow("small drift eased in")
            << QVector<bool>(2, true) << QVector<QPointF>{{0, 0}, {2, 0}} << QPointF(0.6, 0) << 0.05;
    }

    void previewTracker_steadiesOutline()
    {
        QFETCH(QVector<bool>, found);
        QFETCH(QVector<QPointF>, offsets);
        QFETCH(QPointF, expected);
        QFETCH(double, tolerance);
        PreviewTracker tracker;
        bool shownNow = false;
        Quad shown;
        for (int i = 0; i < found.size(); ++i)
            shownNow = tracker.update(found[i], previewPage(offsets[i]), cv::Size(480, 270), &shown);
        QCOMPARE(shownNow, !std::isnan(expected.x()));
        if (shownNow)
            QVERIFY2(quad_geometry::cornerDistance(previewPage(expected), shown) <= tolerance,
                     qPrintable(QString("top-left at %1,%2").arg(shown.p[0].x).arg(shown.p[0].y)));
    }

    void previewTracker_seesStillScene_onlyWhenNothingMoved_data()
    {
        QTest::addColumn<int>("shift");      // pixels the sheet moved to the right
        QTest::addColumn<int>("noise");      // +- levels of per-pixel noise added
        QTest::addColumn<bool>("searched");  // whether a search was recorded at all
        QTest::addColumn<bool>("still");
        QTest::newRow("same frame") << 0 << 0 << true << true;
        QTest::newRow("sensor noise") << 0 << 6 << true << true;
        QTest::newRow("sheet moved by a pixel") << 1 << 0 << true << false;
        QTest::newRow("nothing searched yet") << 0 << 0 << false << false;
    }

    void previewTracker_seesStillScene_onlyWhenNothingMoved()
    {
        QFETCH(int, shift);
        QFETCH(int, noise);
        QFETCH(bool, searched);
        QFETCH(bool, still);
        // A white sheet on a dark desk, compared with the frame last searched.
        auto frame = [](int dx, int amplitude) {
            cv::Mat rgb(270, 480, CV_8UC3, cv::Scalar::all(60 + amplitude));
            rgb(cv::Rect(100 + dx, 80, 200, 120)).setTo(cv::Scalar::all(235 + amplitude));
            cv::Mat n(rgb.size(), rgb.type());
            cv::RNG(7).fill(n, cv::RNG::UNIFORM, 0, 2 * amplitude + 1);
            return cv::Mat(rgb + n - cv::Scalar::all(2 * amplitude));
        };
        PreviewTracker tracker;
        if (searched)
            tracker.noteSearch(frame(0, 0));
        QCOMPARE(tracker.stillSinceSearch(frame(shift, noise)), still);
    }

    void aspectRatio_recoversPageProportions_inPerspective_data()
    {
        QTest::addColumn<double>("aspect");  // width / height of the page
        QTest::addColumn<cv::Vec3d>("tilt");  // degrees about x, y, z
        QTest::newRow("A4 upright, tilted back") << 1 / std::sqrt(2.0) << cv::Vec3d(15, 0, 0);
        QTest::newRow("receipt, turned") << 0.35 << cv::Vec3d(-8, 14, 100);
    }

    void aspectRatio_recoversPageProportions_inPerspective()
    {
        QFETCH(double, aspect);
        QFETCH(cv::Vec3d, tilt);
        // A pinhole camera (focal length 1.2 picture widths, 1920x1080) looking
        // at the page, its centre on the axis.
        const cv::Vec3d a = tilt * (CV_PI / 180);
        const double f = 1.2 * 1920, w = aspect;
        const cv::Matx33d r = cv::Matx33d(1, 0, 0, 0, std::cos(a[0]), -std::sin(a[0]), 0, std::sin(a[0]), std::cos(a[0]))
            * cv::Matx33d(std::cos(a[1]), 0, std::sin(a[1]), 0, 1, 0, -std::sin(a[1]), 0, std::cos(a[1]))
            * cv::Matx33d(std::cos(a[2]), -std::sin(a[2]), 0, std::sin(a[2]), std::cos(a[2]), 0, 0, 0, 1);
        const cv::Vec3d corners[4] = {{-w / 2, -0.5, 0}, {w / 2, -0.5, 0}, {w / 2, 0.5, 0}, {-w / 2, 0.5, 0}};
        Quad q;
        for (int i = 0; i < 4; ++i) {
            const cv::Vec3d p = r * corners[i] + cv::Vec3d(0, 0, 2.5);
            q.p[i] = cv::Point2f(float(960 + f * p[0] / p[2]), float(540 + f * p[1] / p[2]));
        }
        const double estimated = PageWarper::aspectRatio(quad_geometry::ordered(q), cv::Size(1920, 1080));
        // The page's own top-left is unknowable, so width and height may swap.
        const double error = std::min(std::abs(estimated / aspect - 1), std::abs(estimated * aspect - 1));
        QVERIFY2(error < 0.02, qPrintable(QString("estimated %1 for %2").arg(estimated).arg(aspect)));
    }
};

QTEST_APPLESS_MAIN(ImageProcDetection)
#include "tst_imageproc_detection.moc"
