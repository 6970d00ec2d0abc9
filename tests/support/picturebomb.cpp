#include "picturebomb.h"

#include <QFile>
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

namespace {

QByteArray segment(quint8 marker, const QByteArray& body)
{
    QByteArray out("\xff", 1);
    out += char(marker);
    out += char((body.size() + 2) >> 8);
    out += char((body.size() + 2) & 0xff);
    return out + body;
}

}  // namespace

QByteArray FlatJpeg(int width, int height)
{
    QByteArray out("\xff\xd8", 2);
    out += segment(0xdb, QByteArray(1, '\0') + QByteArray(64, '\1'));  // quantisation table 0: all ones
    QByteArray frame;
    frame += char(8);
    frame += char(height >> 8);
    frame += char(height & 0xff);
    frame += char(width >> 8);
    frame += char(width & 0xff);
    // Three components (Y, Cb, Cr) as a camera writes, each 1 x 1, all on table 0: decoded in colour.
    frame += QByteArray("\x03\x01\x11\x00\x02\x11\x00\x03\x11\x00", 10);
    out += segment(0xc0, frame);
    // One code of one bit in each table: DC difference category 0, and AC end-of-block.
    QByteArray table(16, '\0');
    table[0] = 1;
    out += segment(0xc4, QByteArray(1, '\x00') + table + QByteArray(1, '\0'));
    out += segment(0xc4, QByteArray(1, '\x10') + table + QByteArray(1, '\0'));
    out += segment(0xda, QByteArray("\x03\x01\x00\x02\x00\x03\x00\x00\x3f\x00", 10));
    const qint64 blocks = 3 * qint64((width + 7) / 8) * ((height + 7) / 8);
    const qint64 bits = blocks * 2;
    out += QByteArray(bits / 8, '\0');
    if (bits % 8)
        out += char(0xff >> (bits % 8));  // the last byte padded with one-bits
    out += QByteArray("\xff\xd9", 2);
    return out;
}

bool WriteFlatJpeg(const QString& path, int width, int height)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(FlatJpeg(width, height)) >= 0 && file.flush();
}
