#pragma once
#include <QFont>

// What the program's windows share in their look: the designed font and the pictures.
class TWindowLook {
public:
    // "MS Sans Serif" at the designed pixel height; where that face is missing, the system's sans-serif.
    static QFont DesignFont(int pixelSize);
    // The pictures live in a static library, whose resource initialiser the linker would otherwise drop.
    static void InitResources();
};
