// The default error box's text, and the program's real message boxes behind the wrapper every handler runs through.
#include "FormsFixture.h"
#include "base/InvexaError.h"
#include "forms/ErrorBox.h"
#include "forms/MessageBoxes.h"

#include <QMessageBox>

// Presses a button of every real QMessageBox that comes up while it lives: a zero-delay timer looks for the
// active modal widget from inside the box's own event loop.
class TModalBoxAnswerer : public QObject {
public:
    QStringList Seen; // the texts of the boxes answered

    explicit TModalBoxAnswerer(QMessageBox::StandardButton press) {
        connect(&timer_, &QTimer::timeout, this, [this, press] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            Seen << box->text();
            box->button(press) ? box->button(press)->click() : box->reject();
        });
        timer_.start(0);
    }

private:
    QTimer timer_;
};

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
        EXPECT_EQ(ErrorBox::Text(message), QString::fromUtf8(shown)) << message;
}

// The program's real boxes, answered by pressing a real button: only Yes and OK proceed, and the guard stops
// whatever a handler throws, even what is not a standard exception.
TEST(RealMessageBoxes, TheGuardStopsEveryExceptionAndOnlyYesOrOkProceed) {
    TMessageBoxes real;
    const std::tuple<std::function<bool()>, QMessageBox::StandardButton, bool> cases[] = {
        {[&] { return ErrorBox::Guard(real, nullptr, [] { throw 42; }); }, QMessageBox::Ok, false},
        {[&] { return ErrorBox::Guard(real, nullptr, [] { throw invexa::ERefusal("You must"); }); }, QMessageBox::Ok,
         false},
        {[&] { return real.Warning(nullptr, "Sure?"); }, QMessageBox::No, false},
        {[&] { return real.Warning(nullptr, "Sure?"); }, QMessageBox::Yes, true},
        {[&] { return real.Confirm(nullptr, "Delete record?"); }, QMessageBox::Ok, true},
        {[&] { return real.Confirm(nullptr, "Delete record?"); }, QMessageBox::Cancel, false},
    };
    for (const auto &[ask, press, proceeds] : cases) {
        TModalBoxAnswerer answerer(press);
        EXPECT_EQ(ask(), proceeds) << press;
        EXPECT_EQ(answerer.Seen.size(), 1u) << press;
    }
}
