#pragma once
// The traffic pane: the scrollback's lines as the view options say (each line's time, the lines
// that failed their check, what the console sent, the filter), coloured by kind. It keeps an index
// of the lines it shows, not the lines, and draws only the lines in view, each laid out once while
// it stays in view, so a frame costs what the view shows however many lines came. While the user
// reads further up, new lines (and old ones going) do not move what is in view; at the end, the
// view follows the newest line.

#include "mux/LineFilter.h"
#include "mux/Scrollback.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QStaticText>

#include <deque>
#include <optional>
#include <string>
#include <vector>

struct MonitorLook {
    bool time = false;   // each line starts with its time of arrival
    bool errors = false; // lines that failed their check are shown
    bool sent = false;   // what the console sent is shown
    std::string filter;  // see LineFilter
    bool operator==(const MonitorLook&) const = default;
};

class MonitorView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit MonitorView(QWidget* parent = nullptr);

    // The lines shown; they must outlive the view or be replaced before they go.
    void setScrollback(const Scrollback* lines);
    void setLook(const MonitorLook& look);
    const MonitorLook& look() const { return look_; }
    // The scrollback gained lines or dropped old ones: the view catches up (scroll bar, one repaint).
    void showAppended();
    void clear(); // the scrollback was emptied
    bool isEmpty() const { return shown_.empty(); }
    bool following() const { return follow_; } // at the end: new lines come into view

    size_t lineCount() const { return shown_.size(); }
    QString lineText(size_t index) const;              // as drawn: time, marker, text
    QString toPlainText() const;                       // every line shown, each with its line end
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
    struct Piece {
        QString text;
        QColor colour;
    };
    struct Shaped {
        uint64_t number;
        std::vector<std::pair<QStaticText, QColor>> pieces;
    };
    bool passes(const Scrollback::Line& line) const;
    std::vector<Piece> pieces(const Scrollback::Line& line) const;
    const Shaped& shaped(uint64_t number);
    void rebuild();
    size_t lineAt(int y) const;
    int rowsInView() const;
    void updateScrollBars();

    const Scrollback* lines_ = nullptr;
    MonitorLook look_;
    LineFilter filter_;
    std::deque<uint64_t> shown_; // scrollback numbers of the lines that pass, oldest first
    uint64_t indexed_ = 0;       // the scrollback's lines before this number are in shown_ or left out
    bool follow_ = true;
    size_t widest_ = 0; // characters of the longest line shown
    std::vector<Shaped> inView_;
    unsigned long paints_ = 0, shaped_ = 0;
    std::optional<size_t> anchor_, cursor_; // lines selected with the mouse, for copying
};
