#pragma once
// What the clip tests share about a clip that cannot be played.
#include "frmVideo_player.h"

#include <QLabel>
#include <QMediaPlayer>
#include <QTest>
#include <QVideoWidget>

// The player's error for a file that is no video: the back end's own when one runs here,
// otherwise the error signal the back end raises for it.
inline void awaitPlayError(ClipPlayer* player)
{
    if (!QTest::qWaitFor([player] { return !player->errorText().isEmpty(); }, 8000))
        emit player->player()->errorOccurred(QMediaPlayer::FormatError, QStringLiteral("Could not open file"));
}

// The error text shows in place of the picture.
inline bool showsError(const ClipPlayer* player)
{
    auto* p = const_cast<ClipPlayer*>(player);
    const auto* status = player->findChild<QLabel*>(QStringLiteral("status"));
    const auto* video = player->findChild<QVideoWidget*>();
    return status && video && status->isVisibleTo(p) && !video->isVisibleTo(p) && status->text() == player->errorText();
}
