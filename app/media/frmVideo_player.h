#pragma once
#include <QString>
#include <QUrl>
#include <QWidget>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;
class QVideoWidget;

// The clip player of the video windows: a video picture with, when asked, a play button
// and a position bar. Setting the file opens that clip; "" empties the player.
class ClipPlayer : public QWidget {
    Q_OBJECT
public:
    explicit ClipPlayer(bool withControls, QWidget* parent = nullptr);

    // Opens the clip (starting it when autoStart), or empties the player for "".
    void setFile(const QString& path, bool autoStart);
    // The file name as last set.
    QString file() const { return m_file; }
    // What the media player holds.
    QUrl source() const;
    QMediaPlayer* player() const { return m_player; }
    // Why the clip last set cannot be played, as shown in place of its picture; "" when it
    // plays (or is still opening).
    QString errorText() const { return m_errorText; }

signals:
    // A newly set clip has been opened (once per setFile).
    void streamOpened();
    // The clip last set cannot be played; text says why (the player's own words).
    void playFailed(const QString& text);

private:
    QMediaPlayer* m_player;
    QAudioOutput* m_audio;
    QVideoWidget* m_video;
    QLabel* m_status;
    QToolButton* m_play = nullptr;
    QSlider* m_position = nullptr;
    QString m_file;
    bool m_opening = false;
    QString m_errorText;

    void showError(const QString& reason);
};
