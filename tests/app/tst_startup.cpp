#include "app/identity.h"
#include "fixedpitch.h"
#include "mainwindowaccess.h"
#include "testmain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextCursor>
#include <QTreeWidget>

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void identityAndGeometry();
    void initialStateOfTheWidgets();
    void leftPanelKeepsItsWidthBounds();
    void tablesAreReadOnlyWithWholeRowSelection();
    void iconResourceHoldsSixSizes();
};

void StartupTest::identityAndGeometry()
{
    QCOMPARE(appDisplayName(), QStringLiteral("Quillwick"));
    QCOMPARE(appVersion(), QStringLiteral("2.0"));

    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillwick v2.0"));
    QCOMPARE(window.size(), QSize(1200, 1000));
    QCOMPARE(window.minimumSize(), QSize(1000, 700));

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(400, 300);
    QCoreApplication::processEvents();
    QVERIFY(window.width() >= 1000);
    QVERIFY(window.height() >= 700);
}

void StartupTest::initialStateOfTheWidgets()
{
    MainWindow window;
    MainWindowAccess ui(window);

    QCOMPARE(ui.mainTabs()->currentIndex(), 0);
    QCOMPARE(ui.mainTabs()->tabText(0), QStringLiteral("命令详情"));
    QVERIFY(!ui.stopBtn()->isEnabled());
    QVERIFY(ui.waitFinishCheck()->isChecked());
    QVERIFY(!ui.runAsAdminCheck()->isChecked());
    QCOMPARE(ui.pageSizeCombo()->currentText(), QStringLiteral("20"));
    QCOMPARE(ui.pageSize(), 20);
    QCOMPARE(ui.statusLabel()->text(), QStringLiteral("就绪"));
    QVERIFY(!ui.outputEdit()->isReadOnly());
    QVERIFY(ui.detailCommandEdit()->isReadOnly());
    QVERIFY(ui.detailDescriptionEdit()->isReadOnly());
    // Console output keeps its columns: a fixed-pitch font, not the style sheet's "Microsoft
    // YaHei" that every other widget gets.
    for (QWidget *box :
         {static_cast<QWidget *>(ui.outputEdit()), static_cast<QWidget *>(ui.detailCommandEdit()),
          static_cast<QWidget *>(ui.detailDescriptionEdit())}) {
        box->ensurePolished();
        QCOMPARE(box->font().family(), QStringLiteral("Consolas"));
        QCOMPARE(box->font().pointSize(), 10);
        QVERIFY(advancesAlike(box->font()));
    }
    // A TAB reaches the next multiple of 8 columns, as in a console, not the next 80 pixels.
    QPlainTextEdit *pane = ui.outputEdit();
    pane->setPlainText(QStringLiteral("ab\tX\n12345678X"));
    QTextCursor afterTab(pane->document());
    afterTab.setPosition(3);
    QTextCursor afterEight(pane->document());
    afterEight.setPosition(13);
    QCOMPARE(pane->cursorRect(afterTab).left(), pane->cursorRect(afterEight).left());
    pane->clear();
    QCOMPARE(ui.categoryTree()->maximumHeight(), 210);
    // No run is open: no child, no time-out.
    QVERIFY(!ui.process());
    QVERIFY(!ui.timeoutTimer());

    // Start-up loads the first category, so the label already shows its first page.
    QVERIFY(ui.categoryTree()->currentItem());
    QCOMPARE(ui.categoryTree()->indexOfTopLevelItem(ui.categoryTree()->currentItem()), 0);
    QVERIFY(ui.pageInfoLabel()->text().startsWith(QStringLiteral("第 1/")));
}

void StartupTest::leftPanelKeepsItsWidthBounds()
{
    MainWindow window;
    MainWindowAccess ui(window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *splitter = window.findChild<QSplitter *>();
    QVERIFY(splitter);
    QVERIFY(!splitter->childrenCollapsible());
    QWidget *leftPanel = splitter->widget(0);
    QCOMPARE(splitter->widget(1), static_cast<QWidget *>(ui.mainTabs()));

    for (const QSize size : {QSize(1000, 700), QSize(1200, 1000), QSize(2400, 1000)}) {
        window.resize(size);
        QTest::qWait(20);
        QVERIFY2(leftPanel->width() >= 340 && leftPanel->width() <= 420,
                 qPrintable(QString::number(leftPanel->width())));
        QVERIFY(ui.mainTabs()->width() > leftPanel->width());
    }

    // All extra width goes to the tabs.
    window.resize(1200, 1000);
    QTest::qWait(20);
    const int tabsAt1200 = ui.mainTabs()->width();
    window.resize(1600, 1000);
    QTest::qWait(20);
    QVERIFY(ui.mainTabs()->width() - tabsAt1200 >= 400 - 80);
}

void StartupTest::tablesAreReadOnlyWithWholeRowSelection()
{
    MainWindow window;
    MainWindowAccess ui(window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    for (QTableWidget *table : {ui.commandTable(), ui.savedCommandsTable()}) {
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(table->rowCount() > 0);
    }
    QCOMPARE(ui.commandTable()->selectionMode(), QAbstractItemView::SingleSelection);

    // A double-click on the saved commands table selects the whole row and edits nothing.
    QTableWidget *saved = ui.savedCommandsTable();
    const QString before = saved->item(0, 1)->text();
    const QRect cell = saved->visualItemRect(saved->item(0, 1));
    QTest::mouseDClick(saved->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClicks(saved, QStringLiteral("xyz"));
    QCOMPARE(saved->item(0, 1)->text(), before);
    QVERIFY(!saved->isPersistentEditorOpen(saved->item(0, 1)));
    QVERIFY(saved->item(0, 0)->isSelected());
}

void StartupTest::iconResourceHoldsSixSizes()
{
    QImageReader reader(QStringLiteral(":/app/ostrid.ico"));
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QList<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY(!image.isNull());
        QCOMPARE(image.width(), image.height());
        QVERIFY(image.hasAlphaChannel());
        sizes.append(image.width());
    }
    std::sort(sizes.begin(), sizes.end());
    QCOMPARE(sizes, (QList<int>{16, 32, 48, 64, 128, 256}));

    const QIcon icon(QStringLiteral(":/app/ostrid.ico"));
    QVERIFY(!icon.isNull());
}

QUILLWICK_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
