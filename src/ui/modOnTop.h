#pragma once

class QWidget;
class clsOnTop;

// Makes a window topmost (true) or normal (false) without moving or resizing it.
void SetOnTop(clsOnTop& onTop, QWidget& form, bool topmost);
