#include "textpages.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QTransform>

namespace TextPages {

namespace {

constexpr int kA4Width = 2480;   // 300 dpi
constexpr int kA4Height = 3508;

QFont font(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// Draws lines from top, wrapping nothing: each entry is one printed line.
struct Writer {
    QPainter& p;
    QString& text;
    int left;
    int y;

    void line(const QString& s, const QFont& f, int gap)
    {
        p.setFont(f);
        y += QFontMetrics(f).ascent();
        p.drawText(left, y, s);
        y += QFontMetrics(f).descent() + gap;
        text += s + QLatin1Char('\n');
    }
};

// A blank sheet of its paper's tint, and a painter with the ink ready.
Page blank(const char* name, QSize size, QColor paper)
{
    Page page{QLatin1String(name), QImage(size, QImage::Format_RGB888), QString()};
    page.image.fill(paper);
    return page;
}

void ink(QPainter& p)
{
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QColor(20, 20, 24));
}

Page letter()
{
    Page page = blank("letter", QSize(kA4Width, kA4Height), QColor(252, 252, 250));
    QPainter p(&page.image);
    ink(p);
    Writer w{p, page.text, 250, 260};
    w.line(QStringLiteral("关于第四季度办公用品统一采购的通知"), font(70, true), 60);
    const QStringList body = {
        QStringLiteral("各部门负责人："),
        QStringLiteral("为保障日常办公需要，经研究决定，于十二月十五日前完成"),
        QStringLiteral("办公用品的统一采购。请各部门于本周五下班前将需求清单"),
        QStringLiteral("报送行政部，逾期不再受理。"),
        QStringLiteral("Please send your list to admin@example.com before Friday."),
        QStringLiteral("采购范围包括打印纸、墨盒、文件夹、签字笔和订书机等常用"),
        QStringLiteral("物品。各部门应本着厉行节约的原则据实填报，不得超量申请。"),
        QStringLiteral("The budget of each department is limited to 3,000 yuan"),
        QStringLiteral("this quarter. Items beyond the budget need the approval"),
        QStringLiteral("of the deputy director."),
        QStringLiteral("联系人：王小明，电话：010-62345678。"),
        QStringLiteral("会议定于十二月十日上午十时在B座305会议室召开，"),
        QStringLiteral("请各部门派一名代表参加。"),
        QStringLiteral("Meeting at 10:30 in Room 305, Building B."),
        QStringLiteral("特此通知。"),
    };
    for (const QString& s : body)
        w.line(s, font(52), 34);
    w.left = 1500;
    w.y += 80;
    w.line(QStringLiteral("行政部"), font(52), 34);
    w.line(QStringLiteral("2026年12月8日"), font(52), 34);
    return page;
}

Page table()
{
    Page page = blank("table", QSize(kA4Width, kA4Height), QColor(250, 250, 248));
    QPainter p(&page.image);
    ink(p);
    Writer w{p, page.text, 250, 260};
    w.line(QStringLiteral("办公用品采购明细表 Purchase List"), font(66, true), 80);
    const QStringList header = {QStringLiteral("品名 Item"), QStringLiteral("数量"), QStringLiteral("单价"),
                                QStringLiteral("金额")};
    const QList<QStringList> rows = {
        {QStringLiteral("打印纸 A4"), QStringLiteral("20"), QStringLiteral("25.00"), QStringLiteral("500.00")},
        {QStringLiteral("墨盒 Black"), QStringLiteral("6"), QStringLiteral("180.00"), QStringLiteral("1080.00")},
        {QStringLiteral("文件夹"), QStringLiteral("50"), QStringLiteral("3.50"), QStringLiteral("175.00")},
        {QStringLiteral("签字笔 Pen"), QStringLiteral("100"), QStringLiteral("2.00"), QStringLiteral("200.00")},
        {QStringLiteral("订书机"), QStringLiteral("8"), QStringLiteral("35.00"), QStringLiteral("280.00")},
        {QStringLiteral("便利贴 Notes"), QStringLiteral("30"), QStringLiteral("4.20"), QStringLiteral("126.00")},
        {QStringLiteral("计算器"), QStringLiteral("5"), QStringLiteral("68.00"), QStringLiteral("340.00")},
        {QStringLiteral("合计 Total"), QString(), QString(), QStringLiteral("2701.00")},
    };
    const int columns[] = {250, 1150, 1550, 1950};
    const int right = 2280;
    const int rowHeight = 130;
    int top = w.y + 20;
    p.setPen(QPen(QColor(40, 40, 44), 4));
    for (int r = 0; r <= rows.size() + 1; ++r)
        p.drawLine(220, top + r * rowHeight, right, top + r * rowHeight);
    for (int x : {220, 1120, 1520, 1920, right})
        p.drawLine(x, top, x, top + (rows.size() + 1) * rowHeight);
    p.setPen(QColor(20, 20, 24));
    const auto drawRow = [&](const QStringList& cells, int y, const QFont& f) {
        p.setFont(f);
        QStringList printed;
        for (int c = 0; c < cells.size(); ++c) {
            p.drawText(columns[c], y + rowHeight / 2 + QFontMetrics(f).ascent() / 2 - 6, cells[c]);
            if (!cells[c].isEmpty())
                printed << cells[c];
        }
        page.text += printed.join(QLatin1Char(' ')) + QLatin1Char('\n');
    };
    drawRow(header, top, font(52, true));
    for (int r = 0; r < rows.size(); ++r)
        drawRow(rows[r], top + (r + 1) * rowHeight, font(50));
    w.y = top + (rows.size() + 1) * rowHeight + 60;
    w.line(QStringLiteral("经办人：李华    审核：张伟"), font(52), 30);
    w.line(QStringLiteral("Approved by the Finance Office, December 2026."), font(50), 30);
    return page;
}

Page receipt()
{
    // A till roll: 80 mm wide, printed small.
    Page page = blank("receipt", QSize(945, 2600), QColor(248, 248, 244));
    QPainter p(&page.image);
    ink(p);
    Writer w{p, page.text, 70, 90};
    w.line(QStringLiteral("华联超市 HUALIAN MART"), font(50, true), 30);
    w.line(QStringLiteral("北京市海淀区中关村大街18号"), font(38), 20);
    w.line(QStringLiteral("Tel 010-82561234"), font(38), 40);
    const QStringList items = {
        QStringLiteral("矿泉水 Water 2 x 2.50 5.00"),   QStringLiteral("牛奶 Milk 1 x 12.80 12.80"),
        QStringLiteral("面包 Bread 1 x 9.90 9.90"),     QStringLiteral("苹果 Apples 1.2kg 15.60"),
        QStringLiteral("洗衣液 Detergent 1 x 32.00 32.00"), QStringLiteral("纸巾 Tissue 3 x 6.50 19.50"),
        QStringLiteral("鸡蛋 Eggs 1 x 18.00 18.00"),    QStringLiteral("大米 Rice 5kg 39.90"),
    };
    for (const QString& s : items)
        w.line(s, font(38), 22);
    w.y += 20;
    w.line(QStringLiteral("合计 Total 152.70"), font(44, true), 22);
    w.line(QStringLiteral("微信支付 WeChat Pay 152.70"), font(38), 22);
    w.line(QStringLiteral("2026-12-08 14:32 No.00586"), font(38), 40);
    w.line(QStringLiteral("谢谢惠顾，欢迎再次光临"), font(40), 22);
    w.line(QStringLiteral("Thank you for shopping"), font(38), 22);
    return page;
}

} // namespace

QStringList names()
{
    return {QStringLiteral("letter"), QStringLiteral("table"), QStringLiteral("receipt")};
}

Page make(const QString& name)
{
    if (name == QLatin1String("table"))
        return table();
    if (name == QLatin1String("receipt"))
        return receipt();
    return letter();
}

QImage onDesk(const Page& page, QSize frame, double degrees)
{
    QImage desk(frame, QImage::Format_RGB888);
    QPainter p(&desk);
    // A wooden desk, a little lighter towards the lamp.
    QLinearGradient light(0, 0, frame.width(), frame.height());
    light.setColorAt(0, QColor(126, 94, 66));
    light.setColorAt(1, QColor(92, 66, 46));
    p.fillRect(desk.rect(), light);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    const double scale = 0.85 * frame.height() / page.image.height();
    p.translate(frame.width() / 2.0, 0.46 * frame.height());
    p.rotate(degrees);
    p.scale(scale, scale);
    p.drawImage(QPointF(-page.image.width() / 2.0, -page.image.height() / 2.0), page.image);
    p.end();
    return desk;
}

} // namespace TextPages
