// Where the image lies in the window: the zoom, the pan and the three ways of placing it
// (fitted with its aspect ratio kept, stretched over the window, or at a chosen zoom), with
// the arithmetic between image and window coordinates. Qt-free; main thread only.
//
// Image coordinates name pixel centres: pixel (i, j) covers [i - 0.5, i + 0.5) x
// [j - 0.5, j + 0.5), as the detected spot centres are computed. When stretched, the window
// follows the stretched picture's own rule instead (window = image x window size / image size,
// the pixel's left edge at the coordinate), which the rendered picture uses.
#pragma once

namespace zmr {

enum class ViewMode {
  kFit,      // the whole image, aspect ratio kept, centred; follows the window's size
  kStretch,  // the whole image stretched over the window (x and y scaled apart)
  kZoom,     // a chosen zoom; panned with the scroll bars or by dragging
};

struct ViewPoint {
  double x = 0.0;
  double y = 0.0;
};

class ViewTransform {
 public:
  static constexpr double kMaxZoom = 64.0;
  static constexpr double kZoomStep = 1.4142135623730951;  // two steps double the size

  // Sizes below 1 count as 1. A new image size in kZoom keeps the zoom and the pan as far as
  // the new image allows.
  void SetImageSize(int width, int height);
  void SetViewSize(int width, int height);

  void FitToWindow() { mode_ = ViewMode::kFit; }
  void StretchToWindow() { mode_ = ViewMode::kStretch; }
  // One image pixel per window pixel, with the image point at the view's centre kept there.
  void ActualPixels();
  // Multiplies the zoom by factor, keeping the image point under the window point (wx, wy)
  // where it is; the zoom stays within [MinZoom(), kMaxZoom]. Leaves kFit and kStretch.
  void ZoomAbout(double factor, double wx, double wy);
  // Sets the zoom about the view's centre.
  void SetZoom(double zoom);
  // Moves the picture by (dx, dy) window pixels, as far as the image reaches.
  void PanBy(double dx, double dy);
  // Scroll-bar positions: window pixels from the image's left (top) edge to the view's.
  void ScrollTo(double x, double y);

  ViewMode mode() const { return mode_; }
  // Window pixels per image pixel, across and down (equal except when stretched).
  double zoomX() const;
  double zoomY() const;
  // Smallest zoom: the fitted one or 1, whichever is smaller, halved.
  double MinZoom() const;

  ViewPoint ImageToWindow(ViewPoint image) const;
  ViewPoint WindowToImage(ViewPoint window) const;
  // The image pixel under a window point; false when the point lies outside the image.
  bool PixelAt(double wx, double wy, int& px, int& py) const;

  // The image's rectangle in window coordinates (its pixels' outer edges).
  double left() const { return OriginX(); }
  double top() const { return OriginY(); }
  double width() const { return imageWidth_ * zoomX(); }
  double height() const { return imageHeight_ * zoomY(); }

  // Scroll-bar state: the scrolled length of the picture and the current position (0 when
  // the picture fits across or down).
  double ScrollX() const { return width() > viewWidth_ ? -OriginX() : 0.0; }
  double ScrollY() const { return height() > viewHeight_ ? -OriginY() : 0.0; }

  int imageWidth() const { return imageWidth_; }
  int imageHeight() const { return imageHeight_; }
  int viewWidth() const { return viewWidth_; }
  int viewHeight() const { return viewHeight_; }

 private:
  double FitZoom() const;
  void ZoomTo(double zoom, double wx, double wy);
  double OriginX() const;
  double OriginY() const;
  // Keeps the pan within what the image allows at the current zoom.
  void Clamp();

  int imageWidth_ = 1;
  int imageHeight_ = 1;
  int viewWidth_ = 1;
  int viewHeight_ = 1;
  ViewMode mode_ = ViewMode::kFit;
  double zoom_ = 1.0;
  double originX_ = 0.0;  // kZoom: window position of the image's left edge
  double originY_ = 0.0;
};

}  // namespace zmr
