#pragma once
#include <QFont>

// What the program's windows share in their look: the application's title, the designed font and the pictures.
namespace WindowLook {
// The application's title "Invexa Admin" and version. No display name is set: Qt would append it to the title
// the window system shows for every window, and each window's title is exactly its own caption.
void InitApplication();
// "MS Sans Serif" at the designed pixel height; where that face is missing, Liberation Sans (installed with the
// program), whose Arial metrics come close enough that every designed caption fits its designed width.
QFont DesignFont(int pixelSize);
// The pictures live in a static library, whose resource initialiser the linker would otherwise drop.
void InitResources();
} // namespace WindowLook
