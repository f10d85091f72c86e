#include "pdfupdate.h"

#include "sparsepdfcopy.h"

#include <QRegularExpression>

namespace {

bool failed(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
    return false;
}

// The object number of "/Key N G R" in a dictionary, or -1.
int refOf(const QByteArray& dict, const char* key)
{
    static const QRegularExpression ref(QStringLiteral("^\\s*(\\d+)\\s+\\d+\\s+R"));
    const int at = dict.indexOf(key);
    if (at < 0)
        return -1;
    const QRegularExpressionMatch m = ref.match(QString::fromLatin1(dict.mid(at + int(qstrlen(key)), 32)));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QVector<int> refsIn(const QByteArray& text)
{
    static const QRegularExpression ref(QStringLiteral("(\\d+)\\s+\\d+\\s+R"));
    QVector<int> refs;
    auto it = ref.globalMatch(QString::fromLatin1(text));
    while (it.hasNext())
        refs << it.next().captured(1).toInt();
    return refs;
}

int skipSpace(const QByteArray& text, int i)
{
    while (i < text.size() && QChar(text[i]).isSpace())
        ++i;
    return i;
}

// The value after /Key: a reference, an array or a dictionary (not nested
// beyond one level of << >>), as its byte range.
bool valueSpan(const QByteArray& dict, const char* key, int* from, int* to)
{
    const int at = dict.indexOf(key);
    if (at < 0)
        return false;
    const int i = skipSpace(dict, at + int(qstrlen(key)));
    int end = -1;
    if (dict.mid(i, 2) == "<<") {
        end = dict.indexOf(">>", i + 2);
        end = end < 0 ? -1 : end + 2;
    } else if (i < dict.size() && dict[i] == '[') {
        end = dict.indexOf(']', i);
        end = end < 0 ? -1 : end + 1;
    } else {
        static const QRegularExpression ref(QStringLiteral("^\\d+\\s+\\d+\\s+R"));
        const QRegularExpressionMatch m = ref.match(QString::fromLatin1(dict.mid(i, 32)));
        end = m.hasMatch() ? i + m.capturedLength() : -1;
    }
    if (end < 0)
        return false;
    *from = i;
    *to = end;
    return true;
}

QByteArray deflated(const QByteArray& data)
{
    // qCompress puts the length in front of a plain zlib stream.
    return qCompress(data, 9).mid(4);
}

QByteArray ref(int number)
{
    return QByteArray::number(number) + " 0 R";
}

} // namespace

bool PdfUpdate::read(const SparsePdfCopy& copy, QString* why)
{
    m_copy = &copy;
    m_length = copy.written();
    const qint64 tailFrom = qMax<qint64>(0, m_length - 1024);
    const QByteArray tail = copy.at(tailFrom, m_length - tailFrom);
    const int at = tail.lastIndexOf("startxref");
    bool ok = false;
    m_xref = at < 0 ? -1 : tail.mid(at + 9, 24).simplified().split(' ').value(0).toLongLong(&ok);
    if (!ok || m_xref <= 0 || m_xref >= m_length)
        return failed(why, QStringLiteral("no startxref"));
    const QByteArray table = copy.at(m_xref, m_length - m_xref);
    const int trailerAt = table.indexOf("trailer");
    if (!table.startsWith("xref") || trailerAt < 0)
        return failed(why, QStringLiteral("no cross-reference table where startxref points"));
    const QList<QByteArray> tokens = table.mid(4, trailerAt - 4).simplified().split(' ');
    for (int i = 0; i + 1 < tokens.size();) {
        const int first = tokens[i].toInt();
        const int count = tokens[i + 1].toInt();
        i += 2;
        for (int k = 0; k < count && i + 2 < tokens.size(); ++k, i += 3) {
            if (tokens[i + 2] == "n")
                m_offsets.insert(first + k, tokens[i].toLongLong());
        }
    }
    const int open = table.indexOf("<<", trailerAt);
    const int close = table.indexOf(">>", open);
    if (open < 0 || close < 0)
        return failed(why, QStringLiteral("unreadable trailer"));
    const QByteArray trailer = table.mid(open, close + 2 - open);
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("/Size\\s+(\\d+)")).match(QString::fromLatin1(trailer));
    m_next = size.captured(1).toInt(&ok);
    m_root = refOf(trailer, "/Root");
    m_info = refOf(trailer, "/Info");
    if (!ok || m_next <= 0 || m_root < 0)
        return failed(why, QStringLiteral("no /Size or /Root in the trailer"));
    const QByteArray tree = object(refOf(object(m_root), "/Pages"));
    int from = 0, to = 0;
    if (!valueSpan(tree, "/Kids", &from, &to))
        return failed(why, QStringLiteral("no page tree"));
    m_pages = refsIn(tree.mid(from, to - from));
    for (int page : m_pages) {
        const QByteArray dict = object(page);
        const int resources = refOf(dict, "/Resources");
        if (!dict.contains("/Type /Page") || resources < 0 || object(resources).isEmpty())
            return failed(why, QStringLiteral("a page is not as expected"));
        m_resources << resources;
    }
    return true;
}

