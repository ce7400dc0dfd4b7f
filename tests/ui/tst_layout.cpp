// The window on the screens it must fit: this test runs once per screen of tests/support/screens
// (see tests/CMakeLists.txt), each given to the offscreen platform as its only screen.
#include "mainwindowaccess.h"
#include "testmain.h"
#include "ui/paging.h"

#include <QAbstractButton>
#include <QSplitter>
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

QUILLWICK_TEST_MAIN(LayoutTest)
#include "tst_layout.moc"
