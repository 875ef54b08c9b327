#include "forms/WindowLook.h"

#include <QApplication>
#include <QStringList>
#include <QtGlobal>

// Q_INIT_RESOURCE declares its initialiser at block scope, which must resolve in the global namespace.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

void WindowLook::InitApplication() {
    QApplication::setApplicationName(QStringLiteral("Invexa Admin"));
    QApplication::setApplicationVersion(QStringLiteral(INVEXA_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Ruvola"));
    // The about box and the progress window must not keep the program alive once the main window has closed.
    QApplication::setQuitOnLastWindowClosed(false);
}

QFont WindowLook::DesignFont(int pixelSize) {
    QFont font(QStringLiteral("MS Sans Serif"));
    // Arimo and Arial share Liberation Sans's metrics; the system's sans-serif is the last resort.
    font.setFamilies(QStringList{QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                                 QStringLiteral("Arimo"), QStringLiteral("Arial"), QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

void WindowLook::InitResources() {
    static const bool done = (InitIconResources(), true);
    (void)done;
}