QByteArray PdfUpdate::object(int number) const
{
    const qint64 at = m_offsets.value(number, -1);
    if (at < 0 || !m_copy)
        return QByteArray();
    // Structure objects are short; a stream's data was not kept anyway.
    const QByteArray text = m_copy->at(at, 16 * 1024);
    const int start = text.indexOf("obj");
    const int end = text.indexOf("endobj", start);
    if (start < 0 || end < 0 || !text.left(start).trimmed().startsWith(QByteArray::number(number) + ' '))
        return QByteArray();
    return text.mid(start + 3, end - start - 3).trimmed();
}

QByteArray PdfUpdate::current(int number) const
{
    return m_objects.contains(number) ? m_objects.value(number) : object(number);
}

int PdfUpdate::add(const QByteArray& body)
{
    const int number = m_next++;
    m_objects.insert(number, body);
    return number;
}

int PdfUpdate::addStream(const QByteArray& data, const QByteArray& keys, bool deflate)
{
    const QByteArray stored = deflate ? deflated(data) : data;
    return add("<< /Length " + QByteArray::number(stored.size()) + (deflate ? " /Filter /FlateDecode" : "") + keys
               + " >>\nstream\n" + stored + "\nendstream");
}

void PdfUpdate::replace(int number, const QByteArray& body)
{
    m_objects.insert(number, body);
}

int PdfUpdate::pageImage(int page) const
{
    if (page < 0 || page >= m_pages.size())
        return -1;
    const QByteArray resources = current(m_resources[page]);
    int from = 0, to = 0;
    if (!valueSpan(resources, "/XObject", &from, &to))
        return -1;
    const QVector<int> images = refsIn(resources.mid(from, to - from));
    return images.size() == 1 ? images.first() : -1;
}

bool PdfUpdate::addPageContent(int page, int stream, QString* why)
{
    if (page < 0 || page >= m_pages.size())
        return failed(why, QStringLiteral("no page %1").arg(page + 1));
    QByteArray dict = current(m_pages[page]);
    int from = 0, to = 0;
    if (!valueSpan(dict, "/Contents", &from, &to))
        return failed(why, QStringLiteral("page %1 has no contents").arg(page + 1));
    // The page's own drawing leaves its transformation in place: it is
    // wrapped in a save and a restore, so that what follows starts afresh.
    if (m_wrapStart < 0) {
        m_wrapStart = addStream("q\n");
        m_wrapEnd = addStream("Q\n");
    }
    QByteArray contents = dict.mid(from, to - from).trimmed();
    if (contents.startsWith('['))
        contents = contents.mid(1, contents.size() - 2).trimmed();
    const QByteArray wrapped = ref(m_wrapStart) + ' ';
    if (!contents.startsWith(wrapped))
        contents = wrapped + contents + ' ' + ref(m_wrapEnd);
    dict.replace(from, to - from, '[' + contents + ' ' + ref(stream) + ']');
    m_objects.insert(m_pages[page], dict);
    return true;
}

bool PdfUpdate::addPageFont(int page, const QByteArray& name, int font, QString* why)
{
    if (page < 0 || page >= m_pages.size())
        return failed(why, QStringLiteral("no page %1").arg(page + 1));
    QByteArray resources = current(m_resources[page]);
    const QByteArray entry = '/' + name + ' ' + ref(font) + '\n';
    const int at = resources.indexOf("/Font");
    if (at >= 0) {
        const int i = skipSpace(resources, at + 5);
        if (resources.mid(i, 2) != "<<")
            return failed(why, QStringLiteral("page %1's fonts are not as expected").arg(page + 1));
        resources.insert(i + 2, '\n' + entry);
    } else {
        const int end = resources.lastIndexOf(">>");
        if (end < 0)
            return failed(why, QStringLiteral("page %1's resources are not as expected").arg(page + 1));
        resources.insert(end, "/Font << " + entry + ">>\n");
    }
    m_objects.insert(m_resources[page], resources);
    return true;
}

QByteArray PdfUpdate::bytes() const
{
    QByteArray out = "\n";
    QMap<int, qint64> at;
    for (auto it = m_objects.begin(); it != m_objects.end(); ++it) {
        at.insert(it.key(), m_length + out.size());
        out += QByteArray::number(it.key()) + " 0 obj\n" + it.value() + "\nendobj\n";
    }
    const qint64 xref = m_length + out.size();
    out += "xref\n";
    for (auto it = at.begin(); it != at.end(); ++it)
        out += QByteArray::number(it.key()) + " 1\n" + QByteArray::number(it.value()).rightJustified(10, '0')
            + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(m_next) + " /Root " + ref(m_root);
    if (m_info >= 0)
        out += " /Info " + ref(m_info);
    out += " /Prev " + QByteArray::number(m_xref) + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}
