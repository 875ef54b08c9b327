// The default error box, the "ERROR" box, and the wrapper every handler runs through.
#include "forms/ErrorBox.h"
#include "ModalBoxAnswerer.h"
#include "ScriptedMessageBoxes.h"
#include "WindowTest.h"
#include "data/InvexaError.h"
#include "forms/MessageBoxes.h"
#include "forms/admnMain.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <stdexcept>

using TKind = TScriptedMessageBoxes::TKind;

TEST(ErrorBoxText, AppendsAStopOnlyAfterACharacterAboveIt) {
    EXPECT_EQ(TErrorBox::Text("Disk full"), "Disk full.");
    EXPECT_EQ(TErrorBox::Text("Disk full."), "Disk full.");
    EXPECT_EQ(TErrorBox::Text("Really!"), "Really!");  // "!" is below "."
    EXPECT_EQ(TErrorBox::Text("a-"), "a-");            // "-" is just below "."
    EXPECT_EQ(TErrorBox::Text("C:/"), "C:/.");         // "/" is just above "."
    EXPECT_EQ(TErrorBox::Text("count 7"), "count 7."); // digits are above "."
    EXPECT_EQ(TErrorBox::Text("path )"), "path )");
    EXPECT_EQ(TErrorBox::Text(""), "");
    EXPECT_EQ(TErrorBox::Text("Caf\xC3\xA9"), QString::fromUtf8("Café."));
}

TEST(ErrorBoxGuard, SortsRefusalsFromErrorsAndStopsEveryException) {
    TScriptedMessageBoxes boxes;
    EXPECT_TRUE(TErrorBox::Guard(boxes, nullptr, [] {}));
    EXPECT_TRUE(boxes.Shown.empty());
    EXPECT_FALSE(TErrorBox::Guard(boxes, nullptr, [] { throw invexa::ERefusal("You must enter an EXE file name"); }));
    EXPECT_FALSE(TErrorBox::Guard(boxes, nullptr, [] { throw invexa::EInvexaError("Unable to write to x"); }));
    EXPECT_FALSE(TErrorBox::Guard(boxes, nullptr, [] { throw std::runtime_error("File access denied"); }));
    EXPECT_FALSE(TErrorBox::Guard(boxes, nullptr, [] { throw 42; }));
    ASSERT_EQ(boxes.Shown.size(), 4u);
    EXPECT_EQ(boxes.Shown[0].Kind, TKind::Refusal);
    EXPECT_EQ(boxes.Shown[0].Text, "You must enter an EXE file name");
    EXPECT_EQ(boxes.Shown[1].Kind, TKind::ErrorBox);
    EXPECT_EQ(boxes.Shown[1].Text, "Unable to write to x.");
    EXPECT_EQ(boxes.Shown[2].Text, "File access denied.");
    EXPECT_EQ(boxes.Shown[3].Kind, TKind::ErrorBox);
    EXPECT_FALSE(boxes.Shown[3].Text.isEmpty());
}

TEST(RealMessageBoxes, DefaultErrorBoxHasTheApplicationTitleStopIconAndOneOk) {
    TModalBoxAnswerer answerer(QMessageBox::Ok);
    EXPECT_FALSE(TErrorBox::Guard(TMessageBoxes::Instance(), nullptr,
                                  [] { throw invexa::EInvexaError("Cannot open file /x/user01.ivx"); }));
    ASSERT_EQ(answerer.Seen.size(), 1u);
    EXPECT_EQ(answerer.Seen[0].Title, "Invexa Admin");
    EXPECT_EQ(answerer.Seen[0].Text, "Cannot open file /x/user01.ivx.");
    EXPECT_EQ(answerer.Seen[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(answerer.Seen[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(answerer.Seen[0].Modal);
}

TEST(RealMessageBoxes, WarningIsYesNoAndOnlyYesProceeds) {
    {
        TModalBoxAnswerer answerer(QMessageBox::Yes);
        EXPECT_TRUE(TMessageBoxes::Instance().Warning(nullptr, "Delete them?"));
        ASSERT_EQ(answerer.Seen.size(), 1u);
        EXPECT_EQ(answerer.Seen[0].Title, "WARNING");
        EXPECT_EQ(answerer.Seen[0].Buttons, QMessageBox::Yes | QMessageBox::No);
    }
    TModalBoxAnswerer answerer(QMessageBox::No);
    EXPECT_FALSE(TMessageBoxes::Instance().Warning(nullptr, "Delete them?"));
    ASSERT_EQ(answerer.Seen.size(), 1u);
}

TEST(RealMessageBoxes, ConfirmIsOkCancelWithAQuestionMark) {
    TModalBoxAnswerer answerer(QMessageBox::Cancel);
    EXPECT_FALSE(TMessageBoxes::Instance().Confirm(nullptr, "Delete record?"));
    ASSERT_EQ(answerer.Seen.size(), 1u);
    EXPECT_EQ(answerer.Seen[0].Title, "Confirm");
    EXPECT_EQ(answerer.Seen[0].Icon, QMessageBox::Question);
    EXPECT_EQ(answerer.Seen[0].Buttons, QMessageBox::Ok | QMessageBox::Cancel);
}

// The window with the program's real boxes: a refused entry comes up as a real modal "ERROR" box.
TEST_F(WindowTest, RefusedEntryShowsTheRealErrorCaptionedBox) {
    CreateDatabase();
    Start(&TMessageBoxes::Instance());
    TModalBoxAnswerer answerer(QMessageBox::Ok);
    QTest::mouseClick(Find<QPushButton>("AddBtn"), Qt::LeftButton);
    ASSERT_EQ(answerer.Seen.size(), 1u);
    EXPECT_EQ(answerer.Seen[0].Title, "ERROR");
    EXPECT_EQ(answerer.Seen[0].Text, "You must enter an Application Maker");
    EXPECT_EQ(answerer.Seen[0].Icon, QMessageBox::NoIcon);
    EXPECT_EQ(answerer.Seen[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_FALSE(window->ChangeFlags().Any());
    EXPECT_TRUE(window->isVisible());
}
