// SPDX-License-Identifier: MIT
#pragma once

#include "components/DocumentPrinter.h"

// The page laid out by QTextDocument, in QPrintPreviewDialog.
class QtDocumentPrinter : public DocumentPrinter
{
public:
    bool printPreview(QWidget *parent, const QString &caption, const QString &html) override;
};
