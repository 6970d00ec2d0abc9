#pragma once
#include <QByteArray>

// A small PNG file whose header claims width x height pixels: a few rows of data follow,
// compressed, so the file is a few KB whatever it claims.
QByteArray PngClaiming(int width, int height);
