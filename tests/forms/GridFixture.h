#pragma once
#include "ScriptedMessageBoxes.h"
#include "data/ResultRow.h"
#include "data/results.h"
#include "forms/ResultsGrid.h"
#include "forms/ResultsModel.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// The results grid and its model alone, over a real table in a fresh folder, shown offscreen.
class GridFixture : public ::testing::Test {
protected:
    // Row i: user "u<i>", maker makers[i], application apps[i]; versions and paths from the index.
    void Fill(const std::vector<std::pair<std::string, std::string>> &apps);
    // n rows "u<i>", "M<i % 7>", "A<i % 11>" in one transaction.
    void FillMany(int n);
    void Show();

    // Clicks the row's cell (column 1 unless told) with the button and modifiers, as a user would.
    void Click(int row, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               int column = 1);
    // A key press where the user's keys go: the focused widget (the cell editor).
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void Type(const QString &text);
    // The selected rows' positions, in table order.
    std::vector<int> SelectedRows() const;
    // All rows as the table holds them now, read past the model.
    std::vector<invexa::TResultRow> StoredRows();
    QString Shown(int row, int column) const;
    QString EditorText() const;

    invexa::test::TTempDir dir;
    TScriptedMessageBoxes boxes;
    std::unique_ptr<invexa::TDataModule1> data;
    std::unique_ptr<TResultsGrid> grid;
    TResultsModel *model = nullptr;
};
