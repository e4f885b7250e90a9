#include "ui/ViewTransform.h"

#include <algorithm>
#include <cmath>

namespace zmr {

namespace {
// The origin along one axis: centred when the picture is narrower than the view, otherwise
// kept so that the picture covers the view.
double ClampOrigin(double origin, double picture, double view) {
  if (picture <= view) return (view - picture) / 2.0;
  return std::clamp(origin, view - picture, 0.0);
}
}  // namespace

void ViewTransform::SetImageSize(int width, int height) {
  imageWidth_ = std::max(width, 1);
  imageHeight_ = std::max(height, 1);
  Clamp();
}

void ViewTransform::SetViewSize(int width, int height) {
  // The image point at the view's centre stays there as the window changes size.
  const ViewPoint centre = WindowToImage({viewWidth_ / 2.0, viewHeight_ / 2.0});
  viewWidth_ = std::max(width, 1);
  viewHeight_ = std::max(height, 1);
  if (mode_ == ViewMode::kZoom) {
    originX_ = viewWidth_ / 2.0 - (centre.x + 0.5) * zoom_;
    originY_ = viewHeight_ / 2.0 - (centre.y + 0.5) * zoom_;
  }
  Clamp();
}

double ViewTransform::FitZoom() const {
  return std::min(static_cast<double>(viewWidth_) / imageWidth_,
                  static_cast<double>(viewHeight_) / imageHeight_);
}

double ViewTransform::MinZoom() const { return std::min(FitZoom(), 1.0) / 2.0; }

double ViewTransform::zoomX() const {
  switch (mode_) {
    case ViewMode::kFit:
      return FitZoom();
    case ViewMode::kStretch:
      return static_cast<double>(viewWidth_) / imageWidth_;
    case ViewMode::kZoom:
      break;
  }
  return zoom_;
}

double ViewTransform::zoomY() const {
  switch (mode_) {
    case ViewMode::kFit:
      return FitZoom();
    case ViewMode::kStretch:
      return static_cast<double>(viewHeight_) / imageHeight_;
    case ViewMode::kZoom:
      break;
  }
  return zoom_;
}

double ViewTransform::OriginX() const {
  switch (mode_) {
    case ViewMode::kFit:
      return (viewWidth_ - imageWidth_ * FitZoom()) / 2.0;
    case ViewMode::kStretch:
      return 0.0;
    case ViewMode::kZoom:
      break;
  }
  return originX_;
}

double ViewTransform::OriginY() const {
  switch (mode_) {
    case ViewMode::kFit:
      return (viewHeight_ - imageHeight_ * FitZoom()) / 2.0;
    case ViewMode::kStretch:
      return 0.0;
    case ViewMode::kZoom:
      break;
  }
  return originY_;
}

void ViewTransform::Clamp() {
  if (mode_ != ViewMode::kZoom) return;
  zoom_ = std::clamp(zoom_, MinZoom(), kMaxZoom);
  originX_ = ClampOrigin(originX_, imageWidth_ * zoom_, viewWidth_);
  originY_ = ClampOrigin(originY_, imageHeight_ * zoom_, viewHeight_);
}

void ViewTransform::ZoomAbout(double factor, double wx, double wy) {
  if (!(factor > 0.0) || !std::isfinite(factor)) return;
  ZoomTo(std::sqrt(zoomX() * zoomY()) * factor, wx, wy);
}

void ViewTransform::ZoomTo(double zoom, double wx, double wy) {
  // The image point under the window point, in the pixel-centre convention of the zoomed view
  // (the stretched view puts coordinates at the pixels' edges).
  ViewPoint anchor = WindowToImage({wx, wy});
  if (mode_ == ViewMode::kStretch) {
    anchor.x -= 0.5;
    anchor.y -= 0.5;
  }
  mode_ = ViewMode::kZoom;
  zoom_ = std::clamp(zoom, MinZoom(), kMaxZoom);
  originX_ = wx - (anchor.x + 0.5) * zoom_;
  originY_ = wy - (anchor.y + 0.5) * zoom_;
  Clamp();
}

void ViewTransform::SetZoom(double zoom) {
  if (!(zoom > 0.0) || !std::isfinite(zoom)) return;
  ZoomTo(zoom, viewWidth_ / 2.0, viewHeight_ / 2.0);
}

void ViewTransform::ActualPixels() { SetZoom(1.0); }

void ViewTransform::PanBy(double dx, double dy) {
  if (mode_ != ViewMode::kZoom) return;
  originX_ += dx;
  originY_ += dy;
  Clamp();
}

void ViewTransform::ScrollTo(double x, double y) {
  if (mode_ != ViewMode::kZoom) return;
  originX_ = -x;
  originY_ = -y;
  Clamp();
}

ViewPoint ViewTransform::ImageToWindow(ViewPoint image) const {
  if (mode_ == ViewMode::kStretch) return {image.x * zoomX(), image.y * zoomY()};
  return {OriginX() + (image.x + 0.5) * zoomX(), OriginY() + (image.y + 0.5) * zoomY()};
}

ViewPoint ViewTransform::WindowToImage(ViewPoint window) const {
  if (mode_ == ViewMode::kStretch) return {window.x / zoomX(), window.y / zoomY()};
  return {(window.x - OriginX()) / zoomX() - 0.5, (window.y - OriginY()) / zoomY() - 0.5};
}

bool ViewTransform::PixelAt(double wx, double wy, int& px, int& py) const {
  const double x = std::floor((wx - OriginX()) / zoomX());
  const double y = std::floor((wy - OriginY()) / zoomY());
  if (!(x >= 0.0 && y >= 0.0 && x < imageWidth_ && y < imageHeight_)) return false;
  px = static_cast<int>(x);
  py = static_cast<int>(y);
  return true;
}

}  // namespace zmr
