#pragma once

class QWidget;

// Makes Qt's platform accessibility active as a listening client does with its first request to
// `window`; true if it is active afterwards. Qt tells update handlers and the platform of
// accessibility events only while it is. Windows: the request of a UI Automation client for the
// window's root element. The offscreen platform has no accessibility at all, and Linux only with
// an AT-SPI bus that asks for it: there this returns false.
bool attachAccessibilityClient(QWidget *window);
