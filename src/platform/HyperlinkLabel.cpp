#include "platform/HyperlinkLabel.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

HyperlinkLabel::HyperlinkLabel(QWidget* parent)
    : QLabel(parent)
    , m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setTextFormat(Qt::PlainText);
    QFont linkFont = font();
    linkFont.setUnderline(true);
    setFont(linkFont);
    QPalette linkPalette = palette();
    linkPalette.setColor(QPalette::WindowText, palette().color(QPalette::Link));
    setPalette(linkPalette);
}

void HyperlinkLabel::setUrl(const QUrl& url) {
    m_url = url;
    setToolTip(url.toString());
}

bool HyperlinkLabel::activate() {
    if (!m_url.isValid() || m_url.isEmpty()) {
        return false;
    }
    emit activated(m_url);
    return m_opener ? m_opener(m_url) : false;
}

void HyperlinkLabel::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    // Like a button: only a press and release both on the link opens it.
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click) {
        activate();
    }
}

void HyperlinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        activate();
        return;
    }
    QLabel::keyPressEvent(event);
}

void HyperlinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = contentsRect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}
