#pragma once

class QWidget;

// Makes Qt's platform accessibility active as a client's first request to `window` does (Windows:
// UI Automation's request for the root element); true if it is active then. Qt tells handlers of
// events only while it is. The offscreen platform has none; Linux only with an AT-SPI bus.
bool attachAccessibilityClient(QWidget *window);
