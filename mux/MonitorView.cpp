#include "mux/MonitorView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <ctime>

namespace {

const QColor kGreen(80, 220, 100), kRed(255, 85, 85), kError(255, 140, 60), kSent(110, 170, 255),
    kTime(140, 150, 160);
const QString kErrorMark = QStringLiteral("\u2716 "), kSentMark = QStringLiteral("\u2192 ");

// "hh:mm:ss.mmm " in local time.
QString timeText(int64_t millisecond) {
    const time_t seconds = time_t(millisecond / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min, local.tm_sec,
                  int(millisecond % 1000));
    return QString::fromLatin1(text);
}

} // namespace

MonitorView::MonitorView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { follow_ = value >= verticalScrollBar()->maximum(); });
}

void MonitorView::setScrollback(const Scrollback* lines) {
    lines_ = lines;
    rebuild();
}

void MonitorView::setLook(const MonitorLook& look) {
    if (look == look_)
        return;
    look_ = look;
    filter_ = LineFilter(look.filter);
    rebuild();
}

bool MonitorView::passes(const Scrollback::Line& line) const {
    if (line.kind == MonitorLine::Kind::Invalid && !look_.errors)
        return false;
    if (line.kind == MonitorLine::Kind::Sent && !look_.sent)
        return false;
    return filter_.matches(line.text);
}

std::vector<MonitorView::Piece> MonitorView::pieces(const Scrollback::Line& line) const {
    std::vector<Piece> out;
    if (look_.time)
        out.push_back({timeText(line.millisecond), kTime});
    const QString text = QString::fromLatin1(line.text.data(), qsizetype(line.text.size()));
    switch (line.kind) {
    case MonitorLine::Kind::Invalid:
        out.push_back({kErrorMark + text, kError});
        break;
    case MonitorLine::Kind::Sent:
        out.push_back({kSentMark + text, kSent});
        break;
    default:
        out.push_back({text, line.tone == Scrollback::Tone::Capture ? kRed : kGreen});
    }
    return out;
}

// The index anew, from the whole scrollback: a change of the options or of the lines kept.
void MonitorView::rebuild() {
    shown_.clear();
    inView_.clear();
    anchor_.reset();
    cursor_.reset();
    widest_ = 0;
    indexed_ = lines_ != nullptr ? lines_->first() : 0;
    follow_ = true;
    showAppended();
}

void MonitorView::showAppended() {
    if (lines_ == nullptr)
        return;
    size_t dropped = 0;
    while (!shown_.empty() && shown_.front() < lines_->first()) {
        shown_.pop_front();
        ++dropped;
    }
    for (uint64_t n = std::max(indexed_, lines_->first()); n < lines_->end(); ++n) {
        const Scrollback::Line& line = lines_->at(n);
        if (!passes(line))
            continue;
        shown_.push_back(n);
        widest_ = std::max(widest_, line.text.size() + (look_.time ? 13 : 0) + 2);
    }
    indexed_ = lines_->end();
    if (dropped > 0 && anchor_) {
        anchor_ = *anchor_ >= dropped ? *anchor_ - dropped : 0;
        cursor_ = *cursor_ >= dropped ? *cursor_ - dropped : 0;
    }
    QScrollBar* bar = verticalScrollBar();
    const bool follow = follow_;
    const int value = bar->value();
    updateScrollBars();
    if (follow)
        bar->setValue(bar->maximum());
    else // the lines read stay in view while older ones go
        bar->setValue(std::max(0, value - int(std::min<size_t>(dropped, size_t(value)))));
    follow_ = follow || bar->value() >= bar->maximum();
    viewport()->update();
}

void MonitorView::clear() {
    rebuild();
}

QString MonitorView::lineText(size_t index) const {
    QString out;
    if (lines_ == nullptr || index >= shown_.size())
        return out;
    for (const Piece& p : pieces(lines_->at(shown_[index])))
        out += p.text;
    return out;
}

QString MonitorView::toPlainText() const {
    QString out;
    for (size_t i = 0; i < shown_.size(); ++i)
        out += lineText(i) + QLatin1Char('\n');
    return out;
}

