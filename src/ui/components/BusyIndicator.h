#pragma once

#include <QElapsedTimer>
#include <QProgressBar>

class QTimer;

// A progress bar drawn with plain fills: indeterminate (a segment sliding along the
// track) until given a range. The style's own bar strokes antialiased outlines on every
// animation frame, which during a scan cost the main thread more than the screen beneath.
class BusyIndicator : public QProgressBar {
    Q_OBJECT

public:
    explicit BusyIndicator(QWidget* parent = nullptr);

    static constexpr int sweepMilliseconds = 1400;
    static constexpr int frameMilliseconds = 40;

    struct Span {
        int left = 0;
        int width = 0;
        bool operator==(const Span&) const = default;
    };
    // The sliding segment at `phase` (0 to 1) of a sweep across a track `trackWidth` wide:
    // it enters at the left edge and leaves at the right, clipped to the track.
    static Span slidingSpan(int trackWidth, double phase);
    // The filled part of a track for a value in a range; nothing for an empty range.
    static Span filledSpan(int trackWidth, int minimum, int maximum, int value);

    bool isAnimating() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool isIndeterminate() const { return minimum() == 0 && maximum() == 0; }
    // Frames run only while the sweep is seen.
    void updateAnimation();

    QTimer* frames_;
    QElapsedTimer clock_;
};
