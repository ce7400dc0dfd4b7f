// The window on the screens it must fit: this test runs once per screen of tests/support/screens
// (see tests/CMakeLists.txt), each given to the offscreen platform as its only screen.
#include "mainwindowaccess.h"
#include "testmain.h"
#include "ui/paging.h"

#include <QAbstractButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

QRect rectIn(QWidget *widget, QWidget *ancestor)
{
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

QString describe(QWidget *widget, QWidget *ancestor)
{
    const QRect r = rectIn(widget, ancestor);
    QString name = widget->metaObject()->className();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        name += QLatin1Char(' ') + button->text();
    return QStringLiteral("%1 at %2,%3 %4x%5 in %6x%7")
        .arg(name)
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .arg(ancestor->width())
        .arg(ancestor->height());
}

} // namespace

class LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void pagerShowsItsWholeTexts();
    void windowOpensInsideTheAvailableArea();
};

void LayoutTest::pagerShowsItsWholeTexts()
{
    MainWindow window;
    MainWindowAccess ui(window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *splitter = window.findChild<QSplitter *>();
    QWidget *leftPanel = splitter->widget(0);

    QLabel *pageLabel = ui.pageInfoLabel();
    QLabel *sizeLabel = nullptr;
    for (QLabel *label : leftPanel->findChildren<QLabel *>()) {
        if (label->text() == QStringLiteral("每页显示:"))
            sizeLabel = label;
    }
    QVERIFY(sizeLabel);
    QList<QWidget *> pager{pageLabel};
    for (const char *text : {"首页", "上一页", "下一页", "尾页"})
        pager.append(findButton(leftPanel, QString::fromUtf8(text)));
    pager << sizeLabel << ui.pageSizeCombo();

    // At the width the panel opens with and at the narrowest that the splitter allows.
    for (const bool narrowest : {false, true}) {
        if (narrowest) {
            splitter->setSizes({0, splitter->width()});
            QTest::qWait(20);
        }
        QVERIFY2(leftPanel->width() <= 420, qPrintable(QString::number(leftPanel->width())));

        // The longest label the catalog can make: all 717 commands at 10 a page.
        for (const QString &text : {pageLabel->text(), pageInfoText(71, 717, 10)}) {
            const int needed = pageLabel->fontMetrics().horizontalAdvance(text);
            QVERIFY2(needed <= pageLabel->contentsRect().width(),
                     qPrintable(QStringLiteral("%1: %2 > %3")
                                    .arg(text)
                                    .arg(needed)
                                    .arg(pageLabel->contentsRect().width())));
        }
        QVERIFY(sizeLabel->fontMetrics().horizontalAdvance(sizeLabel->text()) <=
                sizeLabel->contentsRect().width());
        for (QWidget *widget : pager) {
            auto *button = qobject_cast<QPushButton *>(widget);
            if (!button)
                continue;
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect contents =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= contents.width(),
                     qPrintable(describe(button, leftPanel)));
        }
        // The box is as wide as its longest item needs.
        QVERIFY(ui.pageSizeCombo()->width() >= ui.pageSizeCombo()->sizeHint().width());

        // Nothing sticks out of the panel, and the order is kept: the label, below it the four
        // buttons left to right, below them "每页显示:" and the box.
        for (qsizetype i = 0; i < pager.size(); ++i) {
            const QRect r = rectIn(pager.at(i), leftPanel);
            QVERIFY2(leftPanel->rect().contains(r), qPrintable(describe(pager.at(i), leftPanel)));
            if (i == 0)
                continue;
            const QRect before = rectIn(pager.at(i - 1), leftPanel);
            QVERIFY2(r.top() > before.bottom() ||
                         (r.left() > before.right() && r.top() <= before.bottom()),
                     qPrintable(describe(pager.at(i), leftPanel)));
        }
    }
}

void LayoutTest::windowOpensInsideTheAvailableArea()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    // The screen that the run asked for (logical size and device pixel ratio; by default the
    // tests' screen) is the one in use.
    QCOMPARE(QStringLiteral("%1x%2@%3")
                 .arg(area.width())
                 .arg(area.height())
                 .arg(screen->devicePixelRatio()),
             qEnvironmentVariable("QUILLWICK_EXPECTED_SCREEN", QStringLiteral("1920x1200@1")));

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect frame = window.frameGeometry();
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                                  .arg(frame.x())
                                                  .arg(frame.y())
                                                  .arg(frame.width())
                                                  .arg(frame.height())));
    const QRect inner = window.geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                           frame.right() - inner.right(), frame.bottom() - inner.bottom());
    const QSize room = area.size().shrunkBy(margins);
    if (room.width() >= 1200 && room.height() >= 1000) {
        QCOMPARE(window.size(), QSize(1200, 1000));
        QCOMPARE(window.minimumSize(), QSize(1000, 700));
    } else {
        QCOMPARE(window.size(), QSize(1200, 1000).boundedTo(room));
        QCOMPARE(window.minimumSize(), QSize(1000, 700).boundedTo(room));
    }

    // Every control can be reached at the size the window opens with and at the smallest it can
    // be made: its contents need no more room than it has, and each button, box and the status
    // bar lies inside it.
    for (const QSize size : {window.size(), window.minimumSize()}) {
        window.resize(size);
        QTest::qWait(20);
        QCOMPARE(window.size(), size);
        const QSize needed = window.minimumSizeHint();
        QVERIFY2(
            needed.width() <= size.width() && needed.height() <= size.height(),
            qPrintable(
                QStringLiteral("contents need %1x%2").arg(needed.width()).arg(needed.height())));
        QList<QWidget *> controls{window.statusBar()};
        for (QWidget *widget : window.findChildren<QWidget *>()) {
            if (widget->isVisible() &&
                (qobject_cast<QPushButton *>(widget) || qobject_cast<QComboBox *>(widget)))
                controls.append(widget);
        }
        QVERIFY(controls.size() >= 10);
        for (QWidget *control : controls) {
            QVERIFY2(window.rect().contains(rectIn(control, &window)),
                     qPrintable(describe(control, &window)));
        }
    }
}

QUILLWICK_TEST_MAIN(LayoutTest)
#include "tst_layout.moc"
