#pragma once
// A named pipe that no reader may open, for tests of the lists and readers of media files.
// A writer waits on it in a thread of its own: a reader that opens it (the fault) meets that
// writer at once and reads the end of the file, so the test never hangs, and opened() tells.
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class PipeWatch {
public:
    explicit PipeWatch(const QString& path) : m_path(QFile::encodeName(path))
    {
        m_made = ::mkfifo(m_path.constData(), 0644) == 0;
        if (!m_made)
            return;
        // Each open by a reader is met, however often it comes, until the watch ends.
        m_writer = std::thread([this] {
            while (!m_closing.load()) {
                const int fd = ::open(m_path.constData(), O_WRONLY | O_CLOEXEC);
                if (!m_closing.load())
                    m_opened.store(true);
                if (fd >= 0)
                    ::close(fd);
            }
            m_done.store(true);
        });
    }
    ~PipeWatch()
    {
        if (!m_made)
            return;
        // Our own readers let the waiting writer go, until it has seen that the watch ends.
        m_closing.store(true);
        while (!m_done.load()) {
            const int fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (fd >= 0)
                ::close(fd);
        }
        m_writer.join();
        ::unlink(m_path.constData());
    }
    PipeWatch(const PipeWatch&) = delete;
    PipeWatch& operator=(const PipeWatch&) = delete;

    bool made() const { return m_made; }
    // True once anything opened the pipe for reading.
    bool opened() const { return m_opened.load(); }

private:
    QByteArray m_path;
    bool m_made = false;
    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_done{false};
    std::thread m_writer;
};
