// The Software page on a merged table: counts, filter, Versions, sort by title, the users of a line, its CSV,
// and a count again after the table changed.
#include "forms/SoftwarePage.h"
#include "FormsFixture.h"
#include "forms/CatalogueModel.h"
#include "forms/InstallsChart.h"

#include <QAbstractItemModelTester>
#include <QFileDialog>
#include <QTableView>

using SoftwarePageTest = FormsTest;

namespace {

// The lines shown, each "maker|app[|version]|installs", joined with "/".
QString Lines(const TCatalogueModel *model) {
    QStringList lines;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->index(r, c).data().toString();
        lines << cells.join('|');
    }
    return lines.join('/');
}

} // namespace

TEST_F(SoftwarePageTest, FiltersSortsListsUsersWritesCsvAndCountsAgainAfterChanges) {
    // Scan files hold Windows-1252: "\xc9" is a capital E acute. alice has Acme Tool twice: one install.
    WriteScanFile("alice.ivx", {{"Acme", "Tool"},
                                {"Acme", "Tool"},
                                {"\xc9"
                                 "clair",
                                 "Paint"}});
    WriteScanFile("bob.ivx", {{"acme", "Tool"}, {"Zeta", "Zip"}});
    WriteScanFile("carol.ivx", {{"Acme", "Tool"}});
    Start();
    TSoftwarePage *page = window->SoftwareSheet;
    ASSERT_EQ(window->PageControl1->tabText(2), "Software");
    QSignalSpy counted(page, &TSoftwarePage::Counted);
    window->PageControl1->setCurrentWidget(page);
    ASSERT_TRUE(counted.wait(10000));
    TCatalogueModel *model = page->CatalogueModel;
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(Lines(model), "Acme|Tool|2/acme|Tool|1/Zeta|Zip|1/\u00c9clair|Paint|1");
    EXPECT_EQ(page->InstallsChart->Bars().size(), 4u);
    EXPECT_EQ(page->InstallsChart->Bars()[0].Label, "Acme Tool");

    page->FilterEB->setText("\u00e9CL");
    EXPECT_EQ(Lines(model), "\u00c9clair|Paint|1");
    page->FilterEB->clear();
    // Sorting by a title: maker up (case folded, then character code), maker down, installs up.
    QHeaderView *titles = page->CatalogueGrid->horizontalHeader();
    const std::vector<std::pair<int, QString>> sorts = {{0, "Acme|Tool|2/acme|Tool|1/Zeta|Zip|1/\u00c9clair|Paint|1"},
                                                        {0, "\u00c9clair|Paint|1/Zeta|Zip|1/acme|Tool|1/Acme|Tool|2"},
                                                        {2, "acme|Tool|1/Zeta|Zip|1/\u00c9clair|Paint|1/Acme|Tool|2"}};
    for (const auto &[column, shown] : sorts) {
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                          QPoint(titles->sectionViewportPosition(column) + 5, titles->height() / 2));
        EXPECT_EQ(Lines(model), shown) << column;
    }
    QTest::mouseClick(page->VersionsCB, Qt::LeftButton);
    EXPECT_EQ(model->columnCount(), 4);
    QTest::mouseClick(page->VersionsCB, Qt::LeftButton);
    titles->setSortIndicator(2, Qt::DescendingOrder);

    QSignalSpy listed(page, &TSoftwarePage::UsersListed);
    page->CatalogueGrid->setCurrentIndex(model->index(0, 0));
    ASSERT_TRUE(listed.wait(10000));
    EXPECT_EQ(Items("UsersLB"), "alice|carol");

    // The CSV button, through the real file dialog, writes the lines shown in the order shown.
    page->FilterEB->setText("e");
    const std::string csv = dir.File("shown.csv");
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            dialog->selectFile(QString::fromStdString(csv));
            static_cast<QDialog *>(dialog)->accept();
        }
    });
    answer.start(0);
    ClickButton("CatalogueCSVBtn");
    answer.stop();
    EXPECT_EQ(dir.Read("shown.csv"), "AppMaker,AppName,Installs\r\nAcme,Tool,2\r\nacme,Tool,1\r\nZeta,Zip,1\r\n");

    // A later count replaces an earlier one still running: only the count of the table as it is now shows.
    page->FilterEB->clear();
    page->Refresh();
    dataModule->database.Connection().exec("DELETE FROM Results WHERE UserName = 'bob'");
    page->Refresh();
    ASSERT_TRUE(counted.wait(10000));
    EXPECT_EQ(Lines(model), "Acme|Tool|2/\u00c9clair|Paint|1");
    EXPECT_EQ(counted.count(), 2);

    // Deleting through the grid marks the page; it counts again when shown.
    window->PageControl1->setCurrentWidget(window->ResultsSheet);
    boxes.Answers = {true};
    Click(0, Qt::RightButton);
    Menu("DelallReferencesMI");
    window->PageControl1->setCurrentWidget(page);
    ASSERT_TRUE(counted.wait(10000));
    EXPECT_EQ(Lines(model), "\u00c9clair|Paint|1");
}
