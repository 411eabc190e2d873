// SPDX-License-Identifier: MIT
#pragma once

#include <QPlainTextEdit>

/// A read-only text view with line numbers and the cursor's line highlighted; the cursor moves
/// and selects with mouse and keyboard, so the host always has a line, a column and a word.
class TextView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TextView(QWidget *parent = nullptr);

    int lineNumberAreaWidth() const;
    void paintLineNumbers(QPaintEvent *event);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateMargins();
    void updateLineNumberArea(const QRect &rect, int dy);
    void highlightCurrentLine();

    QWidget *m_lineNumberArea;
};
