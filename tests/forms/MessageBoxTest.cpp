// The default error box's text, and the program's real message boxes behind the wrapper every handler runs through.
#include "FormsFixture.h"
#include "base/InvexaError.h"
#include "forms/ErrorBox.h"
#include "forms/MessageBoxes.h"

TEST(ErrorBox, AppendsAStopOnlyAfterACharacterAboveIt) {
    const std::pair<const char *, const char *> cases[] = {{"Disk full", "Disk full."},
                                                           {"Disk full.", "Disk full."},
                                                           {"Really!", "Really!"}, // "!" is below "."
                                                           {"a-", "a-"},
                                                           {"C:/", "C:/."},
                                                           {"count 7", "count 7."},
                                                           {"", ""},
                                                           {"Caf\xC3\xA9", "Caf\xC3\xA9."}};
    for (const auto &[message, shown] : cases)
        EXPECT_EQ(TErrorBox::Text(message), QString::fromUtf8(shown)) << message;
}

// Each box as the user sees it, answered by pressing a real button; only Yes and OK proceed.
TEST(RealMessageBoxes, CaptionIconButtonsAndAnswerOfEachBox) {
    struct TCase {
        std::function<bool()> Ask;
        QMessageBox::StandardButton Press;
        bool Proceeds;
        QString Title;
        QMessageBox::Icon Icon;
        QMessageBox::StandardButtons Buttons;
    };
    // Once a display name is set, Qt appends it to the title the window system shows for every window; while none
    // is, it follows the application name, and each title is exactly its caption.
    const QString title = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName("renamed");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "renamed");
    QCoreApplication::setApplicationName(title);
    auto &real = TMessageBoxes::Instance();
    const TCase cases[] = {
        // Even what is not a standard exception stops in the wrapper.
        {[&] { return TErrorBox::Guard(real, nullptr, [] { throw 42; }); }, QMessageBox::Ok, false, "Invexa Admin",
         QMessageBox::Critical, QMessageBox::Ok},
        {[&] { return TErrorBox::Guard(real, nullptr, [] { throw invexa::ERefusal("You must"); }); }, QMessageBox::Ok,
         false, "ERROR", QMessageBox::NoIcon, QMessageBox::Ok},
        {[&] { return real.Warning(nullptr, "Sure?"); }, QMessageBox::No, false, "WARNING", QMessageBox::NoIcon,
         QMessageBox::Yes | QMessageBox::No},
        {[&] { return real.Confirm(nullptr, "Delete record?"); }, QMessageBox::Ok, true, "Confirm",
         QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel},
        {[&] { return real.Confirm(nullptr, "Delete record?"); }, QMessageBox::Cancel, false, "Confirm",
         QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel},
    };
    for (const TCase &c : cases) {
        TModalBoxAnswerer answerer(c.Press);
        EXPECT_EQ(c.Ask(), c.Proceeds) << c.Title.toStdString();
        ASSERT_EQ(answerer.Seen.size(), 1u) << c.Title.toStdString();
        EXPECT_EQ(answerer.Seen[0].Title, c.Title);
        EXPECT_EQ(answerer.Seen[0].Icon, c.Icon) << c.Title.toStdString();
        EXPECT_EQ(answerer.Seen[0].Buttons, c.Buttons) << c.Title.toStdString();
        // Without an icon there is no room kept for one.
        EXPECT_EQ(answerer.Seen[0].TextIndent == 0, c.Icon == QMessageBox::NoIcon) << c.Title.toStdString();
    }
}