QColor MonitorView::colourAt(size_t index, size_t column) const {
    if (lines_ == nullptr || index >= shown_.size())
        return {};
    for (const Piece& p : pieces(lines_->at(shown_[index]))) {
        if (column < size_t(p.text.size()))
            return p.colour;
        column -= size_t(p.text.size());
    }
    return {};
}

size_t MonitorView::bytesHeld() const {
    return shown_.size() * sizeof(uint64_t) + (lines_ != nullptr ? lines_->bytesHeld() : 0);
}

int MonitorView::rowsInView() const {
    return std::max(1, viewport()->height() / std::max(1, fontMetrics().lineSpacing()));
}

void MonitorView::updateScrollBars() {
    const int visible = rowsInView();
    const int lines = int(std::min<size_t>(shown_.size(), size_t(INT32_MAX)));
    QScrollBar* bar = verticalScrollBar();
    const QSignalBlocker quiet(bar); // the range moving is no user's scrolling
    bar->setRange(0, std::max(0, lines - visible));
    bar->setPageStep(visible);
    const int charWidth = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
    const int width = int(std::min<size_t>(widest_, 100000)) * charWidth + 8;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(charWidth * 4);
}

void MonitorView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const bool follow = follow_;
    updateScrollBars();
    if (follow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    follow_ = follow || verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

const MonitorView::Shaped& MonitorView::shaped(uint64_t number) {
    for (const Shaped& kept : inView_)
        if (kept.number == number)
            return kept;
    ++shaped_;
    Shaped s{number, {}};
    for (Piece& p : pieces(lines_->at(number))) {
        QStaticText text(p.text);
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), font());
        s.pieces.emplace_back(std::move(text), p.colour);
    }
    inView_.push_back(std::move(s));
    return inView_.back();
}

void MonitorView::paintEvent(QPaintEvent*) {
    ++paints_;
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().color(QPalette::Base));
    p.setFont(font());
    const int lineHeight = std::max(1, fontMetrics().lineSpacing());
    const int x0 = 4 - horizontalScrollBar()->value();
    const size_t first = size_t(verticalScrollBar()->value());
    const size_t count = size_t(viewport()->height() / lineHeight + 2);
    const size_t last = std::min(shown_.size(), first + count);
    std::optional<std::pair<size_t, size_t>> selected;
    if (anchor_ && cursor_)
        selected = std::minmax(*anchor_, *cursor_);
    // Lines that left the view are laid out again should they come back.
    std::erase_if(inView_, [&](const Shaped& kept) {
        return first >= last || kept.number < shown_[first] || kept.number > shown_[last - 1];
    });
    for (size_t i = first; i < last; ++i) {
        const int top = int(i - first) * lineHeight;
        if (selected && i >= selected->first && i <= selected->second)
            p.fillRect(QRect(0, top, viewport()->width(), lineHeight), palette().color(QPalette::Highlight));
        qreal x = x0;
        for (const auto& [piece, colour] : shaped(shown_[i]).pieces) {
            p.setPen(colour);
            p.drawStaticText(QPointF(x, top), piece);
            x += piece.size().width();
        }
    }
}

size_t MonitorView::lineAt(int y) const {
    const int lineHeight = std::max(1, fontMetrics().lineSpacing());
    const size_t index = size_t(verticalScrollBar()->value()) + size_t(std::max(0, y) / lineHeight);
    return shown_.empty() ? 0 : std::min(index, shown_.size() - 1);
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

// Copies the selected lines, or everything shown when none are selected.
void MonitorView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QString out;
        const size_t a = anchor_ ? std::min(*anchor_, *cursor_) : 0;
        const size_t b = anchor_ ? std::max(*anchor_, *cursor_) : shown_.size();
        for (size_t i = a; i <= b && i < shown_.size(); ++i)
            out += lineText(i) + QLatin1Char('\n');
        QApplication::clipboard()->setText(out);
        return;
    }
    if (event->matches(QKeySequence::SelectAll) && !shown_.empty()) {
        anchor_ = 0;
        cursor_ = shown_.size() - 1;
        viewport()->update();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}
