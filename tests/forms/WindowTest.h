#pragma once
#include "ScriptedMessageBoxes.h"
#include "data/RsltsLst.h"
#include "data/results.h"
#include "forms/about.h"
#include "forms/admnMain.h"
#include "forms/mergmess.h"
#include "support/TempDir.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A fresh working folder and, on Start, the program's four long-lived objects created in the program's order
// with their global references, the main window shown. The folder is the current directory meanwhile.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Results.sqlite with the empty table.
    void CreateDatabase();
    void WriteIni(const std::string &text);
    std::string ReadIni() const;
    bool IniExists() const;
    // A scan data file at a path relative to the working folder (folders made as needed).
    void WriteScanFile(const std::string &relativePath, const std::vector<invexa::TResultsRec> &records);
    // A row stored in the table before the program starts.
    void StoreRow(const std::string &user, const std::string &maker, const std::string &app);

    // Creates the window, the data module, the about box and the progress window, then shows the window.
    void Start(IMessageBoxes *boxes = nullptr);
    void Stop();

    // Waits, processing events, until the condition holds or the timeout passes; returns the condition.
    static bool WaitFor(const std::function<bool()> &condition, int timeoutMs = 5000);
    // Resizes the window's client area and waits until the window has it.
    void ResizeClient(int width, int height);

    template <class W> W *Find(const char *name) const {
        W *widget = window->findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    std::vector<QString> Items(const char *listName) const;
    static invexa::TResultsRec Record(const std::string &maker, const std::string &app, const std::string &version,
                                      int verification, const std::string &path);

    invexa::test::TTempDir dir;
    TScriptedMessageBoxes boxes;
    std::unique_ptr<TRuvolaform> window;
    std::unique_ptr<invexa::TDataModule1> dataModule;
    std::unique_ptr<TAboutBox> aboutBox;
    std::unique_ptr<TmergemessFm> progress;

private:
    std::filesystem::path previousDir_;
};
