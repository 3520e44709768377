#include "ui/keycodes.h"

#include <Qt>

namespace zarvo::ui {

int toVirtualKey(int qtKey)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return '0' + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return vk::F1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace:
        return vk::Back;
    case Qt::Key_Tab:
        return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return vk::Return;
    case Qt::Key_Shift:
        return vk::Shift;
    case Qt::Key_Control:
        return vk::Control;
    case Qt::Key_Alt:
        return vk::Menu;
    case Qt::Key_Escape:
        return vk::Escape;
    case Qt::Key_Space:
        return vk::Space;
    case Qt::Key_PageUp:
    case Qt::Key_ChannelUp:
        return vk::Prior;
    case Qt::Key_PageDown:
    case Qt::Key_ChannelDown:
        return vk::Next;
    case Qt::Key_Back:
        return vk::BrowserBack;
    case Qt::Key_Info:
        return vk::Info;
    case Qt::Key_MediaRecord:
        return vk::Record;
    case Qt::Key_End:
        return vk::End;
    case Qt::Key_Home:
        return vk::Home;
    case Qt::Key_Left:
        return vk::Left;
    case Qt::Key_Up:
        return vk::Up;
    case Qt::Key_Right:
        return vk::Right;
    case Qt::Key_Down:
        return vk::Down;
    case Qt::Key_Insert:
        return vk::Insert;
    case Qt::Key_Delete:
        return vk::Delete;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return vk::Comma;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return vk::Period;
    default:
        return 0;
    }
}

} // namespace zarvo::ui
