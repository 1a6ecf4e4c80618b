// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

// Printing a page: real, the print preview with Qt's print dialog behind its button; tests: a fake.
class DocumentPrinter
{
public:
    virtual ~DocumentPrinter() = default;
    // Shows html (a whole page) in the print preview under caption; true when it was printed.
    virtual bool printPreview(QWidget *parent, const QString &caption, const QString &html) = 0;
};
