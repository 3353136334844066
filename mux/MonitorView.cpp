#include "mux/MonitorView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

MonitorView::MonitorView(QWidget* parent) : QAbstractScrollArea(parent), lineStart_{0} {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
}

std::string_view MonitorView::line(size_t index) const {
    const size_t begin = lineStart_[index];
    const size_t end = index + 1 < lineStart_.size() ? lineStart_[index + 1] : text_.size();
    return std::string_view(text_).substr(begin, end - begin);
}

uint16_t MonitorView::colourIndex(const QColor& colour) {
    auto it = std::find(colours_.begin(), colours_.end(), colour);
    if (it != colours_.end())
        return uint16_t(it - colours_.begin());
    if (colours_.size() == UINT16_MAX)
        return 0;
    colours_.push_back(colour);
    return uint16_t(colours_.size() - 1);
}

void MonitorView::append(std::string_view piece, const QColor& colour) {
    if (piece.empty())
        return;
    const uint16_t c = colourIndex(colour);
    if (runs_.empty() || runs_.back().colour != c)
        runs_.push_back({text_.size(), c});
    if (!appendedFrom_)
        appendedFrom_ = lineStart_.size() - 1;
    size_t from = 0;
    while (from <= piece.size()) {
        const size_t nl = piece.find('\n', from);
        const std::string_view part =
            piece.substr(from, nl == std::string_view::npos ? std::string_view::npos : nl - from);
        text_.append(part);
        widest_ = std::max(widest_, text_.size() - lineStart_.back());
        if (nl == std::string_view::npos)
            break;
        lineStart_.push_back(text_.size());
        from = nl + 1;
    }
    if (!showQueued_) {
        showQueued_ = true;
        QMetaObject::invokeMethod(this, &MonitorView::showAppended, Qt::QueuedConnection);
    }
}

void MonitorView::showAppended() {
    showQueued_ = false;
    if (!appendedFrom_)
        return;
    updateScrollBars();
    // Bring the start of the last piece into view, as the pane's reader expects of each line.
    const size_t lastPiece = lineStart_.size() >= 2 && text_.size() == lineStart_.back()
                                 ? lineStart_.size() - 2
                                 : lineStart_.size() - 1;
    QScrollBar* bar = verticalScrollBar();
    const int visible = std::max(1, viewport()->height() / std::max(1, fontMetrics().lineSpacing()));
    const int top = int(std::min<size_t>(lastPiece, size_t(INT32_MAX)));
    if (top < bar->value() || top >= bar->value() + visible)
        bar->setValue(std::max(0, top - visible + 2));
    appendedFrom_.reset();
    viewport()->update();
}

void MonitorView::clear() {
    text_.clear();
    text_.shrink_to_fit();
    lineStart_.assign(1, 0);
    lineStart_.shrink_to_fit();
    runs_.clear();
    runs_.shrink_to_fit();
    widest_ = 0;
    appendedFrom_.reset();
    inView_.clear();
    anchor_.reset();
    cursor_.reset();
    updateScrollBars();
    viewport()->update();
}

QString MonitorView::toPlainText() const {
    QString out;
    out.reserve(qsizetype(text_.size() + lineStart_.size()));
    for (size_t i = 0; i < lineStart_.size(); ++i) {
        if (i > 0)
            out += QLatin1Char('\n');
        const std::string_view l = line(i);
        out += QLatin1String(l.data(), qsizetype(l.size()));
    }
    return out;
}

size_t MonitorView::runAt(size_t offset) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                               [](size_t o, const Run& r) { return o < r.offset; });
    return it == runs_.begin() ? 0 : size_t(it - runs_.begin()) - 1;
}

QColor MonitorView::colourAt(size_t index, size_t column) const {
    if (index >= lineStart_.size() || column >= line(index).size() || runs_.empty())
        return {};
    return colours_[runs_[runAt(lineStart_[index] + column)].colour];
}

size_t MonitorView::bytesHeld() const {
    return text_.capacity() + lineStart_.capacity() * sizeof(size_t) + runs_.capacity() * sizeof(Run);
}

