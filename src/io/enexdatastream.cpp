#include "enexdatastream.h"

#include "extractionlimits.h"
#include "importresult.h"

#include <cstring>

namespace {

constexpr qint64 kChunk = 64 * 1024;
constexpr qsizetype kDecodeBlock = 256 * 1024;

bool isBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
}

bool endsName(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
}

} // namespace

EnexDataStream::EnexDataStream(QIODevice *source, const QString &tempPath, ExtractionBudget *budget)
    : m_source(source), m_tempPath(tempPath), m_budget(budget)
{
    open(QIODevice::ReadOnly);
}

EnexDataStream::~EnexDataStream()
{
    // Files no one took.
    for (const Data &data : std::as_const(m_data)) {
        if (!data.path.isEmpty())
            QFile::remove(data.path);
    }
    if (m_file.isOpen())
        m_file.remove();
}

qint64 EnexDataStream::bytesAvailable() const
{
    // Whatever the source still holds may come out, less or more of it.
    const qint64 more = m_source->atEnd() && m_in.isEmpty() ? 0 : 1;
    return m_out.size() + more + QIODevice::bytesAvailable();
}

EnexDataStream::Data EnexDataStream::take(const QString &marker)
{
    bool ok = false;
    const int n = marker.trimmed().mid(1).toInt(&ok);
    if (!marker.trimmed().startsWith(QLatin1Char('#')) || !ok || n < 1 || n > m_data.size() || m_data.at(n - 1).path.isEmpty())
        return {{}, {}, 0, n >= 1 && n <= m_data.size() ? m_data.at(n - 1).refusal : QString()};
    Data data = m_data.at(n - 1);
    m_data[n - 1].path.clear();
    return data;
}

qint64 EnexDataStream::readData(char *data, qint64 maxSize)
{
    while (m_out.isEmpty()) {
        const QByteArray chunk = m_source->atEnd() ? QByteArray() : m_source->read(kChunk);
        if (chunk.isEmpty()) {
            // A tag start cut off by the end of the file goes on as it is; the XML reader says what is wrong.
            m_out += m_in;
            m_in.clear();
            if (m_out.isEmpty())
                return -1;
            break;
        }
        m_in += chunk;
        process();
    }
    const qint64 n = qMin<qint64>(maxSize, m_out.size());
    std::memcpy(data, m_out.constData(), size_t(n));
    m_out.remove(0, n);
    return n;
}

void EnexDataStream::process()
{
    qsizetype pos = 0;
    const qsizetype size = m_in.size();
    const char *in = m_in.constData();
    const auto startsWith = [&](const char *text) { return std::memcmp(in + pos, text, std::strlen(text)) == 0; };
    const auto startsTag = [&](const char *name) {
        const size_t length = std::strlen(name);
        return std::memcmp(in + pos, name, length) == 0 && endsName(in[pos + qsizetype(length)]);
    };
    while (pos < size) {
        switch (m_state) {
        case State::Text: {
            const void *lt = std::memchr(in + pos, '<', size_t(size - pos));
            const qsizetype at = lt ? static_cast<const char *>(lt) - in : size;
            m_out.append(in + pos, at - pos);
            pos = at;
            if (pos == size)
                break;
            if (size - pos < 12) {
                m_in.remove(0, pos); // wait for the rest of the name
                return;
            }
            qsizetype copy = 1;
            if (startsWith("<![CDATA[")) {
                m_state = State::CData; // note content: its text is never a resource's
                copy = 9;
            } else if (startsTag("<resource")) {
                m_inResource = true;
            } else if (startsTag("</resource")) {
                m_inResource = false;
            } else if (m_inResource && startsTag("<data")) {
                m_state = State::DataTag;
                m_lastInTag = 0;
                copy = 5;
            }
            m_out.append(in + pos, copy);
            pos += copy;
            break;
        }
        case State::CData: {
            const qsizetype end = m_in.indexOf("]]>", pos);
            if (end < 0) {
                const qsizetype keep = qMin<qsizetype>(2, size - pos);
                m_out.append(in + pos, size - pos - keep);
                m_in.remove(0, size - keep);
                return;
            }
            m_out.append(in + pos, end + 3 - pos);
            pos = end + 3;
            m_state = State::Text;
            break;
        }
        case State::DataTag: {
            const char c = in[pos++];
            m_out.append(c);
            if (c == '>') {
                if (m_lastInTag == '/') {
                    m_state = State::Text;
                } else {
                    begin();
                    m_state = State::Diverting;
                }
            }
            m_lastInTag = c;
            break;
        }
        case State::Entity:
            // A character reference is never part of the base64 text.
            if (in[pos++] == ';')
                m_state = State::Diverting;
            break;
        case State::Diverting: {
            const char c = in[pos];
            if (c == '<') {
                if (size - pos < 9) {
                    m_in.remove(0, pos);
                    return;
                }
                if (startsWith("<![CDATA[")) {
                    pos += 9;
                } else if (startsTag("</data")) {
                    finish();
                    m_state = State::Text;
                    m_out.append(in + pos, 6);
                    pos += 6;
                } else {
                    ++pos;
                }
            } else if (c == '&') {
                m_state = State::Entity;
                ++pos;
            } else {
                if (isBase64(c))
                    m_pending.append(c);
                ++pos;
                if (m_pending.size() >= kDecodeBlock)
                    decode(false);
            }
            break;
        }
        }
    }
    m_in.clear();
}

void EnexDataStream::begin()
{
    m_current = Data();
    m_current.path = QStringLiteral("%1/r%2").arg(m_tempPath).arg(m_data.size() + 1);
    m_file.setFileName(m_current.path);
    if (!m_file.open(QIODevice::WriteOnly))
        m_current.refusal = m_file.errorString();
    m_pending.clear();
    m_md5.reset();
    m_out.append('#');
    m_out.append(QByteArray::number(m_data.size() + 1));
}

void EnexDataStream::decode(bool last)
{
    const qsizetype whole = last ? m_pending.size() : m_pending.size() / 4 * 4;
    if (!m_current.refusal.isEmpty()) {
        m_pending.remove(0, whole);
        return;
    }
    const QByteArray bytes = QByteArray::fromBase64(m_pending.left(whole));
    m_pending.remove(0, whole);
    m_md5.addData(bytes);
    m_current.size += bytes.size();
    if (m_file.write(bytes) != bytes.size())
        m_current.refusal = m_file.errorString();
    else if (m_current.size > m_budget->limits().maxEntryBytes)
        m_current.refusal = ImportText::tr("larger than %1 MiB").arg(m_budget->limits().maxEntryBytes / ExtractionLimits::kMiB);
    else if (!m_budget->spend(bytes.size()))
        m_current.refusal = ImportText::tr("the import would fill the disk");
}

void EnexDataStream::finish()
{
    decode(true);
    m_file.close();
    if (!m_current.refusal.isEmpty()) {
        m_file.remove();
        m_current.path.clear();
    }
    m_current.md5 = QString::fromLatin1(m_md5.result().toHex());
    m_data.append(m_current);
}
