#pragma once
// The traffic pane: coloured lines of 8-bit text, appended at the device's line rate and never
// trimmed. It keeps the text and its colour runs compactly and draws only the lines in view, so
// an append costs what the piece costs, however long the pane has grown.

#include <QAbstractScrollArea>
#include <QColor>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class MonitorView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit MonitorView(QWidget* parent = nullptr);

    // Appends one piece in one colour; "\n" ends a line. Shows the piece's start.
    void append(std::string_view latin1, const QColor& colour);
    void clear();
    bool isEmpty() const { return text_.empty() && lineStart_.size() == 1; }

    size_t lineCount() const { return lineStart_.size(); } // the line being written counts
    QString toPlainText() const;
    QColor colourAt(size_t line, size_t column) const; // invalid when there is no such character
    size_t bytesHeld() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Run {
        size_t offset;   // into text_
        uint16_t colour; // into colours_
    };
    std::string_view line(size_t index) const;
    uint16_t colourIndex(const QColor& colour);
    size_t runAt(size_t offset) const;
    size_t lineAt(int y) const;
    void updateScrollBars();

    std::string text_;              // every line's text, without the line ends
    std::vector<size_t> lineStart_; // where each line begins in text_
    std::vector<Run> runs_;         // colour changes, by offset
    std::vector<QColor> colours_;
    size_t widest_ = 0; // characters of the longest line
    // Lines selected with the mouse, for copying.
    std::optional<size_t> anchor_, cursor_;
};
