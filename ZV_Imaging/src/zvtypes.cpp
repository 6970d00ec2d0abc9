#include "zvtypes.h"

namespace zv {

Error::Error(int number, const QString& text) : std::runtime_error(text.toStdString()), m_number(number), m_text(text) {}

QColor oleToColor(quint32 ole, const QPalette& pal)
{
    if (ole & 0x80000000u) {
        switch (ole & 0xFFu) {
        case 0x05: return pal.color(QPalette::Base);
        case 0x08: return pal.color(QPalette::Text);
        case 0x0D: return pal.color(QPalette::Highlight);
        case 0x0E: return pal.color(QPalette::HighlightedText);
        case 0x0F: return pal.color(QPalette::Button);
        case 0x12: return pal.color(QPalette::ButtonText);
        case 0x11: return pal.color(QPalette::Disabled, QPalette::Text);
        case 0x18: return pal.color(QPalette::ToolTipBase);
        case 0x17: return pal.color(QPalette::ToolTipText);
        case 0x06: return pal.color(QPalette::Dark);
        case 0x07: return pal.color(QPalette::WindowText);
        default: return pal.color(QPalette::Window);
        }
    }
    return QColor(int(ole & 0xFF), int((ole >> 8) & 0xFF), int((ole >> 16) & 0xFF));
}

}  // namespace zv
