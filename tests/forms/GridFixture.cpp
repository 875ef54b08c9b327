#include "GridFixture.h"

#include "data/ResultsDatabase.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

void GridFixture::Fill(const std::vector<std::pair<std::string, std::string>> &apps) {
    ASSERT_TRUE(invexa::TResultsDatabase::Create(dir.Path()));
    data = std::make_unique<invexa::TDataModule1>(dir.Path());
    auto &table = data->resultsTbl;
    table.Open();
    SQLite::Transaction transaction(data->database.Connection());
    for (std::size_t i = 0; i < apps.size(); ++i) {
        table.Append();
        table.SetField(invexa::TField::UserName, "u" + std::to_string(i));
        table.SetField(invexa::TField::AppMaker, apps[i].first);
        table.SetField(invexa::TField::AppName, apps[i].second);
        table.SetField(invexa::TField::Version, std::to_string(i));
        table.SetField(invexa::TField::Verification, static_cast<int>(i % 4) - 1);
        table.SetField(invexa::TField::AppPath, "C:\\p" + std::to_string(i));
        table.Post();
    }
    transaction.commit();
}

void GridFixture::FillMany(int n) {
    std::vector<std::pair<std::string, std::string>> apps;
    for (int i = 0; i < n; ++i)
        apps.emplace_back("M" + std::to_string(i % 7), "A" + std::to_string(i % 11));
    Fill(apps);
}

void GridFixture::Show() {
    grid = std::make_unique<TResultsGrid>();
    grid->SetMessageBoxes(&boxes);
    model = new TResultsModel(*data, grid.get());
    grid->SetResultsModel(model);
    grid->resize(700, 400);
    grid->show();
    QApplication::setActiveWindow(grid.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    grid->setFocus();
}

void GridFixture::Click(int row, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int column) {
    const QModelIndex index = model->index(row, column);
    grid->scrollTo(index);
    const QPoint at = grid->visualRect(index).center();
    // The current cell is covered by its editor, which receives the click there.
    QWidget *target = grid->viewport()->childAt(at);
    if (!target)
        target = grid->viewport();
    QTest::mouseClick(target, button, modifiers, target->mapFrom(grid->viewport(), at));
}

void GridFixture::Key(int key, Qt::KeyboardModifiers modifiers) {
    QWidget *target = QApplication::focusWidget();
    QTest::keyClick(target ? target : grid.get(), static_cast<Qt::Key>(key), modifiers);
}

void GridFixture::Type(const QString &text) {
    QWidget *target = QApplication::focusWidget();
    ASSERT_TRUE(qobject_cast<QLineEdit *>(target)) << "no cell editor has the focus";
    auto *edit = static_cast<QLineEdit *>(target);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

std::vector<int> GridFixture::SelectedRows() const {
    std::vector<int> rows;
    for (std::int64_t bookmark : model->Selection())
        rows.push_back(model->RowOfBookmark(bookmark));
    return rows;
}

std::vector<invexa::TResultRow> GridFixture::StoredRows() {
    return data->resultsTbl.ReadAfter(0, 1 << 30);
}

QString GridFixture::Shown(int row, int column) const {
    return model->index(row, column).data().toString();
}

QString GridFixture::EditorText() const {
    auto *edit = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    return edit ? edit->text() : QString();
}
