// SPDX-License-Identifier: MIT
// listra-bare: the least a Qt Widgets program can show, a tree view with one row. Its start
// time is the floor the program's own start is measured against (scripts/start-outside.py).

#include <QApplication>
#include <QStandardItemModel>
#include <QTreeView>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral("Задачи")));
    QTreeView view;
    view.setModel(&model);
    view.resize(541, 455);
    view.show();
    return QApplication::exec();
}
