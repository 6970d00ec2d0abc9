#include "frmVideo_player.h"

#include "regularfiles.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVideoWidget>

namespace {
// Qt's GStreamer back end crashes when the GStreamer base plug-ins are missing, and without
// the good plug-ins it cannot read AVI at all; the FFmpeg back end needs only the libraries
// Qt Multimedia itself depends on. A back end chosen in the environment still wins.
void chooseMediaBackend()
{
    static const bool chosen = [] {
        if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
            qputenv("QT_MEDIA_BACKEND", "ffmpeg");
        return true;
    }();
    Q_UNUSED(chosen);
}
}  // namespace

ClipPlayer::ClipPlayer(bool withControls, QWidget* parent) : QWidget(parent)
{
    chooseMediaBackend();
    m_player = new QMediaPlayer(this);
    m_audio = new QAudioOutput(this);
    m_player->setAudioOutput(m_audio);
    m_video = new QVideoWidget(this);
    m_video->setAspectRatioMode(Qt::KeepAspectRatio);
    m_player->setVideoOutput(m_video);

    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(2);
    box->addWidget(m_video, 1);
    // A clip that cannot be played says so where its picture would be.
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setWordWrap(true);
    m_status->setVisible(false);
    box->addWidget(m_status, 1);
    if (withControls) {
        auto* bar = new QHBoxLayout;
        m_play = new QToolButton(this);
        m_play->setObjectName(QStringLiteral("play"));
        m_play->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        m_play->setToolTip(QStringLiteral("Play"));
        m_position = new QSlider(Qt::Horizontal, this);
        m_position->setObjectName(QStringLiteral("position"));
        bar->addWidget(m_play);
        bar->addWidget(m_position, 1);
        box->addLayout(bar);
        connect(m_play, &QToolButton::clicked, this, [this] {
            if (m_player->playbackState() == QMediaPlayer::PlayingState)
                m_player->pause();
            else if (!m_player->source().isEmpty())
                m_player->play();
        });
        connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
            m_play->setIcon(style()->standardIcon(state == QMediaPlayer::PlayingState ? QStyle::SP_MediaPause
                                                                                        : QStyle::SP_MediaPlay));
        });
        connect(m_player, &QMediaPlayer::durationChanged, this,
                [this](qint64 ms) { m_position->setRange(0, int(qMin<qint64>(ms, INT_MAX))); });
        connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
            if (!m_position->isSliderDown())
                m_position->setValue(int(qMin<qint64>(ms, INT_MAX)));
        });
        connect(m_position, &QSlider::sliderMoved, this, [this](int ms) { m_player->setPosition(ms); });
    }

    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (m_opening && status == QMediaPlayer::LoadedMedia) {
            m_opening = false;
            emit streamOpened();
        }
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error, const QString& text) {
        m_opening = false;
        if (error != QMediaPlayer::NoError && !m_file.isEmpty())
            showError(text);
    });
}

void ClipPlayer::showError(const QString& reason)
{
    m_errorText = QStringLiteral("%1 cannot be played: %2")
                      .arg(QFileInfo(m_file).fileName(),
                           reason.isEmpty() ? QStringLiteral("the file is no video the player can read.") : reason);
    m_status->setText(m_errorText);
    m_status->setToolTip(m_errorText);
    m_video->setVisible(false);
    m_status->setVisible(true);
    emit playFailed(m_errorText);
}

void ClipPlayer::setFile(const QString& path, bool autoStart)
{
    m_file = path;
    m_errorText.clear();
    m_status->setVisible(false);
    m_video->setVisible(true);
    m_player->stop();
    // A pipe or a device named like a clip is never handed to the player, which would wait on it.
    if (!path.isEmpty() && !IsRegularFile(path)) {
        m_opening = false;
        m_player->setSource(QUrl());
        showError(QFileInfo::exists(path) ? QStringLiteral("it is no regular file (a pipe, a device or a folder).")
                                          : QStringLiteral("the file does not exist."));
        return;
    }
    m_opening = !path.isEmpty();
    m_player->setSource(path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path));
    if (path.isEmpty())
        return;
    if (autoStart)
        m_player->play();
    else
        m_player->pause();  // shows the first picture
}

QUrl ClipPlayer::source() const
{
    return m_player->source();
}
