#pragma once

// Builds small POSIX (ustar) tar archives in memory, so tests can make the
// archives they read instead of carrying binary fixtures.

#include <QByteArray>
#include <QString>

class TarBuilder
{
public:
    // typeFlag '0' is a regular file, '5' a folder, '2' a symbolic link to linkTarget.
    TarBuilder &add(const QString &name, const QByteArray &data, char typeFlag = '0',
                    const QByteArray &linkTarget = {})
    {
        m_bytes += header(name, typeFlag == '0' ? data.size() : 0, typeFlag, linkTarget);
        if (typeFlag == '0') {
            m_bytes += data;
            const qsizetype pad = (512 - data.size() % 512) % 512;
            m_bytes += QByteArray(pad, '\0');
        }
        return *this;
    }

    // One entry's header block, claiming size bytes of data.
    static QByteArray header(const QString &name, qint64 size, char typeFlag = '0', const QByteArray &linkTarget = {})
    {
        QByteArray header(512, '\0');
        const QByteArray utf8 = name.toUtf8();
        header.replace(0, qMin<qsizetype>(utf8.size(), 100), utf8.left(100));
        putOctal(header, 100, 8, typeFlag == '5' ? 0755 : 0644);
        putOctal(header, 108, 8, 0);
        putOctal(header, 116, 8, 0);
        putOctal(header, 124, 12, size);
        putOctal(header, 136, 12, 1700000000);
        header[156] = typeFlag;
        header.replace(157, qMin<qsizetype>(linkTarget.size(), 100), linkTarget.left(100));
        header.replace(257, 6, QByteArray("ustar\0", 6));
        header.replace(263, 2, "00");
        // The checksum is computed with its own field read as spaces.
        header.replace(148, 8, QByteArray(8, ' '));
        unsigned sum = 0;
        for (const char c : std::as_const(header))
            sum += static_cast<unsigned char>(c);
        putOctal(header, 148, 7, sum);
        header[155] = ' ';
        return header;
    }

    QByteArray finish() const { return m_bytes + QByteArray(1024, '\0'); }

private:
    static void putOctal(QByteArray &header, int offset, int width, qint64 value)
    {
        const QByteArray digits = QByteArray::number(value, 8).rightJustified(width - 1, '0');
        header.replace(offset, width - 1, digits);
        header[offset + width - 1] = '\0';
    }

    QByteArray m_bytes;
};
