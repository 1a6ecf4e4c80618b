// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QStringList>

#include <vector>

struct Services;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class RelatedDocumentsList;

// The modal dialog that edits one task's text and its related documents. The main window
// fills it, shows it, reads it back when Accepted and then destroys it; the dialog only
// ever hides itself.
class frmTaskEditor : public QDialog
{
    Q_OBJECT
public:
    frmTaskEditor(QWidget *parent, Services &services);

    // True only after a successful OK.
    bool Accepted() const { return m_accepted; }

    QString text() const;
    void setText(const QString &text);
    QStringList documents() const;
    // Appends the entries in order.
    void setDocuments(const QStringList &documents);

    // Shows the dialog modally once it has the keyboard focus, so that keys typed ahead of it
    // reach it in order.
    int exec() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    QToolButton *makeDocumentButton(const QString &name, const QString &resource, const QString &toolTip, int left,
                                    int top);
    bool handlePreviewKey(QObject *watched, QKeyEvent *key);
    static bool isDocumentShortcut(const QKeyEvent *key);

    void cmdOk_Click();
    void cmdAddFile_Click();
    void cmdAddFolder_Click();
    void cmdAddURL_Click();
    void cmdRemoveItem_Click();
    void OpenCurrentEntry();
    void onContentsChange(int position, int removed, int added);
    void AddEntries(const QStringList &entries);

    Services &m_services;
    bool m_accepted = false;
    // The text as given, and as the text box holds it, to hand back what the user left alone.
    QString m_givenText;
    QString m_givenRaw;
    // The box's text as runs, in order: each one either a part of the given text (from
    // givenRawStart in m_givenRaw) or typed by the user (givenRawStart -1).
    struct TextRun {
        qsizetype length;
        qsizetype givenRawStart;
    };
    std::vector<TextRun> m_runs;

    QPlainTextEdit *txtTaskText = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCancel = nullptr;
    RelatedDocumentsList *lstRelatedDocuments = nullptr;
    QToolButton *cmdAddFile = nullptr;
    QToolButton *cmdAddFolder = nullptr;
    QToolButton *cmdAddURL = nullptr;
    QToolButton *cmdRemoveItem = nullptr;
};
