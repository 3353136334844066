#pragma once
// The traffic pane: coloured lines of 8-bit text, appended at the device's line rate and never
// trimmed. It keeps the text and its colour runs compactly, and draws only the lines in view,
// each laid out once while it stays in view, so an append costs what the piece costs however
// long the pane has grown, and a frame costs what the view shows however many lines came.

#include <QAbstractScrollArea>
#include <QColor>
#include <QStaticText>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class MonitorView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit MonitorView(QWidget* parent = nullptr);

    // Appends one piece in one colour; "\n" ends a line. The pane catches up (scroll bars, the
    // last piece brought into view, one repaint) in showAppended(), by itself soon after.
    void append(std::string_view latin1, const QColor& colour);
    void showAppended();
    void clear();
    bool isEmpty() const { return text_.empty() && lineStart_.size() == 1; }

    size_t lineCount() const { return lineStart_.size(); } // the line being written counts
    QString toPlainText() const;
    QColor colourAt(size_t line, size_t column) const; // invalid when there is no such character
    size_t bytesHeld() const;
    unsigned long paints() const { return paints_; }      // frames drawn
    unsigned long linesShaped() const { return shaped_; } // lines laid out for drawing

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
    // A line in view, laid out: one piece per colour run.
    struct Shaped {
        size_t length = 0; // of the line when laid out; the last line may still grow
        std::vector<std::pair<QStaticText, uint16_t>> pieces;
    };
    const Shaped& shaped(size_t index);
    std::string_view line(size_t index) const;
    uint16_t colourIndex(const QColor& colour);
    size_t runAt(size_t offset) const;
    size_t lineAt(int y) const;
    void updateScrollBars();

    std::string text_;              // every line's text, without the line ends
    std::vector<size_t> lineStart_; // where each line begins in text_
    std::vector<Run> runs_;         // colour changes, by offset
    std::vector<QColor> colours_;
    size_t widest_ = 0;                  // characters of the longest line
    std::optional<size_t> appendedFrom_; // the first line of what was appended since showAppended
    bool showQueued_ = false;
    std::vector<std::pair<size_t, Shaped>> inView_; // laid out at the last paint, by line
    unsigned long paints_ = 0, shaped_ = 0;
    // Lines selected with the mouse, for copying.
    std::optional<size_t> anchor_, cursor_;
};
