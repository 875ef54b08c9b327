#pragma once
#include <QFont>

// What the program's windows share in their look: the application's title, the designed font and the pictures.
class TWindowLook {
public:
    // The application's title "Invexa Admin" and version. No display name is set: Qt would append it to the title
    // the window system shows for every window, and each window's title is exactly its own caption.
    static void InitApplication();
    // "MS Sans Serif" at the designed pixel height; where that face is missing, Liberation Sans (installed with the
    // program), whose Arial metrics come close enough that every designed caption fits its designed width.
    static QFont DesignFont(int pixelSize);
    // The pictures live in a static library, whose resource initialiser the linker would otherwise drop.
    static void InitResources();
};
