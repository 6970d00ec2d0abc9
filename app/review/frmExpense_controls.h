#pragma once
#include <QComboBox>

// A combo box that can be locked like a text box: it keeps showing its entry and takes
// focus, but the user cannot change the choice while it is locked.
class LockableComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(bool locked READ locked WRITE setLocked)
public:
    explicit LockableComboBox(QWidget* parent = nullptr) : QComboBox(parent) {}

    bool locked() const { return m_locked; }
    void setLocked(bool on) { m_locked = on; }

    void showPopup() override
    {
        if (!m_locked)
            QComboBox::showPopup();
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (!m_locked)
            QComboBox::mousePressEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!m_locked)
            QComboBox::keyPressEvent(event);
    }
    void wheelEvent(QWheelEvent* event) override
    {
        if (!m_locked)
            QComboBox::wheelEvent(event);
    }

private:
    bool m_locked = false;
};
