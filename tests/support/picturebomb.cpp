#include "picturebomb.h"

#include <QtEndian>

namespace {

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xffffffffu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray be32(quint32 v)
{
    QByteArray out(4, '\0');
    qToBigEndian(v, out.data());
    return out;
}

QByteArray chunk(const char* type, const QByteArray& body)
{
    const QByteArray typed = QByteArray(type) + body;
    return be32(quint32(body.size())) + typed + be32(crc32(typed));
}

}  // namespace

QByteArray PngClaiming(int width, int height)
{
    QByteArray header = be32(quint32(width)) + be32(quint32(height));
    header += QByteArray("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    QByteArray rows;
    for (int r = 0; r < 16; ++r)
        rows += QByteArray(1 + 3 * qint64(width), '\0');
    const QByteArray zlib = qCompress(rows, 9).mid(4);  // without Qt's length prefix
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib) + chunk("IEND", {});
}
