// SPDX-License-Identifier: MIT
#include "TextView.h"

#include <QPainter>
#include <QTextBlock>

namespace {

class LineNumberArea : public QWidget
{
public:
    explicit LineNumberArea(TextView *view)
        : QWidget(view)
        , m_view(view)
    {
    }

    QSize sizeHint() const override { return {m_view->lineNumberAreaWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent *event) override { m_view->paintLineNumbers(event); }

private:
    TextView *m_view;
};

} // namespace

TextView::TextView(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_lineNumberArea(new LineNumberArea(this))
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &TextView::updateMargins);
    connect(this, &QPlainTextEdit::updateRequest, this, &TextView::updateLineNumberArea);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &TextView::highlightCurrentLine);
    updateMargins();
    highlightCurrentLine();
}

int TextView::lineNumberAreaWidth() const
{
    const int digits = QString::number(qMax(1, blockCount())).size();
    return fontMetrics().horizontalAdvance(QLatin1Char('9')) * qMax(3, digits) + 20;
}

void TextView::updateMargins() { setViewportMargins(lineNumberAreaWidth(), 0, 0, 0); }

void TextView::updateLineNumberArea(const QRect &rect, int dy)
{
    if (dy != 0)
        m_lineNumberArea->scroll(0, dy);
    else
        m_lineNumberArea->update(0, rect.y(), m_lineNumberArea->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateMargins();
}

void TextView::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    m_lineNumberArea->setGeometry(QRect(area.left(), area.top(), lineNumberAreaWidth(), area.height()));
}

void TextView::highlightCurrentLine()
{
    QTextEdit::ExtraSelection line;
    line.format.setBackground(palette().color(QPalette::AlternateBase));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    setExtraSelections({line});
    m_lineNumberArea->update();
}

void TextView::paintLineNumbers(QPaintEvent *event)
{
    QPainter painter(m_lineNumberArea);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    const int current = textCursor().blockNumber();
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    while (block.isValid() && top <= event->rect().bottom()) {
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.setPen(
                palette().color(block.blockNumber() == current ? QPalette::Text : QPalette::PlaceholderText));
            painter.drawText(0, top, m_lineNumberArea->width() - 10, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
    }
}
