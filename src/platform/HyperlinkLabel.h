#pragma once

#include <QLabel>
#include <QUrl>

#include <functional>

// A label that shows its text as a link and opens its target (a mailto: or web address) when the
// user clicks it, or presses Space or Enter while it has the focus. Opening goes through an
// exchangeable opener, the desktop's URL handler by default, so tests can watch it.
class HyperlinkLabel : public QLabel {
    Q_OBJECT

public:
    using Opener = std::function<bool(const QUrl&)>;

    explicit HyperlinkLabel(QWidget* parent = nullptr);

    void setUrl(const QUrl& url);
    const QUrl& url() const { return m_url; }
    void setOpener(Opener opener) { m_opener = std::move(opener); }

    // Opens the target; false when there is none or the opener failed.
    bool activate();

signals:
    void activated(const QUrl& url);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QUrl m_url;
    Opener m_opener;
    bool m_pressed = false;
};
