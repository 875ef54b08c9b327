#include "forms/WindowLook.h"

#include <QStringList>
#include <QtGlobal>

// Q_INIT_RESOURCE declares its initialiser at block scope, which must resolve in the global namespace.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

QFont TWindowLook::DesignFont(int pixelSize) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setFamilies(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

void TWindowLook::InitResources() {
    static const bool done = (InitIconResources(), true);
    (void)done;
}
