#include "accessibilityclient.h"

#include <QAccessible>
#include <QWidget>

#include <windows.h>

bool attachAccessibilityClient(QWidget *window)
{
    // UiaRootObjectId of uiautomationcoreapi.h: the object a UI Automation client asks a window
    // for first.
    constexpr LPARAM kUiaRootObjectId = -25;
    SendMessageW(reinterpret_cast<HWND>(window->winId()), WM_GETOBJECT, 0, kUiaRootObjectId);
    return QAccessible::isActive();
}
