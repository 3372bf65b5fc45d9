#pragma once
// Placing windows: centring on the screen, and the windows that are made
// on first use and then kept (graph, delete dialog, settings dialog).

#include <QPointer>
#include <QWidget>
#include <functional>

/// Centres `window` on its screen (the primary screen before it is shown),
/// the fraction of a pixel dropped.
void centreOnScreen(QWidget *window);

/// Where a window of `frame` size goes beside `anchor` (both frames
/// included): right of it where it fits inside `available`, else left of
/// it, else overlapping it towards the side with more room; its top level
/// with the anchor's. The window always stays inside `available`, its top
/// left corner first where it is larger.
QPoint besidePosition(QSize frame, const QRect &anchor, const QRect &available);

/// Moves `window` beside `anchor` within the available area of the
/// anchor's screen (the desktop's panels left free), see besidePosition().
/// A window not shown yet is taken to get the anchor's frame.
void placeBeside(QWidget *window, const QWidget *anchor);

/// A top-level window made on first use and kept until it is closed or
/// destroyed. `make` creates it; `prepare` readies it once the window is
/// known here, so a preparation that asks for the window again finds it.
template <class Window>
class LazyWindow
{
public:
    LazyWindow(std::function<Window *()> make, std::function<void(Window *)> prepare)
        : m_make(std::move(make)), m_prepare(std::move(prepare))
    {
    }
    ~LazyWindow() { destroy(); }
    LazyWindow(const LazyWindow &) = delete;
    LazyWindow &operator=(const LazyWindow &) = delete;

    /// The window, made and readied now when it does not exist yet.
    Window *get()
    {
        if (!m_window) {
            m_window = m_make();
            if (m_prepare)
                m_prepare(m_window);
        }
        return m_window;
    }
    /// True while the window exists.
    bool exists() const { return !m_window.isNull(); }
    /// Destroys the window; the next get() makes a new one.
    void destroy() { delete m_window.data(); }
    /// Shows the window (made when needed) in front of the others.
    Window *showInFront()
    {
        Window *window = get();
        window->show();
        window->raise();
        window->activateWindow();
        return window;
    }

private:
    std::function<Window *()> m_make;
    std::function<void(Window *)> m_prepare;
    QPointer<Window> m_window;
};
