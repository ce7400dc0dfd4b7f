#include "ui/mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillwick"));
    QCoreApplication::setOrganizationName(QStringLiteral("Marrowvale"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/ostrid.ico")));

    MainWindow window;
    window.show();
    return app.exec();
}
