#include "category_tree.h"
#include "station_file.h"
#include "tree_view.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvaro"));
    QApplication::setApplicationVersion(QStringLiteral(KELVARO_VERSION_TEXT));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Kelvaro"));
    window.setFixedSize(254, 287);
    auto *tree = new kelvaro::TreeView(&window);
    tree->setGeometry(0, 32, 217, 169);

    const auto read = kelvaro::readStationList(
        kelvaro::stationListPath(QCoreApplication::applicationDirPath()));
    kelvaro::fillCategoryTree(read.table, *tree);

    window.show();
    return app.exec();
}