void MonitorView::updateScrollBars() {
    const int lineHeight = std::max(1, fontMetrics().lineSpacing());
    const int visible = std::max(1, viewport()->height() / lineHeight);
    const int lines = int(std::min<size_t>(lineStart_.size(), size_t(INT32_MAX)));
    verticalScrollBar()->setRange(0, std::max(0, lines - visible));
    verticalScrollBar()->setPageStep(visible);
    const int charWidth = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
    const int width = int(std::min<size_t>(widest_, 100000)) * charWidth + 8;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(charWidth * 4);
}

void MonitorView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

const MonitorView::Shaped& MonitorView::shaped(size_t index) {
    const std::string_view l = line(index);
    for (auto& [i, kept] : inView_)
        if (i == index && kept.length == l.size())
            return kept;
    inView_.emplace_back(index, Shaped{});
    Shaped& s = inView_.back().second;
    s.length = l.size();
    ++shaped_;
    size_t offset = lineStart_[index];
    const size_t end = offset + l.size();
    for (size_t r = runAt(offset); offset < end && !runs_.empty(); ++r) {
        const size_t runEnd = r + 1 < runs_.size() ? std::min(end, runs_[r + 1].offset) : end;
        QStaticText piece(QString::fromLatin1(text_.data() + offset, qsizetype(runEnd - offset)));
        piece.setTextFormat(Qt::PlainText);
        piece.prepare(QTransform(), font());
        s.pieces.emplace_back(std::move(piece), runs_[r].colour);
        offset = runEnd;
    }
    return s;
}

void MonitorView::paintEvent(QPaintEvent*) {
    ++paints_;
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    p.setFont(font());
    const QFontMetrics fm = fontMetrics();
    const int lineHeight = std::max(1, fm.lineSpacing());
    const int x0 = 4 - horizontalScrollBar()->value();
    const size_t first = size_t(verticalScrollBar()->value());
    const size_t count = size_t(viewport()->height() / lineHeight + 2);
    std::optional<std::pair<size_t, size_t>> selected;
    if (anchor_ && cursor_)
        selected = std::minmax(*anchor_, *cursor_);
    // Lines that left the view are laid out again should they come back.
    std::erase_if(inView_,
                  [&](const auto& kept) { return kept.first < first || kept.first >= first + count; });
    for (size_t i = first; i < lineStart_.size() && i < first + count; ++i) {
        const int top = int(i - first) * lineHeight;
        if (selected && i >= selected->first && i <= selected->second)
            p.fillRect(QRect(0, top, viewport()->width(), lineHeight), palette().color(QPalette::Highlight));
        qreal x = x0;
        for (const auto& [piece, colour] : shaped(i).pieces) {
            p.setPen(colours_[colour]);
            p.drawStaticText(QPointF(x, top), piece);
            x += piece.size().width();
        }
    }
}

size_t MonitorView::lineAt(int y) const {
    const int lineHeight = std::max(1, fontMetrics().lineSpacing());
    const size_t index = size_t(verticalScrollBar()->value()) + size_t(std::max(0, y) / lineHeight);
    return std::min(index, lineStart_.size() - 1);
}

void MonitorView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    anchor_ = lineAt(int(event->position().y()));
    cursor_ = anchor_;
    viewport()->update();
}

void MonitorView::mouseMoveEvent(QMouseEvent* event) {
    if (!anchor_ || !(event->buttons() & Qt::LeftButton))
        return;
    cursor_ = lineAt(int(event->position().y()));
    viewport()->update();
}

// Copies the selected lines, or everything when none are selected.
void MonitorView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QString out;
        const size_t a = anchor_ ? std::min(*anchor_, *cursor_) : 0;
        const size_t b = anchor_ ? std::max(*anchor_, *cursor_) : lineStart_.size() - 1;
        for (size_t i = a; i <= b && i < lineStart_.size(); ++i) {
            const std::string_view l = line(i);
            out += QLatin1String(l.data(), qsizetype(l.size())) + QLatin1Char('\n');
        }
        QApplication::clipboard()->setText(out);
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        anchor_ = 0;
        cursor_ = lineStart_.size() - 1;
        viewport()->update();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}
