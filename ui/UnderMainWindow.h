#pragma once
// The placement of the windows that open "under the main window": their outer frame's top
// at the main window's outer bottom, their left edge at its left edge, so that the main
// window's menus, tool bar and link icon are never covered.
//
// A window manager puts its frame around a window only once the window is shown, and the
// main window's frame may not be known either when a window is first placed. So the
// placement is made at once with what is known, and made again after the window's next
// show until both frames are known and the window stands where it should (or a few seconds
// have passed: without a window manager there is no frame to wait for).
#include <QList>
#include <QMargins>
#include <QObject>
#include <QRect>
#include <QTimer>

#include <functional>

class QWidget;

class UnderMainWindow : public QObject {
    Q_OBJECT
public:
    // The window's outer rectangle for the main window's outer rectangle and the window's own
    // present outer size.
    using Rule = std::function<QRect(const QRect& mainFrame, const QSize& ownFrame)>;

    // Made a child of `window`; mainFrame gives the main window's outer rectangle (an invalid
    // one places nothing).
    UnderMainWindow(QWidget& window, std::function<QRect()> mainFrame, Rule rule);

    // Places the window now and again after its next show, as described above.
    void place();
    // The window widens itself (to fit its texts): its placement goes on as if it had made
    // that width, unless someone else sized the window since.
    void widen(int width);
    // The window's minimum height becomes the height placed (the result window's rule), never
    // less than the window's own least height when this is called.
    void setMinimumHeightFollows(bool on);
    // Whether a placement still waits for the frames.
    bool settling() const { return pending_ || timer_.isActive(); }

    // The usual rules: at the main window's width and 480 pixels less its height; or only the
    // position, the window keeping its own size.
    static QRect underAtMainWidth(const QRect& mainFrame, const QSize& ownFrame);
    static QRect underKeepingSize(const QRect& mainFrame, const QSize& ownFrame);
    // The client rectangle of a window whose outer rectangle is `outer`, for a frame that
    // adds `frame` around the client.
    static QRect clientRect(const QRect& outer, const QMargins& frame);
    // What the window manager's frame adds around the window's client (0 before it is known).
    static QMargins frameMargins(const QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();
    void settle();

    QWidget& window_;
    std::function<QRect()> mainFrame_;
    Rule rule_;
    bool pending_ = false; // placed, waiting for the window's show
    bool minimumFollows_ = false;
    int leastHeight_ = 0;
    int ticks_ = 0;
    int held_ = 0;        // ticks in a row nothing changed
    QRect placedUnder_;   // the main window's outer rectangle at the last placement
    QMargins placedWith_; // the window's own frame then
    QSize sized_;         // the size the last placement left the window at
    QList<QSize> given_;  // every size the placement gave the window since it began
    QTimer timer_;
};
