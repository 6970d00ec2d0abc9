#pragma once
#include <QByteArray>
#include <QString>

// A small PNG file whose header claims width x height pixels: a few rows of data follow,
// compressed, so the file is a few KB whatever it claims.
QByteArray PngClaiming(int width, int height);

// A true, whole colour JPEG of width x height pixels of flat mid grey, however large: every
// 8 x 8 block of its three components codes as two bits, so 200 megapixels take about 2 MB.
QByteArray FlatJpeg(int width, int height);
// The same, written to path; false when it cannot be written.
bool WriteFlatJpeg(const QString& path, int width, int height);
