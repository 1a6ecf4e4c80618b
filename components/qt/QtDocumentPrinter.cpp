// SPDX-License-Identifier: MIT
#include "components/qt/QtDocumentPrinter.h"

#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextDocument>

bool QtDocumentPrinter::printPreview(QWidget *parent, const QString &caption, const QString &html)
{
    // Laid out once: the preview repaints on every zoom and page step.
    QTextDocument document;
    document.setHtml(html);
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(caption);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(caption);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&document](QPrinter *target) { document.print(target); });
    return dialog.exec() == QDialog::Accepted;
}
